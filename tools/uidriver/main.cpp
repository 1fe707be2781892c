// uidriver: drives another program's windows the way a person would, for
// tests and demos. One command per run, or several joined by "+"; each
// prints one result line ("ok ..." or "fail ...") in UTF-8 and the run ends
// at the first failure. See README.md for the commands.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "image_file.h"

namespace {

// Exit codes.
constexpr int kOk = 0;
constexpr int kFailed = 1; // not found, timed out, condition false
constexpr int kUsage = 2;  // bad command line
constexpr int kSystem = 3; // the system refused (input, files, screen)

constexpr DWORD kDefaultTimeout = 10000;
constexpr DWORD kPollInterval = 50;
constexpr UINT kMessageTimeout = 5000;

// Dialog control ids of the system's file dialogs.
constexpr int kFileNameEdit = 0x480;  // edt1
constexpr int kFileNameCombo = 0x47C; // cmb13

// --- Text ---------------------------------------------------------------------------

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

// File contents as text: UTF-8 when the bytes are valid UTF-8, else GBK.
std::wstring Decode(const std::string& bytes) {
    if (bytes.empty()) return {};
    for (UINT codePage : {static_cast<UINT>(CP_UTF8), 936u}) {
        DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        int n = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                    nullptr, 0);
        if (n <= 0) continue;
        std::wstring w(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), w.data(),
                            n);
        return w;
    }
    return {};
}

// Quoted for the result line: backslash, quote and control characters escaped.
std::string Quoted(const std::wstring& w) {
    std::string out = "\"";
    for (char c : Utf8(w)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned char>(c));
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void Print(const std::string& line) {
    std::string l = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), l.data(), static_cast<DWORD>(l.size()), &written,
              nullptr);
}

// --- Windows ---------------------------------------------------------------------------

std::wstring TextOf(HWND w) {
    // Across processes: the system copies the text; a hung owner must not hang us.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &length))
        return {};
    std::vector<wchar_t> buffer(length + 64, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(w, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, kMessageTimeout, &got);
    return std::wstring(buffer.data(), std::min<size_t>(got, buffer.size() - 1));
}

std::wstring ClassOf(HWND w) {
    wchar_t name[256] = {};
    GetClassNameW(w, name, 256);
    return name;
}

bool IsClass(HWND w, const wchar_t* name) {
    return _wcsicmp(ClassOf(w).c_str(), name) == 0;
}

// Caption pattern: exact, or a prefix when it ends in "*".
bool CaptionMatches(const std::wstring& caption, const std::wstring& pattern) {
    if (!pattern.empty() && pattern.back() == L'*')
        return caption.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    return caption == pattern;
}

BOOL CALLBACK Collect(HWND w, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
    return TRUE;
}

std::vector<HWND> TopLevels() {
    std::vector<HWND> all;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::vector<HWND> Controls(HWND top) {
    std::vector<HWND> all;
    EnumChildWindows(top, Collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

bool HasChild(HWND parent, int id) {
    for (HWND w : Controls(parent))
        if (GetDlgCtrlID(w) == id && IsWindowVisible(w)) return true;
    return false;
}

// The first visible top-level window with that caption pattern (empty: any),
// class (null: any) and a visible child of that id (0: no condition).
HWND FindTopLevel(const std::wstring& caption, const wchar_t* className = nullptr,
                  int childId = 0) {
    for (HWND w : TopLevels()) {
        if (!IsWindowVisible(w)) continue;
        if (className && !IsClass(w, className)) continue;
        if (!caption.empty() && !CaptionMatches(TextOf(w), caption)) continue;
        if (childId && !HasChild(w, childId)) continue;
        return w;
    }
    return nullptr;
}

// Polls until found() answers something or the time is up.
template <typename F> auto WaitFor(DWORD timeout, F found) -> decltype(found()) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (auto r = found()) return r;
        if (GetTickCount() - start >= timeout) return found();
        Sleep(kPollInterval);
    }
}

// Control selectors: "N" control id, "text:T" window text, "class:C" or
// "class:C:k" the k-th control of a class (from 1), in the system's order.
HWND FindControl(HWND top, const std::wstring& selector) {
    std::vector<HWND> all = Controls(top);
    if (selector.rfind(L"text:", 0) == 0) {
        std::wstring text = selector.substr(5);
        for (HWND w : all)
            if (TextOf(w) == text) return w;
        return nullptr;
    }
    if (selector.rfind(L"class:", 0) == 0) {
        std::wstring rest = selector.substr(6);
        int wanted = 1;
        size_t colon = rest.find(L':');
        if (colon != std::wstring::npos) {
            wanted = _wtoi(rest.c_str() + colon + 1);
            rest.resize(colon);
        }
        for (HWND w : all)
            if (IsClass(w, rest.c_str()) && --wanted == 0) return w;
        return nullptr;
    }
    wchar_t* end = nullptr;
    long id = std::wcstol(selector.c_str(), &end, 0);
    if (selector.empty() || *end) return nullptr;
    for (HWND w : all)
        if (GetDlgCtrlID(w) == id) return w;
    return nullptr;
}

// Rectangle of a control in its top-level window's client area.
RECT ClientRect(HWND top, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Checked(HWND w) {
    if (!IsClass(w, L"Button")) return "-";
    LONG type = GetWindowLongW(w, GWL_STYLE) & BS_TYPEMASK;
    if (type != BS_CHECKBOX && type != BS_AUTOCHECKBOX && type != BS_3STATE &&
        type != BS_AUTO3STATE && type != BS_RADIOBUTTON && type != BS_AUTORADIOBUTTON)
        return "-";
    DWORD_PTR state = 0;
    SendMessageTimeoutW(w, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &state);
    return std::to_string(state);
}

HWND FocusOf(HWND top) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::string Describe(HWND top, HWND w) {
    RECT r = ClientRect(top, w);
    char head[160];
    std::snprintf(head, sizeof head, "id=%d class=%s enabled=%d visible=%d checked=%s",
                  GetDlgCtrlID(w), Utf8(ClassOf(w)).c_str(), IsWindowEnabled(w) ? 1 : 0,
                  IsWindowVisible(w) ? 1 : 0, Checked(w).c_str());
    char rect[96];
    std::snprintf(rect, sizeof rect, " rect=%ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left,
                  r.bottom - r.top);
    return std::string(head) + rect + " text=" + Quoted(TextOf(w));
}

// --- Input ---------------------------------------------------------------------------------

// Input goes to the foreground window: bring the target's top-level window there.
void BringForward(HWND top) {
    if (GetForegroundWindow() == top) return;
    SetForegroundWindow(top);
    WaitFor(2000, [&] { return GetForegroundWindow() == top; });
}

bool Send(std::vector<INPUT>& inputs) {
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
           inputs.size();
}

INPUT Key(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

// Nothing but the window under the point will take a press there: no other
// window of its thread holds the mouse capture.
bool PressReachesPoint(POINT screen) {
    HWND under = WindowFromPoint(screen);
    if (!under) return true;
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(under, nullptr), &gui)) return true;
    return !gui.hwndCapture || gui.hwndCapture == under;
}

// The pointer goes to the point and settles there before the press, as a
// person's does. A box that captures the mouse while it is hovered lets go
// only once it has seen the pointer outside, and under Wine a late echo of
// an earlier pointer position can make it take the capture again. While
// another window holds the capture the pointer moves on by a pixel and back
// (a move to where it already is reaches no one), and the press waits until
// no one has held the capture for a few polls (two seconds at most).
bool ClickAt(POINT screen, bool right) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    auto moveTo = [&](int x, int y) {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dx = MulDiv(x, 65535, width - 1);
        in.mi.dy = MulDiv(y, 65535, height - 1);
        in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        return in;
    };
    std::vector<INPUT> move{moveTo(screen.x, screen.y)};
    SetCursorPos(screen.x, screen.y);
    if (!Send(move)) return false;
    const int aside = screen.x + 1 < width ? screen.x + 1 : screen.x - 1;
    const DWORD start = GetTickCount();
    for (int calm = 0, nudges = 0; calm < 3 && GetTickCount() - start < 2000;) {
        Sleep(kPollInterval / 2);
        if (PressReachesPoint(screen)) {
            ++calm;
        } else {
            calm = 0;
            std::vector<INPUT> nudge{moveTo(++nudges % 2 ? aside : screen.x, screen.y)};
            Send(nudge);
        }
    }
    std::vector<INPUT> press(2, move[0]);
    press[0].mi.dwFlags |= right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags |= right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    return Send(press);
}

// Keys by name: Enter, Esc, Tab, Space, Up/Down/Left/Right, Home, End,
// Delete, Backspace, F1-F12, a single letter or digit; modifiers joined with
// "+": Shift+Tab, Alt+S, Ctrl+A.
std::optional<std::vector<INPUT>> KeyStroke(const std::wstring& stroke) {
    static const struct {
        const wchar_t* name;
        WORD vk;
    } kNames[] = {{L"enter", VK_RETURN},  {L"esc", VK_ESCAPE},  {L"escape", VK_ESCAPE},
                  {L"tab", VK_TAB},       {L"space", VK_SPACE}, {L"up", VK_UP},
                  {L"down", VK_DOWN},     {L"left", VK_LEFT},   {L"right", VK_RIGHT},
                  {L"home", VK_HOME},     {L"end", VK_END},     {L"delete", VK_DELETE},
                  {L"backspace", VK_BACK}};
    static const struct {
        const wchar_t* name;
        WORD vk;
    } kModifiers[] = {{L"shift", VK_SHIFT}, {L"ctrl", VK_CONTROL}, {L"alt", VK_MENU}};

    std::vector<WORD> modifiers;
    std::wstring rest = stroke;
    for (;;) {
        size_t plus = rest.find(L'+');
        if (plus == std::wstring::npos || plus + 1 == rest.size()) break;
        std::wstring name = rest.substr(0, plus);
        bool known = false;
        for (const auto& m : kModifiers)
            if (_wcsicmp(name.c_str(), m.name) == 0) modifiers.push_back(m.vk), known = true;
        if (!known) return std::nullopt;
        rest = rest.substr(plus + 1);
    }
    WORD vk = 0;
    for (const auto& k : kNames)
        if (_wcsicmp(rest.c_str(), k.name) == 0) vk = k.vk;
    if (!vk && rest.size() == 1 && iswalnum(rest[0])) vk = static_cast<WORD>(towupper(rest[0]));
    if (!vk && (rest[0] == L'F' || rest[0] == L'f') && rest.size() <= 3) {
        int n = _wtoi(rest.c_str() + 1);
        if (n >= 1 && n <= 12) vk = static_cast<WORD>(VK_F1 + n - 1);
    }
    if (!vk) return std::nullopt;
    std::vector<INPUT> inputs;
    for (WORD m : modifiers)
        inputs.push_back(Key(m, false));
    inputs.push_back(Key(vk, false));
    inputs.push_back(Key(vk, true));
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        inputs.push_back(Key(*it, true));
    return inputs;
}

// --- Commands ------------------------------------------------------------------------------

struct Command {
    std::vector<std::wstring> args; // positional, after the command name
    DWORD timeout = kDefaultTimeout;
    bool byMessage = false;  // --message
    bool cancel = false;     // --cancel
    std::optional<POINT> at; // --at X,Y (in the control)
    std::wstring press;      // --press BUTTON
    std::wstring file;       // --file PATH
    DWORD stable = 0;        // --stable MS
};

int Usage(const std::string& why);

int Fail(const std::string& why) {
    Print("fail " + why);
    return kFailed;
}

HWND NeedWindow(const Command& c, const std::wstring& caption) {
    return WaitFor(c.timeout, [&] { return FindTopLevel(caption); });
}

// --- What a process holds (soak runs watch these stay flat) --------------------------
//
// The system's own counters are used where it keeps them. Where it answers 0
// (Wine keeps no GUI-resource counts, no per-process handle count through
// psapi and no private-usage figure), each is counted another way, from
// outside the process:
//   handles, keys     each possible handle value, duplicated into this process
//   threads           the system's process list (NtQuerySystemInformation)
//   GDI objects       the live entries of the process's own GDI handle table
//   windows           its top-level windows and their descendants
//   private bytes     its committed private regions, one by one

struct Listed {
    DWORD threads = 0, handleTable = 0;
};

Listed FromProcessList(DWORD pid) {
    std::vector<char> buffer(256 * 1024);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), nullptr)) ==
               static_cast<NTSTATUS>(0xC0000004) && // STATUS_INFO_LENGTH_MISMATCH
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status < 0) return {};
    for (size_t at = 0;;) {
        const auto* e = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + at);
        if (reinterpret_cast<uintptr_t>(e->UniqueProcessId) == pid)
            return {e->NumberOfThreads, e->HandleCount};
        if (!e->NextEntryOffset) return {};
        at += e->NextEntryOffset;
    }
}

// Wine's process list gives the size of the handle table (values 4, 8, ...
// up to four times its size), not the handles in it; a value is a live
// handle when it can be duplicated. Registry keys are counted apart: Wine's
// own file dialog leaves one open per use, which soak runs must tell from
// the program's.
struct LiveHandles {
    DWORD all = 0, keys = 0;
};

LiveHandles CountLiveHandles(HANDLE process, DWORD tableSize) {
    const uintptr_t end = tableSize ? 4 * (uintptr_t{tableSize} + 1) : 0x10000;
    LiveHandles live;
    for (uintptr_t value = 4; value < end; value += 4) {
        HANDLE copy = nullptr;
        if (!DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy,
                             0, FALSE, DUPLICATE_SAME_ACCESS))
            continue;
        ++live.all;
        // The type's name comes first, followed by its text.
        alignas(8) char type[512];
        if (NtQueryObject(copy, ObjectTypeInformation, type, sizeof type, nullptr) >= 0) {
            const auto& name = *reinterpret_cast<const UNICODE_STRING*>(type);
            if (name.Buffer && std::wstring(name.Buffer, name.Length / 2) == L"Key") ++live.keys;
        }
        CloseHandle(copy);
    }
    return live;
}

// The process's GDI handle table, found through its PEB, read whole; an
// entry is live while its type byte is set. The table is the process's own
// where the system keeps no count; on systems that count (and share one
// table between processes) this is never asked.
DWORD GdiTableObjects(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) <
            0 ||
        !basic.PebBaseAddress)
        return 0;
    constexpr size_t kTableInPeb = 0x94; // GdiSharedHandleTable, 32-bit PEB
    constexpr size_t kEntryBytes = 24;   // 64-bit object, owner, unique, type, flags, user
    constexpr size_t kTypeInEntry = 14;
    constexpr size_t kEntries = 0x10000;
    uint32_t table = 0;
    SIZE_T got = 0;
    if (!ReadProcessMemory(process,
                           reinterpret_cast<const char*>(basic.PebBaseAddress) + kTableInPeb,
                           &table, sizeof table, &got) ||
        !table)
        return 0;
    std::vector<uint8_t> entries(kEntries * kEntryBytes);
    if (!ReadProcessMemory(process, reinterpret_cast<void*>(static_cast<uintptr_t>(table)),
                           entries.data(), entries.size(), &got))
        return 0;
    DWORD live = 0;
    for (size_t i = 0; i < got / kEntryBytes; ++i)
        if (entries[i * kEntryBytes + kTypeInEntry]) ++live;
    return live;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}

struct WindowsOf {
    DWORD pid, count;
};
BOOL CALLBACK CountTopLevel(HWND w, LPARAM param) {
    auto* of = reinterpret_cast<WindowsOf*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == of->pid) {
        ++of->count;
        EnumChildWindows(w, CountWindow, reinterpret_cast<LPARAM>(&of->count));
    }
    return TRUE;
}

SIZE_T PrivateRegions(HANDLE process) {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr;
         VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

int ProcessUsage(const Command& c) {
    HWND top = NeedWindow(c, c.args[0]);
    if (!top) return Fail("no window " + Quoted(c.args[0]));
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, pid);
    if (!process) return Fail("cannot open the process");
    const Listed listed = FromProcessList(pid);
    LiveHandles handles;
    if (!GetProcessHandleCount(process, &handles.all) || !handles.all)
        handles = CountLiveHandles(process, listed.handleTable);
    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    if (!gdi) gdi = GdiTableObjects(process);
    WindowsOf windows{pid, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    SIZE_T privateBytes = memory.PrivateUsage ? memory.PrivateUsage : PrivateRegions(process);
    char line[240];
    std::snprintf(line, sizeof line,
                  "ok usage pid=%lu handles=%lu keys=%lu threads=%lu gdi=%lu user=%lu windows=%lu "
                  "private=%lu working=%lu",
                  pid, handles.all, handles.keys, listed.threads, gdi,
                  GetGuiResources(process, GR_USEROBJECTS), windows.count,
                  static_cast<unsigned long>(privateBytes),
                  static_cast<unsigned long>(memory.WorkingSetSize));
    CloseHandle(process);
    Print(line);
    return kOk;
}

int WaitWindow(const Command& c) {
    HWND top = NeedWindow(c, c.args[0]);
    if (!top) return Fail("no window " + Quoted(c.args[0]));
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    RECT r;
    GetWindowRect(top, &r);
    char line[160];
    std::snprintf(line, sizeof line, "ok window pid=%lu rect=%ld,%ld,%ld,%ld screen=%d,%d", pid,
                  r.left, r.top, r.right - r.left, r.bottom - r.top, GetSystemMetrics(SM_CXSCREEN),
                  GetSystemMetrics(SM_CYSCREEN));
    Print(std::string(line) + " caption=" + Quoted(TextOf(top)));
    return kOk;
}

int WaitGone(const Command& c) {
    if (!WaitFor(c.timeout, [&] { return FindTopLevel(c.args[0]) == nullptr; }))
        return Fail("still there " + Quoted(c.args[0]));
    Print("ok gone");
    return kOk;
}

int List(const Command& c) {
    HWND top = NeedWindow(c, c.args[0]);
    if (!top) return Fail("no window " + Quoted(c.args[0]));
    std::vector<HWND> all = Controls(top);
    for (HWND w : all)
        Print("control " + Describe(top, w));
    Print("ok " + std::to_string(all.size()) + " controls");
    return kOk;
}

// A control of a window named by the first two arguments.
struct Target {
    HWND top = nullptr, control = nullptr;
};

std::optional<Target> NeedControl(const Command& c, int& code) {
    Target t;
    t.top = NeedWindow(c, c.args[0]);
    if (!t.top) {
        code = Fail("no window " + Quoted(c.args[0]));
        return std::nullopt;
    }
    t.control = WaitFor(c.timeout, [&] { return FindControl(t.top, c.args[1]); });
    if (!t.control) {
        code = Fail("no control " + Quoted(c.args[1]));
        return std::nullopt;
    }
    return t;
}

int State(const Command& c) {
    int code = kOk;
    auto t = NeedControl(c, code);
    if (!t) return code;
    Print("ok " + Describe(t->top, t->control));
    return kOk;
}

int Text(const Command& c) {
    int code = kOk;
    auto t = NeedControl(c, code);
    if (!t) return code;
    Print("ok text " + Quoted(TextOf(t->control)));
    return kOk;
}

int Click(const Command& c) {
    int code = kOk;
    auto t = NeedControl(c, code);
    if (!t) return code;
    RECT r;
    GetWindowRect(t->control, &r);
    POINT inside = c.at ? *c.at : POINT{(r.right - r.left) / 2, (r.bottom - r.top) / 2};
    if (c.byMessage) {
        // Buttons click themselves; anything else gets the mouse messages.
        if (IsClass(t->control, L"Button") && !c.at) {
            PostMessageW(t->control, BM_CLICK, 0, 0);
        } else {
            LPARAM where = MAKELPARAM(inside.x, inside.y);
            PostMessageW(t->control, WM_LBUTTONDOWN, MK_LBUTTON, where);
            PostMessageW(t->control, WM_LBUTTONUP, 0, where);
        }
        Print("ok clicked by message");
        return kOk;
    }
    BringForward(t->top);
    POINT screen{r.left + inside.x, r.top + inside.y};
    if (!ClickAt(screen, false)) {
        Print("fail input refused");
        return kSystem;
    }
    char line[64];
    std::snprintf(line, sizeof line, "ok clicked at %ld,%ld", screen.x, screen.y);
    Print(line);
    return kOk;
}

int Type(const Command& c) {
    HWND top = NeedWindow(c, c.args[0]);
    if (!top) return Fail("no window " + Quoted(c.args[0]));
    std::wstring text = c.args.size() > 1 ? c.args[1] : L"";
    if (!c.file.empty()) {
        HANDLE f = CreateFileW(c.file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return Fail("cannot read " + Quoted(c.file));
        std::string bytes(GetFileSize(f, nullptr), '\0');
        DWORD got = 0;
        ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
        CloseHandle(f);
        text = Decode(bytes.substr(0, got));
    }
    if (c.byMessage) {
        HWND focus = FocusOf(top);
        if (!focus) return Fail("nothing has the focus");
        for (wchar_t ch : text)
            PostMessageW(focus, WM_CHAR, ch, 1);
    } else {
        BringForward(top);
        std::vector<INPUT> inputs;
        for (wchar_t ch : text) {
            INPUT in{};
            in.type = INPUT_KEYBOARD;
            in.ki.wScan = ch;
            in.ki.dwFlags = KEYEVENTF_UNICODE;
            inputs.push_back(in);
            in.ki.dwFlags |= KEYEVENTF_KEYUP;
            inputs.push_back(in);
        }
        if (!inputs.empty() && !Send(inputs)) {
            Print("fail input refused");
            return kSystem;
        }
    }
    Print("ok typed " + std::to_string(text.size()) + " characters");
    return kOk;
}

int Keys(const Command& c) {
    HWND top = NeedWindow(c, c.args[0]);
    if (!top) return Fail("no window " + Quoted(c.args[0]));
    std::vector<INPUT> all;
    for (size_t i = 1; i < c.args.size(); ++i) {
        auto stroke = KeyStroke(c.args[i]);
        if (!stroke) {
            Print("fail unknown key " + Quoted(c.args[i]));
            return kUsage;
        }
        all.insert(all.end(), stroke->begin(), stroke->end());
    }
    BringForward(top);
    if (!Send(all)) {
        Print("fail input refused");
        return kSystem;
    }
    Print("ok pressed " + std::to_string(c.args.size() - 1) + " keys");
    return kOk;
}

int Focus(const Command& c) {
    HWND top = NeedWindow(c, c.args[0]);
    if (!top) return Fail("no window " + Quoted(c.args[0]));
    HWND focus = FocusOf(top);
    if (!focus) return Fail("nothing has the focus");
    Print("ok focus " + Describe(top, focus));
    return kOk;
}

// A test aid, not something a person could do: switches a control on or off
// from outside (what the program itself would do after some long operation).
int SetEnabled(const Command& c) {
    int code = kOk;
    auto t = NeedControl(c, code);
    if (!t) return code;
    const bool on = c.args[2] == L"1";
    if (!on && c.args[2] != L"0") return Usage("set-enabled takes 0 or 1");
    EnableWindow(t->control, on);
    Print(on ? "ok enabled" : "ok disabled");
    return kOk;
}

// "enabled=1", "visible=0", "checked=1", "focused=1", "text=T".
int Wait(const Command& c) {
    int code = kOk;
    auto t = NeedControl(c, code);
    if (!t) return code;
    const std::wstring& condition = c.args[2];
    size_t eq = condition.find(L'=');
    if (eq == std::wstring::npos) {
        Print("fail bad condition " + Quoted(condition));
        return kUsage;
    }
    std::wstring what = condition.substr(0, eq), want = condition.substr(eq + 1);
    auto holds = [&] {
        HWND w = t->control;
        if (!IsWindow(w)) return false;
        if (what == L"enabled") return (IsWindowEnabled(w) ? L"1" : L"0") == want;
        if (what == L"visible") return (IsWindowVisible(w) ? L"1" : L"0") == want;
        if (what == L"focused") return ((FocusOf(t->top) == w) ? L"1" : L"0") == want;
        if (what == L"checked") return Decode(Checked(w)) == want;
        if (what == L"text") return TextOf(w) == want;
        return false;
    };
    if (!WaitFor(c.timeout, holds))
        return Fail("not " + Utf8(condition) + ": " + Describe(t->top, t->control));
    if (c.stable) {
        // It must stay so: input still on its way may change it back.
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < c.stable) {
            if (!holds())
                return Fail("did not stay " + Utf8(condition) + ": " +
                            Describe(t->top, t->control));
            Sleep(kPollInterval);
        }
    }
    Print("ok " + Utf8(condition));
    return kOk;
}

// The texts of a dialog's static controls, joined by line breaks.
std::wstring StaticTexts(HWND dialog) {
    std::wstring all;
    for (HWND w : Controls(dialog)) {
        if (!IsClass(w, L"Static") || !IsWindowVisible(w)) continue;
        std::wstring t = TextOf(w);
        if (t.empty()) continue;
        if (!all.empty()) all += L"\n";
        all += t;
    }
    return all;
}

HWND FindButton(HWND dialog, const std::wstring& which) {
    wchar_t* end = nullptr;
    long id = std::wcstol(which.c_str(), &end, 0);
    for (HWND w : Controls(dialog)) {
        if (!IsClass(w, L"Button")) continue;
        if (!which.empty() && !*end && GetDlgCtrlID(w) == id) return w;
        std::wstring t = TextOf(w);
        std::wstring plain;
        for (wchar_t ch : t)
            if (ch != L'&') plain += ch;
        if (plain == which || t == which) return w;
        // "确定(&O)": the text before a bracketed mnemonic counts too.
        size_t bracket = plain.find(L'(');
        if (bracket != std::wstring::npos && plain.substr(0, bracket) == which) return w;
    }
    return nullptr;
}

int MessageBoxCommand(const Command& c) {
    const std::wstring caption = c.args.empty() ? L"" : c.args[0];
    HWND box = WaitFor(c.timeout, [&] { return FindTopLevel(caption, L"#32770"); });
    if (!box) return Fail("no message box");
    // The box may still be filling in its text.
    std::wstring text;
    WaitFor(2000, [&] { return !(text = StaticTexts(box)).empty(); });
    std::string line = "ok msgbox caption=" + Quoted(TextOf(box)) + " text=" + Quoted(text);
    if (!c.press.empty()) {
        HWND button = FindButton(box, c.press);
        if (!button) return Fail("no button " + Quoted(c.press) + " in " + line.substr(3));
        PostMessageW(button, BM_CLICK, 0, 0);
        line += " pressed=" + Quoted(c.press);
    }
    Print(line);
    return kOk;
}

HWND FileNameBox(HWND dialog) {
    for (HWND w : Controls(dialog)) {
        int id = GetDlgCtrlID(w);
        if (id == kFileNameEdit && IsClass(w, L"Edit")) return w;
        if (id == kFileNameCombo) {
            if (HWND edit = FindWindowExW(w, nullptr, L"Edit", nullptr)) return edit;
            return w;
        }
    }
    return nullptr;
}

int FileDialog(const Command& c) {
    auto dialog = [&]() -> HWND {
        HWND d = FindTopLevel(L"", L"#32770", kFileNameEdit);
        return d ? d : FindTopLevel(L"", L"#32770", kFileNameCombo);
    };
    HWND box = WaitFor(c.timeout, dialog);
    if (!box) return Fail("no file dialog");
    std::string line = "ok file dialog caption=" + Quoted(TextOf(box));
    if (c.cancel) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDCANCEL)));
        Print(line + " cancelled");
        return kOk;
    }
    if (c.args.empty()) {
        Print(line);
        return kOk;
    }
    HWND name = FileNameBox(box);
    if (!name) return Fail("no file name box");
    DWORD_PTR done = 0;
    SendMessageTimeoutW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.args[0].c_str()),
                        SMTO_ABORTIFHUNG, kMessageTimeout, &done);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    Print(line + " name=" + Quoted(c.args[0]));
    return kOk;
}

int Screenshot(const Command& c) {
    HWND top = NeedWindow(c, c.args[0]);
    if (!top) return Fail("no window " + Quoted(c.args[0]));
    BringForward(top);
    RedrawWindow(top, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR ignored;
    SendMessageTimeoutW(top, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeout, &ignored);
    RECT r;
    GetWindowRect(top, &r);
    uidriver::Image image;
    if (!uidriver::CaptureScreen(r, image)) {
        Print("fail cannot read the screen");
        return kSystem;
    }
    if (!uidriver::SaveImage(image, c.args[1])) {
        Print("fail cannot write " + Quoted(c.args[1]));
        return kSystem;
    }
    Print("ok screenshot " + std::to_string(image.width) + "x" + std::to_string(image.height) +
          " " + Quoted(c.args[1]));
    return kOk;
}

struct CommandRow {
    const wchar_t* name;
    size_t minArgs, maxArgs;
    int (*run)(const Command&);
};

const CommandRow kCommands[] = {
    {L"wait-window", 1, 1, WaitWindow},
    {L"wait-gone", 1, 1, WaitGone},
    {L"list", 1, 1, List},
    {L"state", 2, 2, State},
    {L"text", 2, 2, Text},
    {L"click", 2, 2, Click},
    {L"type", 1, 2, Type},
    {L"key", 2, 16, Keys},
    {L"focus", 1, 1, Focus},
    {L"wait", 3, 3, Wait},
    {L"msgbox", 0, 1, MessageBoxCommand},
    {L"file-dialog", 0, 1, FileDialog},
    {L"screenshot", 2, 2, Screenshot},
    {L"usage", 1, 1, ProcessUsage},
    {L"set-enabled", 3, 3, SetEnabled},
};

int Usage(const std::string& why) {
    Print("fail usage: " + why + " (see README.md)");
    return kUsage;
}

// One command: name, positional arguments and options.
int Run(const std::vector<std::wstring>& words) {
    if (words.empty()) return Usage("no command");
    const CommandRow* row = nullptr;
    for (const CommandRow& r : kCommands)
        if (words[0] == r.name) row = &r;
    if (!row) return Usage("unknown command " + Quoted(words[0]));
    Command c;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::wstring& w = words[i];
        auto value = [&](std::wstring& out) {
            if (i + 1 >= words.size()) return false;
            out = words[++i];
            return true;
        };
        std::wstring v;
        if (w == L"--message") {
            c.byMessage = true;
        } else if (w == L"--cancel") {
            c.cancel = true;
        } else if (w == L"--timeout" && value(v)) {
            c.timeout = static_cast<DWORD>(_wtoi(v.c_str()));
        } else if (w == L"--stable" && value(v)) {
            c.stable = static_cast<DWORD>(_wtoi(v.c_str()));
        } else if (w == L"--press" && value(v)) {
            c.press = v;
        } else if (w == L"--file" && value(v)) {
            c.file = v;
        } else if (w == L"--at" && value(v)) {
            POINT p;
            if (swscanf(v.c_str(), L"%ld,%ld", &p.x, &p.y) != 2) return Usage("--at X,Y");
            c.at = p;
        } else if (w.rfind(L"--", 0) == 0 && w.size() > 2) {
            return Usage("unknown option " + Quoted(w));
        } else {
            c.args.push_back(w);
        }
    }
    if (c.args.size() < row->minArgs || c.args.size() > row->maxArgs)
        return Usage("wrong argument count for " + Utf8(row->name));
    return row->run(c);
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return kSystem;
    // Commands joined by "+" run in order; the first failure ends the run.
    std::vector<std::wstring> words;
    int code = kOk;
    for (int i = 1; i <= argc && code == kOk; ++i) {
        if (i == argc || std::wcscmp(argv[i], L"+") == 0) {
            code = Run(words);
            words.clear();
        } else {
            words.push_back(argv[i]);
        }
    }
    LocalFree(argv);
    return code;
}

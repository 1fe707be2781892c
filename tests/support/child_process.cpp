#include "child_process.h"
#include "test_files.h"

namespace testing {

namespace {

struct Search {
    DWORD processId;
    const char* className;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != s->processId || !IsWindowVisible(window)) return TRUE;
    if (s->className) {
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpA(name, s->className) != 0) return TRUE;
    }
    s->found = window;
    return FALSE;
}

struct TextSearch {
    std::string text;
};

BOOL CALLBACK FindMessageText(HWND child, LPARAM param) {
    auto* s = reinterpret_cast<TextSearch*>(param);
    char name[32] = {};
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "Static") != 0) return TRUE;
    // The icon is a static too, without text.
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return TRUE;
    std::string text = WindowText(child);
    if (text.empty()) return TRUE;
    s->text = text;
    return FALSE;
}

} // namespace

std::string WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return {};
    text.resize(copied);
    return text;
}

std::string ProgramDirectory() {
    return test_support::ProgramFolder();
}

ChildProcess::~ChildProcess() {
    if (info_.hProcess) {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) Kill();
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

bool ChildProcess::Start(const std::string& program, const std::string& arguments) {
    std::string command = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info_) != 0;
}

HWND ChildProcess::WaitForWindow(DWORD timeoutMs, const char* className) {
    DWORD start = GetTickCount();
    for (;;) {
        Search s{info_.dwProcessId, className, nullptr};
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
        if (s.found) return s.found;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        // The child may have ended without showing anything: no need to wait on.
        if (WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0) {
            EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
            return s.found;
        }
    }
}

bool ChildProcess::WaitForMessageBox(DWORD timeoutMs, MessageBoxSeen* box) {
    HWND window = WaitForWindow(timeoutMs, "#32770");
    if (!window) return false;
    box->window = window;
    // The box may be found while it still fills in its caption and controls.
    DWORD start = GetTickCount();
    TextSearch s;
    do {
        box->caption = WindowText(window);
        s.text.clear();
        EnumChildWindows(window, FindMessageText, reinterpret_cast<LPARAM>(&s));
        if (!s.text.empty() && !box->caption.empty()) break;
        Sleep(20);
    } while (GetTickCount() - start < 3000);
    box->text = s.text;
    return true;
}

void ChildProcess::Dismiss(const MessageBoxSeen& box) {
    HWND ok = GetDlgItem(box.window, IDOK);
    PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(ok));
}

bool ChildProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(info_.hProcess, exitCode);
    return true;
}

void ChildProcess::Kill() {
    TerminateProcess(info_.hProcess, 0xDEAD);
    WaitForSingleObject(info_.hProcess, 5000);
}

std::string NewTracePath(const char* prefix) {
    static int n = 0;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + prefix + std::to_string(GetCurrentProcessId()) + "_" +
                       std::to_string(++n) + ".log";
    DeleteFileA(path.c_str());
    return path;
}

std::string ReadTrace(const std::string& path, bool remove) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string text(1 << 20, '\0');
    DWORD n = 0;
    ReadFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(f);
    if (remove) DeleteFileA(path.c_str());
    text.resize(n);
    return text;
}

} // namespace testing

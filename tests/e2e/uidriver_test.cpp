// uidriver.exe against windows of this test program, driven from outside as
// a person would: its result lines and exit codes, real mouse and keyboard
// input (Chinese typed included), message boxes, the save dialog, pictures.
#include <doctest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "driver_run.h"

namespace {

const char kCaption[] = "驱动自测窗口";
// A system dialog's first opening can take long in an emulated machine.
const char kSlow[] = "60000";
constexpr int kEditId = 100, kButtonId = 110, kDialogButtonId = 120, kCheckId = 140,
              kStickyId = 150;

// A box that takes the mouse capture while the pointer is over it and, like
// a hovered box seeing a late echo of an old pointer position, keeps it past
// the first two moves outside: a press sent right after the pointer left
// reaches this box instead of what is under the pointer.
std::atomic<int> stickyPresses{0};
LRESULT CALLBACK StickyProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_MOUSEMOVE) {
        RECT r;
        GetClientRect(w, &r);
        const POINT p{static_cast<int16_t>(LOWORD(lp)), static_cast<int16_t>(HIWORD(lp))};
        LONG_PTR outside = GetWindowLongPtrA(w, GWLP_USERDATA);
        if (PtInRect(&r, p)) {
            outside = 0;
            SetCapture(w);
        } else if (GetCapture() == w && ++outside > 2) {
            ReleaseCapture();
        }
        SetWindowLongPtrA(w, GWLP_USERDATA, outside);
        return 0;
    }
    if (m == WM_LBUTTONDOWN) ++stickyPresses;
    return DefWindowProcA(w, m, wp, lp);
}

// The window under test, on a thread of its own with its own message loop.
class Subject {
  public:
    Subject() {
        thread_ = CreateThread(nullptr, 0, &Subject::Start, this, 0, nullptr);
        for (int i = 0; i < 3000 && !ready_; ++i)
            Sleep(10);
    }
    ~Subject() {
        // A box or dialog the driver failed to close stays modal: closing the
        // window takes them down too. Bounded, so a stuck case fails instead of
        // holding the whole run.
        PostMessageA(window_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(thread_, 30000) != WAIT_OBJECT_0) {
            FAIL_CHECK("the test window did not close");
            TerminateThread(thread_, 1);
        }
        CloseHandle(thread_);
    }
    bool ready() const { return ready_; }
    HWND Control(int id) const { return GetDlgItem(window_, id); }
    std::atomic<int> boxAnswer{0};
    std::atomic<int> dialogAnswer{-1};
    std::string savedName;

  private:
    static DWORD WINAPI Start(void* self) {
        static_cast<Subject*>(self)->Run();
        return 0;
    }
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<Subject*>(GetWindowLongPtrA(w, GWLP_USERDATA));
        if (m == WM_COMMAND && LOWORD(wp) == kButtonId && HIWORD(wp) == BN_CLICKED) {
            self->boxAnswer = MessageBoxA(w, "消息正文", "标题", MB_OK | MB_ICONINFORMATION);
            return 0;
        }
        if (m == WM_COMMAND && LOWORD(wp) == kDialogButtonId && HIWORD(wp) == BN_CLICKED) {
            char name[1024] = {};
            OPENFILENAMEA ofn{};
            ofn.lStructSize = sizeof ofn;
            ofn.hwndOwner = w;
            ofn.lpstrFile = name;
            ofn.nMaxFile = sizeof name;
            ofn.lpstrFilter = "MP3\0*.MP3\0\0";
            ofn.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
            self->dialogAnswer = GetSaveFileNameA(&ofn);
            self->savedName = name;
            return 0;
        }
        if (m == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcA(w, m, wp, lp);
    }
    void Run() {
        WNDCLASSA c{};
        c.lpfnWndProc = Proc;
        c.hInstance = GetModuleHandleA(nullptr);
        c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        c.lpszClassName = "DriverSubject";
        RegisterClassA(&c);
        WNDCLASSA sticky = c;
        sticky.lpfnWndProc = StickyProc;
        sticky.lpszClassName = "DriverSticky";
        RegisterClassA(&sticky);
        window_ = CreateWindowExA(0, c.lpszClassName, kCaption,
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 100, 100,
                                  400, 220, nullptr, nullptr, c.hInstance, nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        auto child = [&](const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
                         int id) {
            CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, w, h,
                            window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), c.hInstance,
                            nullptr);
        };
        child("EDIT", "", WS_BORDER | ES_AUTOHSCROLL, 10, 10, 360, 24, kEditId);
        child("BUTTON", "按钮", BS_PUSHBUTTON, 10, 50, 80, 28, kButtonId);
        child("BUTTON", "另存为", BS_PUSHBUTTON, 100, 50, 80, 28, kDialogButtonId);
        child("BUTTON", "选择", BS_AUTOCHECKBOX, 10, 90, 120, 20, kCheckId);
        child("DriverSticky", "", 0, 140, 90, 100, 20, kStickyId);
        SendMessageA(Control(kCheckId), BM_SETCHECK, BST_CHECKED, 0);
        SetForegroundWindow(window_);
        SetFocus(Control(kEditId));
        ready_ = true;
        // The Unicode loop: through the ANSI path Wine's edit control takes
        // each byte of a double-byte character on its own ("?"), and this
        // window tests the driver, not that.
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (IsDialogMessageW(window_, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    HANDLE thread_ = nullptr;
    HWND window_ = nullptr;
    std::atomic<bool> ready_{false};
};

DWORD WINAPI WaitOn(void* event) {
    return WaitForSingleObject(event, 30000);
}

std::string TextOf(HWND w) {
    char text[512] = {};
    GetWindowTextA(w, text, sizeof text);
    return text;
}

} // namespace

TEST_CASE("uidriver: results, exit codes, mouse, keyboard, boxes, dialogs and pictures") {
    Subject subject;
    REQUIRE(subject.ready());
    const std::string cap = kCaption;

    SUBCASE("finding and listing") {
        e2e::DriverResult r = e2e::Driver({"wait-window", cap});
        CHECK(r.code == 0);
        CHECK(r.out.rfind("ok window pid=" + std::to_string(GetCurrentProcessId()), 0) == 0);
        r = e2e::Driver({"list", cap});
        CHECK(r.code == 0);
        CHECK(r.Has("id=110 class=Button enabled=1 visible=1 checked=- rect=10,50,80,28 "
                    "text=\"按钮\""));
        CHECK(r.Has("id=140 class=Button enabled=1 visible=1 checked=1"));
        CHECK(r.Has("ok 5 controls"));
        // The caption may be given by its start.
        CHECK(
            e2e::Driver({"text", cap.substr(0, 6) + "*", "text:另存为"}).Has("ok text \"另存为\""));
    }

    SUBCASE("failures are told by line and exit code") {
        e2e::DriverResult r = e2e::Driver({"wait-window", "没有这个窗口", "--timeout", "200"});
        CHECK(r.code == 1);
        CHECK(r.out.rfind("fail no window", 0) == 0);
        CHECK(e2e::Driver({"frobnicate"}).code == 2);
        // A driver that outlives the caller's bound is ended, not waited for.
        const DWORD began = GetTickCount();
        CHECK(e2e::Driver({"wait-window", "没有这个窗口", "--timeout", "60000"}, 3000).code == -1);
        CHECK(GetTickCount() - began < 30000);
        CHECK(e2e::Driver({"key", cap, "NoSuchKey"}).code == 2);
        CHECK(e2e::Driver({"state", cap, "999", "--timeout", "200"}).code == 1);
        // A chain stops at its first failure.
        r = e2e::Driver(
            {"wait-window", cap, "+", "state", cap, "999", "--timeout", "200", "+", "frobnicate"});
        CHECK(r.code == 1);
        CHECK(r.out.find("usage") == std::string::npos);
    }

    SUBCASE("real mouse and keyboard input, Chinese included") {
        e2e::DriverResult r =
            e2e::Driver({"click", cap,   "140",       "+", "wait", cap, "140", "checked=0", "+",
                         "click", cap,   "100",       "+", "wait", cap, "100", "focused=1", "+",
                         "type",  cap,   "你好, abc", "+", "key",  cap, "Tab", "+",         "wait",
                         cap,     "110", "focused=1"});
        CHECK(r.code == 0);
        CAPTURE(r.out);
        CHECK(SendMessageA(subject.Control(kCheckId), BM_GETCHECK, 0, 0) == BST_UNCHECKED);
        CHECK(TextOf(subject.Control(kEditId)) == "你好, abc");
        CHECK(e2e::Driver({"key", cap, "Shift+Tab", "+", "wait", cap, "100", "focused=1"}).code ==
              0);
        // The text read across processes comes back as UTF-8.
        CHECK(e2e::Driver({"text", cap, "100"}).Has("ok text \"你好, abc\""));
        // The pointer settles before the press: past a box that holds on to
        // the capture, the press still reaches the check box.
        stickyPresses = 0;
        r = e2e::Driver({"click", cap, "150", "+", "click", cap, "140", "--at", "5,10", "+", "wait",
                         cap, "140", "checked=1"});
        CAPTURE(r.out);
        CHECK(r.code == 0);
        CHECK(stickyPresses == 1);
        // Posted clicks, without the mouse.
        CHECK(e2e::Driver({"click", cap, "140", "--message", "+", "wait", cap, "140", "checked=0"})
                  .code == 0);
    }

    SUBCASE("a message box is read and answered") {
        e2e::DriverResult r = e2e::Driver({"click", cap, "110", "+", "msgbox", "标题", "--press",
                                           "1", "--timeout", kSlow, "+", "wait-gone", "标题"});
        CAPTURE(r.out);
        CHECK(r.code == 0);
        CHECK(r.Has("ok msgbox caption=\"标题\" text=\"消息正文\""));
        CHECK(subject.boxAnswer == IDOK);
    }

    SUBCASE("the save dialog is filled and confirmed, or cancelled") {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        const std::string name = std::string(temp) + "驱动测试.mp3";
        e2e::DriverResult r = e2e::Driver(
            {"click", cap, "120", "--message", "+", "file-dialog", name, "--timeout", kSlow});
        CAPTURE(r.out);
        CHECK(r.code == 0);
        for (int i = 0; i < 1200 && subject.dialogAnswer == -1; ++i)
            Sleep(50);
        CHECK(subject.dialogAnswer == 1);
        CHECK(subject.savedName == name);

        subject.dialogAnswer = -1;
        r = e2e::Driver(
            {"click", cap, "120", "--message", "+", "file-dialog", "--cancel", "--timeout", kSlow});
        CHECK(r.code == 0);
        for (int i = 0; i < 1200 && subject.dialogAnswer == -1; ++i)
            Sleep(50);
        CHECK(subject.dialogAnswer == 0);
    }

    SUBCASE("what the window's process holds, counted from outside") {
        auto usage = [&] {
            e2e::DriverResult r = e2e::Driver({"usage", cap});
            MESSAGE(r.out);
            CHECK(r.code == 0);
            struct {
                long handles, keys, threads, gdi, windows, privateKiB;
            } u{e2e::Numbers(r.out, " handles=").left,
                e2e::Numbers(r.out, " keys=").left,
                e2e::Numbers(r.out, " threads=").left,
                e2e::Numbers(r.out, " gdi=").left,
                e2e::Numbers(r.out, " windows=").left,
                e2e::Numbers(r.out, " private=").left / 1024};
            return u;
        };
        const auto before = usage();
        // Hold more of each, then let it go: every count follows.
        std::vector<HGDIOBJ> brushes;
        std::vector<HANDLE> events;
        for (int i = 0; i < 40; ++i) {
            brushes.push_back(CreateSolidBrush(RGB(i, 0, 0)));
            events.push_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        }
        HANDLE waiter = CreateThread(nullptr, 0, WaitOn, events[0], 0, nullptr);
        HWND extra =
            CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 1, 1,
                            GetParent(subject.Control(kEditId)), nullptr, nullptr, nullptr);
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
        constexpr SIZE_T kHeld = 16 << 20;
        void* memory = VirtualAlloc(nullptr, kHeld, MEM_COMMIT, PAGE_READWRITE);
        const auto holding = usage();
        CHECK(holding.gdi - before.gdi == 40);
        CHECK(holding.handles - before.handles >= 42); // the thread's handle too
        CHECK(holding.keys - before.keys == 1);
        CHECK(holding.threads - before.threads >= 1);
        CHECK(holding.windows > before.windows);
        CHECK(holding.privateKiB - before.privateKiB >= static_cast<long>(kHeld / 1024));

        SetEvent(events[0]);
        WaitForSingleObject(waiter, 30000);
        CloseHandle(waiter);
        for (size_t i = 0; i < brushes.size(); ++i) {
            DeleteObject(brushes[i]);
            CloseHandle(events[i]);
        }
        RegCloseKey(key);
        DestroyWindow(extra);
        VirtualFree(memory, 0, MEM_RELEASE);
        const auto after = usage();
        CHECK(after.gdi == before.gdi);
        CHECK(after.windows == before.windows);
        CHECK(holding.handles - after.handles >= 42);
        CHECK(after.keys == before.keys);
        CHECK(holding.privateKiB - after.privateKiB >= static_cast<long>(kHeld / 1024));
    }

    SUBCASE("pictures of the window, PNG and BMP") {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        RECT rect;
        GetWindowRect(GetParent(subject.Control(kEditId)), &rect);
        const uint32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
        for (const char* ext : {".png", ".bmp"}) {
            const std::string path = std::string(temp) + "uidriver_test" + ext;
            DeleteFileA(path.c_str());
            CHECK(e2e::Driver({"screenshot", cap, path}).code == 0);
            std::string bytes = e2e::ReadFileBytes(path);
            REQUIRE(bytes.size() > 64);
            if (ext[1] == 'p') {
                CHECK(bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0);
                CHECK(e2e::BigEndian(bytes, 16) == width);
                CHECK(e2e::BigEndian(bytes, 20) == height);
            } else {
                CHECK(bytes.compare(0, 2, "BM") == 0);
                CHECK(bytes.size() == 54 + ((width * 3 + 3) & ~3u) * height);
            }
            DeleteFileA(path.c_str());
        }
    }
}

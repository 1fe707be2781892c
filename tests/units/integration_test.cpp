// The window unit on the real runtime: windows built by the loader from
// template segments, driven through the runtime's own message pump, and a
// program of their own (units_subject) run from outside for a screenshot and
// the end of the program.
#include <doctest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "child_process.h"
#include "runtime_state.h"
#include "st/unit_base.h"
#include "st/window_unit.h"
#include "test_windows.h"
#include "unit_access.h"

using namespace testwindows;

namespace {

constexpr DWORD kBound = 60000;

using testing::Pump;

// The main window loaded afresh for a test, closed after it.
struct MainWindow {
    HWND hwnd = (hooks = Hooks{}, testing::LoadStartWindow(kMain));
    ~MainWindow() { testing::CloseWindow(hwnd); }
    HWND Unit(uint32_t id) { return testing::UnitHandle(kMain, id); }
};

void Key(UINT message, WPARAM key) {
    PostMessageA(GetFocus(), message, key, 0);
    Pump();
}

BOOL CALLBACK CountMainWindows(HWND w, LPARAM count) {
    if (testing::WindowText(w) == "单元测试窗口") ++*reinterpret_cast<int*>(count);
    return TRUE;
}

struct SubjectRun {
    bool started = false, exited = false;
    DWORD exitCode = 0;
};

SubjectRun RunSubject(const std::string& mode, const std::string& path) {
    SubjectRun run;
    testing::ChildProcess child;
    run.started = child.Start(testing::ProgramDirectory() + "units_subject.exe", mode + " " + path);
    if (run.started) run.exited = child.WaitForExit(kBound, &run.exitCode);
    return run;
}

} // namespace

TEST_CASE("The loader builds the window of the window type: caption, border, centring") {
    MainWindow main;
    REQUIRE(main.hwnd);
    CHECK(hooks.loaded == 1);
    CHECK(hooks.moved >= 1);
    CHECK(testing::WindowText(main.hwnd) == "单元测试窗口");
    LONG style = GetWindowLongA(main.hwnd, GWL_STYLE);
    CHECK((style & WS_CAPTION) == WS_CAPTION);
    CHECK((style & WS_THICKFRAME) == 0);
    CHECK(IsWindowVisible(main.hwnd));
    RECT r;
    GetWindowRect(main.hwnd, &r);
    CHECK(r.right - r.left == kWidth);
    CHECK(r.bottom - r.top == kHeight);
    CHECK(r.left == (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2);
    CHECK(r.top == (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2);
    CHECK_FALSE(IsWindowVisible(main.Unit(kWindowless)));
    CHECK_FALSE(IsWindowVisible(main.Unit(kHidden)));
    CHECK(IsWindowVisible(main.Unit(kOk)));
}

TEST_CASE("The loaded window's life begins with 0, 3, 4, then its first show's events") {
    MainWindow main;
    REQUIRE(main.hwnd);
    const std::vector<int32_t>& seen = hooks.windowEvents;
    REQUIRE(seen.size() >= 3);
    CHECK(std::vector<int32_t>(seen.begin(), seen.begin() + 3) == std::vector<int32_t>{0, 3, 4});
    auto count = [&](int32_t event) { return std::count(seen.begin(), seen.end(), event); };
    CHECK(count(8) == 1);
    CHECK(count(5) >= 1);
    CHECK(count(10) == 1);
    CHECK(count(st::CommonEvent::FocusReceived) >= 1);
    CHECK(count(0) == 1);
}

TEST_CASE("A handler that loads the window while its load begins: one window, built once") {
    MainWindow main; // starts the runtime
    DestroyWindow(main.hwnd);
    Pump();
    REQUIRE(WindowObject(kMain) == nullptr);
    st::Services.LoadStartWindow(kBare);
    st::UnitBase* bare = WindowObject(kBare);
    REQUIRE(bare);
    hooks = Hooks{};
    hooks.loadMainOnBareClose = true;
    // The close waits in the queue; the load pumps it before it builds anything.
    PostMessageA(bare->hwnd, WM_CLOSE, 0, 0);
    st::Services.LoadStartWindow(kMain);
    Pump();
    main.hwnd = WindowObject(kMain) ? WindowObject(kMain)->hwnd : nullptr;
    REQUIRE(main.hwnd);
    CHECK(hooks.loaded == 1);
    int windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountMainWindows, reinterpret_cast<LPARAM>(&windows));
    CHECK(windows == 1);
    CHECK(WindowObject(kBare) == nullptr);
}

TEST_CASE("Closing the window while a unit's handler pumps messages: objects outlive the handler") {
    MainWindow main;
    REQUIRE(main.hwnd);
    REQUIRE(testunits::LiveControls() > 0);
    const int usedBefore = testunits::usedAfterRelease;
    hooks.closeWhileLabelRuns = true;
    HWND label = main.Unit(kLabel);
    PostMessageA(main.hwnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(label), STN_CLICKED),
                 reinterpret_cast<LPARAM>(label));
    Pump();
    CHECK(hooks.label == 1);
    CHECK(hooks.labelSawWindowGone);
    CHECK(hooks.destroyed == 1);
    CHECK_FALSE(IsWindow(main.hwnd));
    // The label went on after its event with its object whole, and the
    // objects went once the event was over.
    CHECK(testunits::usedAfterRelease == usedBefore);
    CHECK(testunits::LiveControls() == 0);
    CHECK(WindowObject(kMain) == nullptr);
}

TEST_CASE("A radio arrow whose focus handler destroys the window raises nothing on the dead unit") {
    MainWindow main;
    REQUIRE(main.hwnd);
    SetFocus(main.Unit(kRadio1));
    REQUIRE(testing::FocusedUnit() == kRadio1);
    hooks.destroyOnRadio2Focus = true;
    Key(WM_KEYDOWN, VK_RIGHT);
    CHECK_FALSE(IsWindow(main.hwnd));
    CHECK(hooks.destroyed == 1);
    CHECK(hooks.radio2 == 0);
}

TEST_CASE("A window loaded modally is owned by the runtime's message window") {
    MainWindow main; // starts the runtime
    const HWND messageWindow = reinterpret_cast<HWND>(
        static_cast<uintptr_t>(st::CallRuntime(st::CallbackCode::MessageWindow)));
    REQUIRE(messageWindow);
    for (bool modal : {false, true}) {
        CAPTURE(modal);
        REQUIRE(st::Runtime().windows->LoadWindow(kBare, false, modal, nullptr));
        st::UnitBase* bare = WindowObject(kBare);
        REQUIRE(bare);
        // Shown in the taskbar (its property), so only a modal load gives it the owner.
        CHECK((GetWindow(bare->hwnd, GW_OWNER) == messageWindow) == modal);
        CHECK(IsWindowEnabled(main.hwnd) != modal);
        CHECK(st::Runtime().windows->ModalWindow() == (modal ? kBare : 0));
        st::WindowLoadState* state = bare->LoadState();
        REQUIRE(state);
        CHECK(state->modal == modal);
        CHECK(state->disabledForModal ==
              (modal ? std::vector<HWND>{main.hwnd} : std::vector<HWND>{}));
        SendMessageA(bare->hwnd, WM_CLOSE, 0, 0);
        Pump();
        CHECK(WindowObject(kBare) == nullptr);
        CHECK(IsWindowEnabled(main.hwnd));
    }
    CHECK(st::Runtime().windows->ModalWindow() == 0);
}

TEST_CASE("A handler that destroys the window is survived, and the window loads again") {
    {
        MainWindow main;
        REQUIRE(main.hwnd);
        hooks.destroyOnOkDown = true;
        hooks.okDownAnswer = 1;
        PostMessageA(main.Unit(kOk), WM_LBUTTONDOWN, 0, 0);
        Pump();
        CHECK_FALSE(IsWindow(main.hwnd));
        CHECK(hooks.destroyed == 1);
        CHECK(WindowObject(kMain) == nullptr);
        CHECK(st::CallRuntime(st::CallbackCode::LoadedWindowCount) == 0);
    }
    MainWindow again;
    CHECK(again.hwnd != nullptr);
    CHECK(hooks.loaded == 1);
}

TEST_CASE("Window properties through the service table") {
    MainWindow main;
    REQUIRE(main.hwnd);
    st::Services.SetProperty(kMain, 0, 8, -1, reinterpret_cast<uint32_t>("新标题"), 0);
    CHECK(testing::WindowText(main.hwnd) == "新标题");
    auto caption = reinterpret_cast<st::TextValue>(
        static_cast<uint32_t>(st::Services.GetProperty(kMain, 0, 8, -1)));
    REQUIRE(caption);
    CHECK(std::string(caption) == "新标题");
    st::Services.FreeMemory(caption);

    CHECK(static_cast<uint32_t>(st::Services.GetProperty(kMain, 0, 9, -1)) == 2);
    st::Services.SetProperty(kMain, 0, 9, -1, 0, 0); // border style 0
    CHECK((GetWindowLongA(main.hwnd, GWL_STYLE) & WS_CAPTION) == 0);
    CHECK(static_cast<uint32_t>(st::Services.GetProperty(kMain, 0, 10, -1)) == kBackground);
    CHECK(static_cast<uint32_t>(st::Services.GetProperty(kMain, 0, 18, -1)) == 0); // normal
    CHECK(static_cast<uint32_t>(st::Services.GetProperty(kMain, 0, 26, -1)) == 1); // taskbar
    st::Services.SetProperty(kMain, 0, 28, -1, 1, 0);                              // an ellipse
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    CHECK(GetWindowRgn(main.hwnd, region) != ERROR);
    CHECK_FALSE(PtInRegion(region, 0, 0));
    DeleteObject(region);
}

TEST_CASE("A program of its own: a screenshot of its window (title bar, border, background), "
          "and closing the window ends the program with 0") {
    // Wine draws the frame itself for this program, so that the picture holds it
    // even without a window manager on the display.
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER,
                        "Software\\Wine\\AppDefaults\\units_subject.exe\\X11 Driver", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
        RegCloseKey(key);
    }
    std::string bmp = testing::ProgramDirectory() + "window_screenshot.bmp";
    DeleteFileA(bmp.c_str());
    SubjectRun run = RunSubject("screenshot", bmp);
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0);
    std::string file = testing::ReadTrace(bmp, false);
    REQUIRE(file.size() > 54);
    BITMAPINFOHEADER info;
    std::memcpy(&info, file.data() + 14, sizeof info);
    CHECK(info.biWidth == kWidth);
    CHECK(info.biHeight == kHeight);
    REQUIRE(info.biBitCount == 24);
    const int stride = ((info.biWidth * 24 + 31) / 32) * 4;
    REQUIRE(file.size() >= 54u + static_cast<size_t>(stride * info.biHeight));
    auto pixel = [&](int x, int y) { // top-down coordinates
        const uint8_t* p = reinterpret_cast<const uint8_t*>(file.data()) + 54 +
                           (info.biHeight - 1 - y) * stride + 3 * x;
        return static_cast<uint32_t>(p[2] | p[1] << 8 | p[0] << 16); // as a COLORREF
    };
    // Background inside the client area (below the units, right of them).
    CHECK(pixel(kWidth - 30, kHeight - 20) == kBackground);
    CHECK(pixel(kWidth / 2 + 60, kHeight / 2) == kBackground);
    // The title bar: a band at the top that is not background and differs from the frame.
    const int captionY = GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    CHECK(pixel(kWidth / 2, captionY) != kBackground);
    CHECK(pixel(kWidth / 2, captionY) != pixel(kWidth / 2, kHeight - 2));
}

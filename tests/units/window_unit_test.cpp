// The window unit at work on the runtime's loader and registry: creation styles and
// position, common input events and their answers, keyboard navigation,
// closing, destruction and the end of the message loop, activation, idle.
#include <doctest.h>

#include <cstring>

#include "child_process.h"
#include "runtime_harness.h"
#include "st/window_unit.h"
#include "test_windows.h"
#include "unit_access.h"

using harness::PlainWindow;
using testwindows::kCancel, testwindows::kCheck, testwindows::kEdit, testwindows::kOk,
    testwindows::kRadio1, testwindows::kRadio2;

namespace {

constexpr uint32_t kWindow = testwindows::kMain;

constexpr uint32_t kSecond = 0x52010002;

// The test windows' main window loaded for one test (its handlers left out:
// the tests answer events themselves), and a plain second window to load.
struct Form {
    harness::Runtime rt;
    st::WindowUnit* w = Load(rt);
    static st::WindowUnit* Load(harness::Runtime& rt) {
        rt.AddWindow(testwindows::TestWindows()[0]);
        rt.AddWindow(PlainWindow(kSecond));
        st::WindowUnit* loaded = rt.Load(kWindow);
        REQUIRE(loaded);
        return loaded;
    }
};

void Post(HWND to, UINT message, WPARAM wParam, LPARAM lParam = 0) {
    PostMessageA(to, message, wParam, lParam);
}

using testing::FocusedUnit, testing::WindowText;

} // namespace

TEST_CASE("Creation: border styles, title bar and position") {
    harness::Runtime rt;
    st::WindowProperties p;
    SUBCASE("border 0 has no title bar, even with a caption") {
        p.border = 0;
        p.caption = "无边框";
        rt.AddWindow(PlainWindow(kWindow, p));
        st::WindowUnit* w = rt.Load(kWindow);
        REQUIRE(w);
        LONG style = GetWindowLongA(w->hwnd, GWL_STYLE);
        CHECK((style & WS_CAPTION) == 0);
        CHECK((style & WS_THICKFRAME) == 0);
        RECT window, client;
        GetWindowRect(w->hwnd, &window);
        GetClientRect(w->hwnd, &client);
        CHECK(client.bottom == window.bottom - window.top); // nothing above the client area
    }
    SUBCASE("border 1 is resizable with a caption; control box adds the system menu") {
        p.border = 1;
        p.caption = "标题";
        p.minimizeBox = 1;
        rt.AddWindow(PlainWindow(kWindow, p));
        st::WindowUnit* w = rt.Load(kWindow);
        REQUIRE(w);
        LONG style = GetWindowLongA(w->hwnd, GWL_STYLE);
        CHECK((style & WS_CAPTION) == WS_CAPTION);
        CHECK((style & WS_THICKFRAME) != 0);
        CHECK((style & WS_SYSMENU) != 0);
        CHECK((style & WS_MINIMIZEBOX) != 0);
        CHECK((style & WS_MAXIMIZEBOX) == 0);
        CHECK(WindowText(w->hwnd) == "标题");
        // Live changes: no control box and an empty caption leave only the frame.
        uint32_t off = 0, empty = reinterpret_cast<uint32_t>("");
        w->SetProperty(7, &off);
        w->SetProperty(0, &empty);
        style = GetWindowLongA(w->hwnd, GWL_STYLE);
        CHECK((style & WS_CAPTION) == WS_DLGFRAME);
        CHECK((style & WS_SYSMENU) == 0);
        uint32_t tool = 4;
        w->SetProperty(1, &tool);
        CHECK((GetWindowLongA(w->hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0);
        CHECK((GetWindowLongA(w->hwnd, GWL_STYLE) & WS_THICKFRAME) == 0);
    }
    SUBCASE("position 0 keeps the stored place; position 2 starts minimised") {
        p.position = 0;
        rt.AddWindow(PlainWindow(kWindow, p, 333, 222));
        st::WindowUnit* w = rt.Load(kWindow);
        REQUIRE(w);
        RECT r;
        GetWindowRect(w->hwnd, &r);
        CHECK(r.left == 20);
        CHECK(r.top == 30);
        uint32_t minimised = 2, value[2] = {};
        w->SetProperty(10, &minimised);
        REQUIRE(w->GetProperty(10, value) == 1);
        CHECK(value[0] == 2);
        CHECK(IsIconic(w->hwnd));
        CHECK(w->GetProperty(24, value) == 0);
    }
    SUBCASE("not in the taskbar: owned by the runtime's message window") {
        REQUIRE(IsWindow(rt.MessageWindow()));
        p.inTaskbar = 0;
        rt.AddWindow(PlainWindow(kWindow, p));
        st::WindowUnit* w = rt.Load(kWindow);
        REQUIRE(w);
        CHECK(GetWindow(w->hwnd, GW_OWNER) == rt.MessageWindow());
        DestroyWindow(w->hwnd);
    }
    SUBCASE("the class is RZWindow unless property 31 names one") {
        rt.AddWindow(PlainWindow(kWindow, p));
        p.className = "自己的类";
        rt.AddWindow(PlainWindow(kSecond, p));
        st::WindowUnit* a = rt.Load(kWindow);
        st::WindowUnit* b = rt.Load(kSecond);
        REQUIRE(a);
        REQUIRE(b);
        char name[32];
        GetClassNameA(a->hwnd, name, sizeof name);
        CHECK(std::string(name) == "RZWindow");
        GetClassNameA(b->hwnd, name, sizeof name);
        CHECK(std::string(name) == "自己的类");
        WNDCLASSA wc;
        REQUIRE(GetClassInfoA(GetModuleHandleA(nullptr), "RZWindow", &wc));
        CHECK(wc.style == (CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS));
    }
}

TEST_CASE_FIXTURE(Form,
                  "Common input events: arguments, and answers that drop or change the message") {
    st::UnitBase* ok = rt.Object(kWindow, kOk);
    st::UnitBase* edit = rt.Object(kWindow, kEdit);
    // A left press that reaches the button captures the mouse and pushes it.
    auto pressed = [&] {
        const bool down = GetCapture() == ok->hwnd &&
                          (SendMessageA(ok->hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
        ReleaseCapture();
        return down;
    };
    REQUIRE(ok);
    REQUIRE(edit);

    SUBCASE("a left press on a unit raises -1 with x, y and modifiers") {
        harness::HoldKeys({VK_CONTROL, VK_MENU});
        Post(ok->hwnd, WM_LBUTTONDOWN, 0, MAKELPARAM(7, 9));
        rt.Pump();
        harness::ReleaseKeys();
        REQUIRE(rt.Count(kOk, -1) == 1);
        CHECK(rt.Last(kOk, -1).args == std::vector<uint32_t>{7, 9, 1 + 4});
        CHECK(pressed()); // no handler: the message went on
    }
    SUBCASE("a false answer to -1 drops the click; true lets it through") {
        rt.On(kOk, -1, [](const harness::Event&) { return 0u; });
        Post(ok->hwnd, WM_LBUTTONDOWN, 0, 0);
        rt.Pump();
        CHECK(rt.Count(kOk, -1) == 1);
        CHECK_FALSE(pressed());
        rt.On(kOk, -1, [](const harness::Event&) { return 1u; });
        Post(ok->hwnd, WM_LBUTTONDOWN, 0, 0);
        rt.Pump();
        CHECK(pressed());
    }
    SUBCASE("the window itself is unit 0") {
        Post(w->hwnd, WM_RBUTTONUP, 0, MAKELPARAM(300, 200));
        rt.Pump();
        REQUIRE(rt.Count(0, -5) == 1);
        CHECK(rt.Last(0, -5).window == kWindow);
        CHECK(rt.Last(0, -5).args == std::vector<uint32_t>{300, 200, 0});
    }
    SUBCASE("a right double click raises nothing") {
        size_t before = rt.events.size();
        Post(ok->hwnd, WM_RBUTTONDBLCLK, 0, 0);
        rt.Pump();
        CHECK(rt.events.size() == before);
    }
    SUBCASE("a WM_CHAR handler answering 0x41 turns the character into A; 0 drops it") {
        SetFocus(edit->hwnd);
        rt.On(kEdit, -11, [](const harness::Event& e) -> std::optional<uint32_t> {
            if (e.args[0] == 'q') return 0u;
            return 0x41u;
        });
        Post(edit->hwnd, WM_CHAR, 'b');
        Post(edit->hwnd, WM_CHAR, 'q');
        Post(edit->hwnd, WM_CHAR, 'c');
        rt.Pump();
        CHECK(WindowText(edit->hwnd) == "AA");
    }
    SUBCASE("keys: the keypad folds onto the main keys, a modifier key does not count itself") {
        harness::HoldKeys({VK_SHIFT});
        Post(edit->hwnd, WM_KEYDOWN, VK_NUMPAD7);
        Post(edit->hwnd, WM_KEYUP, VK_DECIMAL);
        Post(edit->hwnd, WM_KEYDOWN, VK_SHIFT);
        rt.Pump();
        harness::ReleaseKeys();
        std::vector<harness::Event> keys;
        for (const harness::Event& e : rt.events)
            if (e.event == -9 || e.event == -10) keys.push_back(e);
        REQUIRE(keys.size() == 3);
        CHECK(keys[0].args == std::vector<uint32_t>{'7', 2});
        CHECK(keys[1].event == -10);
        CHECK(keys[1].args == std::vector<uint32_t>{190, 2});
        CHECK(keys[2].args == std::vector<uint32_t>{VK_SHIFT, 0});
    }
    SUBCASE("wheel steps are whole notches, signed") {
        Post(w->hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-250)));
        rt.Pump();
        REQUIRE(rt.Count(0, -12) == 1);
        CHECK(static_cast<int32_t>(rt.Last(0, -12).args.at(0)) == -2);
    }
    SUBCASE("focus events -7 and -8") {
        SetFocus(ok->hwnd);
        int32_t editBefore = rt.Count(kEdit, -7);
        SetFocus(edit->hwnd);
        CHECK(rt.Count(kOk, -7) == 1);
        CHECK(rt.Count(kOk, -8) == 1);
        CHECK(rt.Count(kEdit, -7) == editBefore + 1);
    }
}

TEST_CASE_FIXTURE(
    Form, "Closing: event 1 may refuse; the last window ends the loop once it was entered") {
    HWND window = w->hwnd;
    MSG quit;

    SUBCASE("Esc closes (property 22); false keeps the window, no answer closes it") {
        rt.SetLoopEntered(true);
        rt.On(0, 1, [](const harness::Event&) { return 0u; });
        Post(rt.Handle(kWindow, kCancel), WM_KEYDOWN, VK_ESCAPE);
        rt.Pump();
        CHECK(rt.Count(0, 1) == 1);
        CHECK(IsWindow(window));
        CHECK_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)); // loop goes on
        CHECK(rt.Count(kCancel, -9) == 0); // the key was consumed

        rt.On(0, 1, [](const harness::Event&) { return std::optional<uint32_t>(); });
        Post(rt.Handle(kWindow, kCancel), WM_KEYDOWN, VK_ESCAPE);
        rt.Pump();
        CHECK_FALSE(IsWindow(window));
        CHECK(rt.Count(0, 2) == 1);
        REQUIRE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        CHECK(quit.wParam == 0);
    }
    SUBCASE("without property 22 Esc is an ordinary key") {
        uint32_t off = 0;
        w->SetProperty(14, &off);
        Post(rt.Handle(kWindow, kCancel), WM_KEYDOWN, VK_ESCAPE);
        rt.Pump();
        CHECK(IsWindow(window));
        CHECK(rt.Count(kCancel, -9) == 1);
    }
    SUBCASE("before the loop was entered no WM_QUIT is posted") {
        SendMessageA(window, WM_CLOSE, 0, 0);
        rt.Pump();
        CHECK_FALSE(IsWindow(window));
        CHECK_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
    SUBCASE("another loaded window keeps the loop running") {
        rt.SetLoopEntered(true);
        REQUIRE(rt.Load(kSecond));
        SendMessageA(window, WM_CLOSE, 0, 0);
        CHECK_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        SendMessageA(rt.Handle(kSecond, 0), WM_CLOSE, 0, 0);
        CHECK(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
    SUBCASE("a session end asks event 1 too") {
        rt.On(0, 1, [](const harness::Event&) { return 0u; });
        CHECK(SendMessageA(window, WM_QUERYENDSESSION, 0, 0) == FALSE);
        rt.On(0, 1, [](const harness::Event&) { return 1u; });
        CHECK(SendMessageA(window, WM_QUERYENDSESSION, 0, 0) == TRUE);
        CHECK(IsWindow(window));
    }
}

TEST_CASE_FIXTURE(Form,
                  "Tab order follows tab-order numbers and skips what cannot take the focus") {
    SetForegroundWindow(w->hwnd);
    SetFocus(rt.Handle(kWindow, kEdit));
    REQUIRE(FocusedUnit() == kEdit);
    // Candidates by number: edit 1, cancel 2, ok 4, check 8, radio 9, radio 10. The label
    // has no tab stop; hidden 3, disabled 5, link 6 and windowless 7 are skipped.
    std::vector<uint32_t> seen;
    for (int i = 0; i < 7; ++i) {
        Post(GetFocus(), WM_KEYDOWN, VK_TAB);
        rt.Pump();
        seen.push_back(FocusedUnit());
    }
    CHECK(seen == std::vector<uint32_t>{kCancel, kOk, kCheck, kRadio1, kRadio2, kEdit, kCancel});
    CHECK(rt.Count(kEdit, -9) == 0); // navigation keys raise no key event

    harness::HoldKeys({VK_SHIFT});
    Post(GetFocus(), WM_KEYDOWN, VK_TAB);
    rt.Pump();
    CHECK(FocusedUnit() == kEdit);
    Post(GetFocus(), WM_KEYDOWN, VK_TAB);
    rt.Pump();
    harness::ReleaseKeys();
    CHECK(FocusedUnit() == kRadio2);
}

TEST_CASE_FIXTURE(Form,
                  "Enter presses the default button, with property 21 only when it has the focus") {
    SetFocus(rt.Handle(kWindow, kCheck));
    Post(GetFocus(), WM_KEYDOWN, VK_RETURN);
    rt.Pump();
    CHECK(rt.Count(kOk, 0) == 1);
    CHECK(rt.Count(kCancel, 0) == 0);

    // Property 21 makes Enter move the focus (the edit box tests see it move
    // and a multi-line box keep the key); on the default button it presses it.
    uint32_t on = 1;
    w->SetProperty(13, &on);
    SetFocus(rt.Handle(kWindow, kOk));
    Post(GetFocus(), WM_KEYDOWN, VK_RETURN);
    rt.Pump();
    CHECK(rt.Count(kOk, 0) == 2);
    CHECK(FocusedUnit() == kOk);
}

TEST_CASE_FIXTURE(Form, "Alt mnemonics and radio arrows") {
    SetFocus(rt.Handle(kWindow, kOk));
    harness::HoldKeys({VK_MENU});
    Post(GetFocus(), WM_SYSKEYDOWN, 'C');
    rt.Pump();
    CHECK(rt.Count(kCancel, 0) == 1); // "取消(&C)"
    Post(GetFocus(), WM_SYSKEYDOWN, 'X');
    rt.Pump();
    CHECK(rt.Count(kCheck, 0) == 1);
    CHECK(SendMessageA(rt.Handle(kWindow, kCheck), BM_GETCHECK, 0, 0) == BST_CHECKED);
    Post(GetFocus(), WM_SYSKEYDOWN, 'N'); // the label hands the focus on by its number 0
    rt.Pump();
    CHECK(FocusedUnit() == kEdit);
    harness::ReleaseKeys();
    Post(GetFocus(), WM_KEYDOWN, 'C'); // without Alt: an ordinary key event
    rt.Pump();
    CHECK(rt.Count(kEdit, -9) == 1);
    CHECK(rt.Count(kCancel, 0) == 1);

    SetFocus(rt.Handle(kWindow, kRadio1));
    Post(GetFocus(), WM_KEYDOWN, VK_DOWN);
    rt.Pump();
    CHECK(FocusedUnit() == kRadio2);
    CHECK(rt.Count(kRadio2, 0) == 1);
    CHECK(SendMessageA(rt.Handle(kWindow, kRadio2), BM_GETCHECK, 0, 0) == BST_CHECKED);
    Post(GetFocus(), WM_KEYDOWN, VK_UP);
    rt.Pump();
    CHECK(SendMessageA(rt.Handle(kWindow, kRadio1), BM_GETCHECK, 0, 0) == BST_CHECKED);
    CHECK(SendMessageA(rt.Handle(kWindow, kRadio2), BM_GETCHECK, 0, 0) == 0);
}

TEST_CASE_FIXTURE(Form, "Activation: event 8 once, then 5 and 6; idle event 7") {
    st::WindowUnit* a = w;
    st::WindowUnit* b = rt.Load(kSecond);
    REQUIRE(b);
    SetActiveWindow(a->hwnd);
    SetActiveWindow(b->hwnd);
    SetActiveWindow(a->hwnd);
    rt.Pump();
    CHECK(rt.Count(0, 8) == 2); // once for each window object
    std::vector<int32_t> order;
    for (const harness::Event& e : rt.events)
        if (e.window == kWindow && e.event >= 5 && e.event <= 8) order.push_back(e.event);
    REQUIRE(order.size() >= 4);
    CHECK(order[0] == 8);
    CHECK(order[1] == 5);
    CHECK(std::count(order.begin(), order.end(), 8) == 1);
    CHECK(std::count(order.begin(), order.end(), 6) >= 1);

    CHECK_FALSE(a->IdleEvent(15)); // no handler
    rt.On(0, 7, [](const harness::Event& e) { return e.args[0] < 100 ? 1u : 0u; });
    CHECK(a->IdleEvent(15));
    CHECK(rt.Last(0, 7).args == std::vector<uint32_t>{15});
    CHECK_FALSE(a->IdleEvent(150));
}

TEST_CASE("Modal state: message 0x8065 re-enables the windows disabled for it") {
    harness::Runtime rt;
    rt.AddWindow(PlainWindow(kWindow));
    rt.AddWindow(PlainWindow(kSecond));
    st::WindowUnit* owner = rt.Load(kWindow);
    st::WindowUnit* modal = rt.Load(kSecond);
    REQUIRE(owner);
    REQUIRE(modal);
    modal->LoadState()->modal = true;
    EnableWindow(owner->hwnd, FALSE);
    modal->LoadState()->disabledForModal.push_back(owner->hwnd);
    SendMessageA(modal->hwnd, st::WM_END_MODAL, 0, 0);
    CHECK(IsWindowEnabled(owner->hwnd));
    CHECK_FALSE(modal->LoadState()->modal);
    CHECK(modal->LoadState()->disabledForModal.empty());
}

TEST_CASE("Tray icon: mouse actions on it raise event 9") {
    harness::Runtime rt;
    rt.AddWindow(PlainWindow(kWindow));
    st::WindowUnit* w = rt.Load(kWindow);
    REQUIRE(w);
    w->SetTrayIcon(CopyIcon(rt.DefaultIcon(false)), "托盘图标的提示文字");
    for (LPARAM action :
         {WM_LBUTTONUP, WM_MOUSEMOVE, WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_CONTEXTMENU})
        SendMessageA(w->hwnd, st::TrayIconMessage, st::TrayIconId, action);
    std::vector<uint32_t> seen;
    for (const harness::Event& e : rt.events)
        if (e.event == 9) seen.push_back(e.args.at(0));
    CHECK(seen == std::vector<uint32_t>{1, 2, 3, 3});
    w->SetTrayIcon(CopyIcon(rt.DefaultIcon(false)), "换一个"); // the old icon is given back
    w->SetTrayIcon(nullptr, nullptr);
}

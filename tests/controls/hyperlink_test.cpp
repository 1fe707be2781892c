// Hyperlink boxes: the class and its cursor, targets, the browser fallback's
// command, hover capture and painting. Every system function a click reaches
// is a recorder here: no test opens a live link.
#include <doctest.h>

#include <cstring>
#include <map>

#include "child_process.h"
#include "controls_windows.h"
#include "st/hyperlink_unit.h"

using namespace controls;

namespace {

struct ShellLog {
    int shellCalls = 0, regOpens = 0, execCalls = 0;
    std::string shellTarget, shellVerb, command;
    INT shellShow = -1;
    uintptr_t shellAnswer = 42; // above 32: success
    UINT execAnswer = 33;
    std::map<std::string, std::string> classes; // key under HKEY_CLASSES_ROOT -> default value
    bool growing = false; // the value grows between the size query and the read
} shellLog;

HINSTANCE WINAPI FakeShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT show) {
    ++shellLog.shellCalls;
    shellLog.shellVerb = verb ? verb : "";
    shellLog.shellTarget = file ? file : "";
    shellLog.shellShow = show;
    return reinterpret_cast<HINSTANCE>(shellLog.shellAnswer);
}

LONG WINAPI FakeRegOpen(HKEY root, LPCSTR name, DWORD, REGSAM, PHKEY key) {
    ++shellLog.regOpens;
    auto it = shellLog.classes.find(name ? name : "");
    if (root != HKEY_CLASSES_ROOT || it == shellLog.classes.end()) return ERROR_FILE_NOT_FOUND;
    *key = reinterpret_cast<HKEY>(&it->second);
    return ERROR_SUCCESS;
}

LONG WINAPI FakeRegQuery(HKEY key, LPCSTR, LPSTR data, PLONG size) {
    const std::string& value = *reinterpret_cast<std::string*>(key);
    const LONG needed = static_cast<LONG>(value.size() + 1);
    if (!data) {
        *size = needed - (shellLog.growing ? 4 : 0);
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, value.c_str(), value.size() + 1);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG WINAPI FakeRegClose(HKEY) {
    return ERROR_SUCCESS;
}

UINT WINAPI FakeWinExec(LPCSTR command, UINT) {
    ++shellLog.execCalls;
    shellLog.command = command;
    return shellLog.execAnswer;
}

// Puts the recorders in place for a test's length.
struct FakeShell {
    st::LinkShell saved = st::LinkOpeningShell();
    FakeShell() {
        shellLog = ShellLog{};
        st::LinkOpeningShell() = {&FakeShellExecute, &FakeRegOpen, &FakeRegQuery, &FakeRegClose,
                                  &FakeWinExec};
    }
    ~FakeShell() { st::LinkOpeningShell() = saved; }
};

st::HyperlinkUnit* Link(uint32_t unit) {
    return dynamic_cast<st::HyperlinkUnit*>(Object(unit));
}

void Click(uint32_t unit) {
    SendMessageA(Handle(unit), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(Handle(unit), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

} // namespace

TEST_CASE("hyperlink boxes: their own class with the program's hand cursor") {
    TestWindow window;
    char name[64] = {};
    GetClassNameA(Handle(WebLink), name, sizeof name);
    CHECK(std::string(name) == st::kHyperlinkClass);
    HCURSOR hand = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1032));
    REQUIRE(hand);
    CHECK(reinterpret_cast<HCURSOR>(GetClassLongPtrA(Handle(WebLink), GCLP_HCURSOR)) == hand);
    ICONINFO info{};
    REQUIRE(GetIconInfo(hand, &info));
    CHECK(!info.fIcon);
    CHECK(info.xHotspot == 13);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
}

TEST_CASE("link targets: schemes, mail addresses and empty addresses") {
    st::HyperlinkProperties p;
    p.kind = 1;
    p.web = "www.x.com";
    CHECK(st::LinkTarget(p) == "http://www.x.com");
    p.web = "https://x.com/a?b=1";
    CHECK(st::LinkTarget(p) == "https://x.com/a?b=1");
    p.web = "localhost:8925/readme.html"; // host and port, no scheme
    CHECK(st::LinkTarget(p) == "http://localhost:8925/readme.html");
    p.web = "127.0.0.1:8925/readme.html";
    CHECK(st::LinkTarget(p) == "http://127.0.0.1:8925/readme.html");
    p.web = "C:\\docs\\page.htm"; // a path says what it is
    CHECK(st::LinkTarget(p) == "C:\\docs\\page.htm");
    p.web.clear();
    CHECK(st::LinkTarget(p).empty());
    p.kind = 0;
    p.email = "a@b.c";
    CHECK(st::LinkTarget(p) == "mailto:a@b.c");
}

TEST_CASE("the browser's command: cut at the placeholder, the target quoted, unsafe targets "
          "refused") {
    const std::string t = "http://x.com/";
    CHECK(st::BrowserCommand("\"C:\\b\\b.exe\" \"%1\"", t) == "\"C:\\b\\b.exe\" \"http://x.com/\"");
    CHECK(st::BrowserCommand("\"C:\\b\\b.exe\" -url \"%1\" -new", t) ==
          "\"C:\\b\\b.exe\" -url \"http://x.com/\"");
    CHECK(st::BrowserCommand("b.exe %1", t) == "b.exe \"http://x.com/\"");
    CHECK(st::BrowserCommand("b.exe", t) == "b.exe \"http://x.com/\"");
    CHECK(st::BrowserCommand("\"C:\\浏览器\\b.exe\" \"%1\"", t) ==
          "\"C:\\浏览器\\b.exe\" \"http://x.com/\"");
    CHECK(!st::BrowserCommand("", t));
    CHECK(!st::BrowserCommand("\"%1\"", t)); // nothing left to run
    CHECK(!st::BrowserCommand("b.exe %1", "http://x.com/\" & del *"));
    CHECK(!st::BrowserCommand("b.exe %1", "http://x.com/\r\nx"));
    CHECK(!st::BrowserCommand("b.exe %1", std::string("http://x.com/\x01", 14)));
}

TEST_CASE("clicking opens the target through the shell and marks the link opened") {
    TestWindow window;
    FakeShell shell;
    Click(WebLink);
    CHECK(shellLog.shellCalls == 1);
    CHECK(shellLog.shellVerb == "open");
    CHECK(shellLog.shellTarget == std::string("http://") + kWebAddress);
    CHECK(shellLog.shellShow == SW_SHOW);
    CHECK(shellLog.regOpens == 0);
    CHECK(Link(WebLink)->Opened());

    // E-mail kind without an address: nothing is called, the mark goes.
    Click(EmptyLink);
    CHECK(shellLog.shellCalls == 1);
    CHECK(!Link(EmptyLink)->Opened());
}

TEST_CASE("when the shell fails the registered browser opens the link") {
    TestWindow window;
    FakeShell shell;
    shellLog.shellAnswer = 2; // file not found
    shellLog.classes[".htm"] = "htmlfile";
    shellLog.classes["htmlfile\\shell\\open\\command"] = "\"C:\\web\\b.exe\" -nohome \"%1\"";
    Click(WebLink);
    CHECK(shellLog.execCalls == 1);
    CHECK(shellLog.command ==
          std::string("\"C:\\web\\b.exe\" -nohome \"http://") + kWebAddress + "\"");
    CHECK(Link(WebLink)->Opened());

    SUBCASE("a run that fails leaves the link unopened") {
        shellLog.execAnswer = 2;
        Click(WebLink);
        CHECK(!Link(WebLink)->Opened());
    }
    SUBCASE("a value that grew between the two reads is a failure") {
        shellLog.growing = true;
        shellLog.execCalls = 0;
        Click(WebLink);
        CHECK(shellLog.execCalls == 0);
        CHECK(!Link(WebLink)->Opened());
    }
    SUBCASE("no class for web pages: nothing runs") {
        shellLog.classes.erase(".htm");
        shellLog.execCalls = 0;
        Click(WebLink);
        CHECK(shellLog.execCalls == 0);
        CHECK(!Link(WebLink)->Opened());
    }
}

TEST_CASE("hover: capture while the mouse is over the box, released when it leaves") {
    TestWindow window;
    HWND link = Handle(WebLink);
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    CHECK(Link(WebLink)->Hovering());
    CHECK(GetCapture() == link);
    ReleaseCapture(); // someone else took the capture: the next move inside takes it back
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(12, 10));
    CHECK(Link(WebLink)->Hovering());
    CHECK(GetCapture() == link);
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(-5 & 0xFFFF, 10)); // left of the box
    CHECK(!Link(WebLink)->Hovering());
    CHECK(GetCapture() != link);

    // A press beside the box that still reaches it through the capture
    // opens nothing and ends the hover.
    FakeShell shell;
    SendMessageA(link, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    REQUIRE(GetCapture() == link);
    SendMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-5 & 0xFFFF, 10));
    CHECK(shellLog.shellCalls == 0);
    CHECK(!Link(WebLink)->Opened());
    CHECK(!Link(WebLink)->Hovering());
    CHECK(GetCapture() != link);
}

TEST_CASE("hyperlink boxes: painting validates the box; properties are stored and clamped") {
    TestWindow window;
    HWND link = Handle(EmptyLink); // no caption: it shows its address
    InvalidateRect(link, nullptr, TRUE);
    UpdateWindow(link);
    CHECK(!GetUpdateRect(link, nullptr, FALSE));
    MSG msg;
    CHECK(!PeekMessageA(&msg, link, WM_PAINT, WM_PAINT, PM_NOREMOVE));

    Set(EmptyLink, 9, 4); // link kind 0-1
    CHECK(Get(EmptyLink, 9) == 1);
    Set(EmptyLink, 16, 9); // border 0-5
    CHECK(Get(EmptyLink, 16) == 5);
    CHECK((GetWindowLongA(link, GWL_STYLE) & WS_BORDER));
    Set(EmptyLink, 16, 1);
    CHECK((GetWindowLongA(link, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
    CHECK(!(GetWindowLongA(link, GWL_STYLE) & WS_BORDER));
    SetText(EmptyLink, 8, "说明");
    CHECK(testing::WindowText(link) == "说明");
    CHECK(GetText(WebLink, 11) == kWebAddress);
    CHECK(Get(WebLink, 12) == 0xFF0000);
    // No font stored: none kept (reading it answers the runtime's default font).
    CHECK(Link(WebLink)->props.font.empty());
}

// The tool's window as a person meets it, driven from outside by uidriver.exe
// on the real SpeechTool.exe: how it opens, a picture of it, the focus order,
// typing, the check box beside the link's words, and Esc ending the program.
#include <doctest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "driver_run.h"

namespace {

const char kCaption[] = "普通话语音合成工具 - 输入文字即可生成MP3音频";
constexpr unsigned kStartBound = 120000; // a fresh Wine start on a loaded machine is slow
constexpr int kWidth = 559, kHeight = 261;

// Control ids: the loader numbers the units from the last record up.
const char kText[] = "100";
const char kSynthesize[] = "110";
const char kPlay[] = "120";
const char kSaveAs[] = "130";
const char kAutoSave[] = "140";
const char kLink[] = "160";

// The edit box's text as stored: one line, runs of spaces wrap it.
std::string UsageNotes() {
    return std::string("这是一个比较神奇的东西,可以直接输入文本然后点生成就可以将文本转换成普通话"
                       "音频!支持数字、字母、汉字的混合输入。说明：") +
           std::string(49, ' ') + "1、输入文本" + std::string(43, ' ') + "2、点击“语音合成”按钮" +
           std::string(32, ' ') + "3、点击“播放”按钮试听。" + std::string(29, ' ') +
           "所生成音频文件自动保存在程序目录中，也可以另存为。" + std::string(14, ' ') +
           "注意，不要输入换行，换行后不支持！";
}

} // namespace

TEST_CASE("SpeechTool.exe: its window as it opens, focus, typing, the check box, Esc") {
    // Clicking the link opens its address: under Wine that goes to the
    // desktop's browser, which is given none here, so nothing starts.
    e2e::WineSetting noBrowser("WineBrowser", "Browsers", "");
    // Without a window manager (Xvfb) nobody would draw the caption and the
    // frame; Wine draws them itself, as Windows does, for the screenshot.
    e2e::WineSetting ownFrame("X11 Driver", "Decorated", "N");
    e2e::Program tool("..\\..\\app\\SpeechTool.exe");
    REQUIRE(tool.started());
    const std::string cap = kCaption;
    // The exact caption finds it.
    e2e::DriverResult r = e2e::Driver({"wait-window", cap, "--timeout", "100000"}, kStartBound);
    CAPTURE(r.out);
    REQUIRE(r.code == 0);

    // Centred on the screen in its stored outer size.
    const RECT window = e2e::Numbers(r.out, "rect=");
    const RECT screen = e2e::Numbers(r.out, "screen=");
    CHECK(window.right == kWidth);
    CHECK(window.bottom == kHeight);
    CHECK(window.left == (screen.left - kWidth) / 2);
    CHECK(window.top == (screen.top - kHeight) / 2);

    // As it opens: synthesis enabled, play and save-as not, the box checked,
    // the link's words, the usage notes; the first focus on the check box
    // (the first live tab stop in record order).
    r = e2e::Driver({"list", cap});
    CAPTURE(r.out);
    CHECK(r.Has("id=110 class=Button enabled=1 visible=1 checked=- rect=87,194,80,30 "
                "text=\"语音合成\""));
    CHECK(r.Has("id=120 class=Button enabled=0 visible=1 checked=- rect=205,194,80,30 "
                "text=\"播放\""));
    CHECK(r.Has("id=130 class=Button enabled=0 visible=1 checked=- rect=320,194,80,30 "
                "text=\"另存为\""));
    CHECK(r.Has("id=140 class=Button enabled=1 visible=1 checked=1 rect=424,200,120,16 text=\"\""));
    CHECK(r.Has("id=160 "));
    CHECK(r.Has("visible=1 checked=- rect=445,195,96,24 text=\"自动保存音频文件\""));
    CHECK(e2e::Driver({"text", cap, kText}).out == "ok text \"" + UsageNotes() + "\"\n");
    CHECK(e2e::Driver({"wait", cap, kAutoSave, "focused=1"}).code == 0);

    // A picture of it, kept in the build tree for people to look at.
    const std::string picture = e2e::Here() + "speechtool_window.png";
    DeleteFileA(picture.c_str());
    CHECK(e2e::Driver({"screenshot", cap, picture}).code == 0);
    const std::string png = e2e::ReadFileBytes(picture);
    REQUIRE(png.size() > 24);
    CHECK(png.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0);
    CHECK(e2e::BigEndian(png, 16) == static_cast<uint32_t>(kWidth));
    CHECK(e2e::BigEndian(png, 20) == static_cast<uint32_t>(kHeight));

    // Tab and Shift+Tab: check box, synthesis, edit box, round again (play
    // and save-as are disabled, the link is no tab stop).
    r = e2e::Driver({"key", cap, "Tab",       "+", "wait", cap, kSynthesize, "focused=1", "+",
                     "key", cap, "Tab",       "+", "wait", cap, kText,       "focused=1", "+",
                     "key", cap, "Tab",       "+", "wait", cap, kAutoSave,   "focused=1", "+",
                     "key", cap, "Shift+Tab", "+", "wait", cap, kText,       "focused=1", "+",
                     "key", cap, "Shift+Tab", "+", "wait", cap, kSynthesize, "focused=1", "+",
                     "key", cap, "Shift+Tab", "+", "wait", cap, kAutoSave,   "focused=1"});
    CAPTURE(r.out);
    CHECK(r.code == 0);

    // Typing into the edit box disables play and save-as again (the driver
    // enables them first, as a synthesis would).
    r = e2e::Driver({"set-enabled", cap,     kPlay,  "1",        "+",     "set-enabled",
                     cap,           kSaveAs, "1",    "+",        "click", cap,
                     kText,         "+",     "wait", cap,        kText,   "focused=1",
                     "+",           "key",   cap,    "Ctrl+End", "+",     "type",
                     cap,           "你好",  "+",    "wait",     cap,     kPlay,
                     "enabled=0",   "+",     "wait", cap,        kSaveAs, "enabled=0"});
    CAPTURE(r.out);
    CHECK(r.code == 0);
    r = e2e::Driver({"text", cap, kText});
    CHECK(r.out == "ok text \"" + UsageNotes() + "你好\"\n");

    // The link's words do not toggle the check box; its square does. Clicks
    // are handled in order: once the square's click is seen, so was the one
    // on the words, and had that toggled the box, the square would have put
    // it back.
    r = e2e::Driver({"click", cap, kLink, "+", "click", cap, kAutoSave, "--at", "7,8", "+", "wait",
                     cap, kAutoSave, "checked=0", "--stable", "1500"});
    CAPTURE(r.out);
    CHECK(r.code == 0);

    // Esc closes the window, and that ends the program well.
    r = e2e::Driver({"key", cap, "Esc", "+", "wait-gone", cap});
    CAPTURE(r.out);
    CHECK(r.code == 0);
    CHECK(tool.ExitCode(60000) == 0);
}

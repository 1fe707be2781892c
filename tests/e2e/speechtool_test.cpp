// SpeechTool.exe as a person meets it, driven from outside by uidriver.exe:
// the window as it opens, typing, the check box beside the link, the focus
// order, Save As through the system's dialog, and Esc ending the program.
#include <doctest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "driver_run.h"

namespace {

const char kCaption[] = "普通话语音合成工具 - 输入文字即可生成MP3音频";
constexpr unsigned kStartBound = 120000; // a fresh Wine start in an emulated machine is slow

// Control ids: the loader numbers units from the last record up.
const char kText[] = "100";
const char kSynthesize[] = "110";
const char kPlay[] = "120";
const char kSaveAs[] = "130";
const char kAutoSave[] = "140";
const char kLink[] = "160";

std::string Here() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    return p.substr(0, p.rfind('\\') + 1);
}

// The running tool; killed if a case leaves it behind.
class Tool {
  public:
    Tool() {
        std::string command(1, '"');
        command += Here();
        command += "..\\..\\app\\SpeechTool.exe\"";
        STARTUPINFOA start{};
        start.cb = sizeof start;
        started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &start, &info_);
    }
    ~Tool() {
        if (!started_) return;
        if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0)
            TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
    bool started() const { return started_; }
    // The exit code once it ended within the bound; -1 otherwise.
    long ExitCode(DWORD boundMs) const {
        DWORD code = 0;
        if (WaitForSingleObject(info_.hProcess, boundMs) != WAIT_OBJECT_0) return -1;
        GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<long>(code);
    }

  private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

// The edit box's text as stored: one line, runs of spaces wrap it.
std::string UsageNotes() {
    return std::string(
               "这是一个比较神奇的东西,可以直接输入文本然后点生成就可以将文本转换成普通话音频!"
               "支持数字、"
               "字母、汉字的混合输入。说明：") +
           std::string(49, ' ') + "1、输入文本" + std::string(43, ' ') + "2、点击“语音合成”按钮" +
           std::string(32, ' ') + "3、点击“播放”按钮试听。" + std::string(29, ' ') +
           "所生成音频文件自动保存在程序目录中，也可以另存为。" + std::string(14, ' ') +
           "注意，不要输入换行，换行后不支持！";
}

// "l,t,w,h" after key.
RECT Rect(const std::string& out, const char* key) {
    RECT r{-1, -1, -1, -1};
    size_t at = out.find(key);
    if (at != std::string::npos)
        std::sscanf(out.c_str() + at + std::strlen(key), "%ld,%ld,%ld,%ld", &r.left, &r.top,
                    &r.right, &r.bottom);
    return r;
}

} // namespace

TEST_CASE("SpeechTool.exe: the main window, typing, focus, the check box and Save As") {
    Tool tool;
    REQUIRE(tool.started());
    const std::string cap = kCaption;
    e2e::DriverResult r = e2e::Driver({"wait-window", cap, "--timeout", "100000"}, kStartBound);
    REQUIRE(r.code == 0);

    // Centred on the screen in its stored outer size.
    RECT window = Rect(r.out, "rect=");
    RECT screen = Rect(r.out, "screen=");
    CHECK(window.right == 559);
    CHECK(window.bottom == 261);
    CHECK(window.left == (screen.left - 559) / 2);
    CHECK(window.top == (screen.top - 261) / 2);

    // As it opens: buttons, check box, link words, the usage notes.
    r = e2e::Driver({"list", cap});
    CAPTURE(r.out);
    CHECK(r.Has("id=110 class=Button enabled=1 visible=1 checked=- rect=87,194,80,30 "
                "text=\"语音合成\""));
    CHECK(r.Has("id=120 class=Button enabled=0 visible=1 checked=- rect=205,194,80,30 "
                "text=\"播放\""));
    CHECK(r.Has("id=130 class=Button enabled=0 visible=1 checked=- rect=320,194,80,30 "
                "text=\"另存为\""));
    CHECK(r.Has("id=140 class=Button enabled=1 visible=1 checked=1 rect=424,200,120,16"));
    CHECK(r.Has("id=160 "));
    CHECK(r.Has("rect=445,195,96,24 text=\"自动保存音频文件\""));
    CHECK(e2e::Driver({"text", cap, kText}).out == "ok text \"" + UsageNotes() + "\"\n");

    // A picture of it, kept in the build tree.
    const std::string picture = Here() + "speechtool_main_window.png";
    CHECK(e2e::Driver({"screenshot", cap, picture}).code == 0);

    {
        // Focus: first to the check box, then Tab and Shift+Tab in record order.
        CHECK(e2e::Driver({"wait", cap, kAutoSave, "focused=1"}).code == 0);
        r = e2e::Driver({"key", cap, "Tab",       "+", "wait", cap, kSynthesize, "focused=1", "+",
                         "key", cap, "Tab",       "+", "wait", cap, kText,       "focused=1", "+",
                         "key", cap, "Tab",       "+", "wait", cap, kAutoSave,   "focused=1", "+",
                         "key", cap, "Shift+Tab", "+", "wait", cap, kText,       "focused=1", "+",
                         "key", cap, "Shift+Tab", "+", "wait", cap, kSynthesize, "focused=1"});
        CAPTURE(r.out);
        CHECK(r.code == 0);
    }

    {
        // Typing disables Play and Save As again.
        r = e2e::Driver({"set-enabled", cap, kPlay,   "1",         "+",   "set-enabled", cap,
                         kSaveAs,       "1", "+",     "click",     cap,   kText,         "+",
                         "wait",        cap, kText,   "focused=1", "+",   "type",        cap,
                         "你好",        "+", "wait",  cap,         kPlay, "enabled=0",   "+",
                         "wait",        cap, kSaveAs, "enabled=0"});
        CAPTURE(r.out);
        CHECK(r.code == 0);
        CHECK(e2e::Driver({"text", cap, kText}).Has("你好"));
    }

    {
        // The link's words do not toggle the check box; its square does.
        // Clicks are handled in order: once the square's click has been
        // handled, so has the one on the words; had that toggled the box,
        // the square would have put it back.
        r = e2e::Driver({"click", cap, kLink, "+", "click", cap, kAutoSave, "--at", "7,8", "+",
                         "wait", cap, kAutoSave, "checked=0", "--stable", "1500"});
        CAPTURE(r.out);
        CHECK(r.code == 0);
    }

    {
        // Save As through the system's dialog, then cancelled.
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        const std::string saved = std::string(temp) + "另存为测试.mp3";
        const std::string cancelled = std::string(temp) + "取消测试.mp3";
        DeleteFileA(saved.c_str());
        DeleteFileA(cancelled.c_str());

        r = e2e::Driver({"set-enabled", cap, kSaveAs, "1", "+", "click", cap, kSaveAs, "+",
                         "file-dialog", saved, "+", "msgbox", "信息：", "--press", "1"});
        CAPTURE(r.out);
        CHECK(r.code == 0);
        CHECK(r.Has("ok msgbox caption=\"信息：\" text=\"文件保存成功！\""));
        // No synthesis yet: the held audio is empty, and so is the file.
        CHECK(GetFileAttributesA(saved.c_str()) != INVALID_FILE_ATTRIBUTES);
        CHECK(e2e::ReadFileBytes(saved).empty());

        r = e2e::Driver({"wait-gone", "信息：", "+", "click", cap, kSaveAs, "+", "file-dialog",
                         cancelled, "--cancel"});
        CHECK(r.code == 0);
        CHECK(e2e::Driver({"msgbox", "信息：", "--timeout", "3000"}).code == 1);
        CHECK(GetFileAttributesA(cancelled.c_str()) == INVALID_FILE_ATTRIBUTES);
        DeleteFileA(saved.c_str());
    }

    // Esc closes the window, and that ends the program.
    r = e2e::Driver({"key", cap, "Esc", "+", "wait-gone", cap});
    CAPTURE(r.out);
    CHECK(r.code == 0);
    CHECK(tool.ExitCode(60000) == 0);
}

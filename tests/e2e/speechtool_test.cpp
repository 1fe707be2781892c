// SpeechTool.exe as a person uses it, driven from outside by uidriver.exe:
// the window as it opens (layout, focus order, the check box beside the
// link's words), the whole job against the real local speech service
// (synthesis, the sound the device was given, Save As, an edit, Esc), 播放
// pressed again while the sound plays, what must change nothing when the
// service misbehaves (a scripted server stands in for the faulty answers),
// and closing the window while an answer stalls. The tool runs as a copy in a
// folder of its own, so its 音频文件 and SpeechTool.ini are the test's alone;
// one start of it serves the cases in turn until one ends it.
#include <doctest.h>

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "driver_run.h"
#include "scripted_server.h"

namespace {

using scripted::Answer;
using scripted::AnswerEach;
using scripted::Port;
using scripted::Reply;
using scripted::Script;

const char kCaption[] = "普通话语音合成工具 - 输入文字即可生成MP3音频";
constexpr unsigned kStartBound = 120000;     // a fresh Wine start in an emulated machine is slow
constexpr unsigned kSynthesisBound = 180000; // eSpeak and an emulated machine can both be slow
const char kAudioFolder[] = "\\音频文件";
constexpr int kWidth = 559, kHeight = 261;

// Control ids: the loader numbers units from the last record up.
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

// The tool's folder: a fresh copy of the built SpeechTool.exe, its
// SpeechTool.ini and its 音频文件, nothing else.
std::string ToolFolder() {
    return e2e::ProgramFolder() + "tool";
}
bool CopyTool() {
    static const bool copied = [] {
        CreateDirectoryA(ToolFolder().c_str(), nullptr);
        return CopyFileA((e2e::ProgramFolder() + "..\\..\\app\\SpeechTool.exe").c_str(),
                         (ToolFolder() + "\\SpeechTool.exe").c_str(), FALSE) != FALSE;
    }();
    return copied;
}

int Requests() {
    return static_cast<int>(scripted::Received().size());
}

// A service page naming address as the MP3.
std::string PageFor(const std::string& address) {
    return "<html><embed pluginspage='/Products/MediaPlayer/' src='" + address +
           "' width='0' height='0' autostart='true'></html>";
}

// Points the tool at host:port through the settings file beside it.
void UseService(int port) {
    CreateDirectoryA(ToolFolder().c_str(), nullptr);
    std::ofstream ini(ToolFolder() + "\\SpeechTool.ini", std::ios::binary | std::ios::trunc);
    ini << "[service]\r\nhost=127.0.0.1\r\nport=" << port << "\r\n";
    ini.close();
    REQUIRE_MESSAGE(ini.good(), "the settings file could not be written");
}

using e2e::FilesIn;

void EmptyAudioFolder() {
    const std::string folder = ToolFolder() + kAudioFolder;
    for (const std::string& name : FilesIn(folder))
        DeleteFileA((folder + "\\" + name).c_str());
    RemoveDirectoryA(folder.c_str());
    DeleteFileA(folder.c_str());
}

// The request's query value as the service must receive it: double-byte
// characters as percent-escaped UTF-8, single bytes as they are.
std::string QueryFor(const std::string& gbk) {
    std::string out;
    for (size_t i = 0; i < gbk.size(); ++i) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x80 || i + 1 == gbk.size()) {
            out += gbk[i];
            continue;
        }
        wchar_t w = 0;
        MultiByteToWideChar(936, 0, gbk.data() + i, 2, &w, 1);
        char utf8[4];
        const int n = WideCharToMultiByte(CP_UTF8, 0, &w, 1, utf8, sizeof utf8, nullptr, nullptr);
        for (int k = 0; k < n; ++k) {
            char esc[4];
            std::snprintf(esc, sizeof esc, "%%%02X", static_cast<unsigned char>(utf8[k]));
            out += esc;
        }
        ++i;
    }
    return out;
}

// A whole body over HTTP, fetched by the test itself.
std::string Fetch(const std::string& address) {
    std::string body;
    HINTERNET net = InternetOpenA("e2e", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET url = net ? InternetOpenUrlA(net, address.c_str(), nullptr, 0,
                                           INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                        : nullptr;
    char buffer[16384];
    DWORD got = 0;
    while (url && InternetReadFile(url, buffer, sizeof buffer, &got) && got)
        body.append(buffer, got);
    if (url) InternetCloseHandle(url);
    if (net) InternetCloseHandle(net);
    return body;
}

// The MP3 address the speech service's page names for text.
std::string ServiceMp3Address(const std::string& text) {
    const std::string page =
        Fetch("http://127.0.0.1:" + std::to_string(Port("service")) +
              "/bin/makeColorPlusGuest.jsp?sex=201&speed=0&ment=" + QueryFor(text));
    const std::string left = "Products/MediaPlayer/' src='";
    const size_t at = page.find(left);
    if (at == std::string::npos) return {};
    const size_t from = at + left.size();
    return page.substr(from, page.find('\'', from) - from);
}

// What the speech service answers for text: the MP3 its page names.
std::string ServiceMp3(const std::string& text) {
    const std::string address = ServiceMp3Address(text);
    return address.empty() ? std::string() : Fetch(address);
}

// An ID3 tag or an MPEG audio frame's sync word.
bool StartsLikeMp3(const std::string& bytes) {
    return bytes.rfind("ID3", 0) == 0 ||
           (bytes.size() > 1 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            (static_cast<unsigned char>(bytes[1]) & 0xE0) == 0xE0);
}

// Runs a program beside the tool's build and waits for it; its exit code.
int RunProgram(const std::string& commandLine) {
    std::string command = commandLine;
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &start, &info))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(info.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(info.hProcess, &code);
    else
        TerminateProcess(info.hProcess, 99);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return static_cast<int>(code);
}

// What mp3decode makes of the file: the samples the device is to be given.
std::string Decoded(const std::string& mp3Path) {
    const std::string reference = e2e::ProgramFolder() + "reference.raw";
    DeleteFileA(reference.c_str());
    std::string decode(1, '"');
    decode += e2e::ProgramFolder();
    decode += "..\\..\\tools\\mp3decode\\mp3decode.exe\" \"";
    decode += mp3Path + "\" \"" + reference + "\"";
    REQUIRE(RunProgram(decode) == 0);
    return e2e::ReadFileBytes(reference);
}

// ALSA's file plugin writes what the device is given to captured.raw (see
// CMakeLists), and each further opening of the device to captured.raw.0001,
// .0002, ...: the captures come in the order the device was opened.
std::string CaptureFolder() {
    std::string p = "Z:" E2E_CAPTURE_FILE;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p.substr(0, p.rfind('\\'));
}
std::string CapturePattern() {
    const std::string p = E2E_CAPTURE_FILE;
    return p.substr(p.rfind('/') + 1) + "*";
}
std::vector<std::string> Captures() {
    std::vector<std::string> out;
    for (const std::string& name : FilesIn(CaptureFolder(), CapturePattern()))
        out.push_back(e2e::ReadFileBytes(CaptureFolder() + "\\" + name));
    return out;
}
void ClearCaptures() {
    for (const std::string& name : FilesIn(CaptureFolder(), CapturePattern()))
        DeleteFileA((CaptureFolder() + "\\" + name).c_str());
}
// Waits until the capture of the device's opening number index (from 0)
// holds at least bytes; all captures then, after settleMs for the last
// writes.
std::vector<std::string> CapturesOnce(size_t index, size_t bytes, DWORD settleMs = 500) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 120000; Sleep(100)) {
        const std::vector<std::string> all = Captures();
        if (all.size() > index && all[index].size() >= bytes) break;
    }
    Sleep(settleMs);
    return Captures();
}

// The device was given exactly the decoded samples, in order, then only the
// silence Wine pads the last period with. Silence the device put in while it
// ran dry (Wine's mixer starved on a busy machine) is no fault of the tool's
// and is passed over, up to a tenth of the sound: want must be got with only
// zero bytes taken out. (Exactly what the tool hands the device, underruns
// or not, is checked with the test device in the player's chain test.)
bool PlayedAsDecoded(const std::string& got, const std::string& want) {
    size_t i = 0, inserted = 0;
    for (size_t j = 0; j < want.size(); ++i) {
        if (i == got.size()) return false;
        if (got[i] == want[j])
            ++j;
        else if (got[i] == '\0')
            ++inserted;
        else
            return false;
    }
    if (inserted > 0) MESSAGE("the device ran dry: " << inserted << " bytes of silence put in");
    return !want.empty() && inserted <= want.size() / 10 &&
           got.find_first_not_of('\0', i) == std::string::npos;
}

// Types text over the whole content of the edit box, as a person would
// (click in, select everything, type), and waits until it is there.
e2e::DriverResult TypeOver(const std::string& text) {
    const std::string cap = kCaption;
    return e2e::Chain({{"click", cap, kText},
                       {"wait", cap, kText, "focused=1"},
                       {"key", cap, "Ctrl+End", "Ctrl+Shift+Home"},
                       {"type", cap, text},
                       {"wait", cap, kText, "text=" + text, "--timeout", "120000"},
                       {"wait", cap, kPlay, "enabled=0"},
                       {"wait", cap, kSaveAs, "enabled=0"}});
}

// Presses 语音合成 and waits for Play and Save As.
e2e::DriverResult Synthesize() {
    const std::string cap = kCaption;
    const std::string bound = std::to_string(kSynthesisBound);
    return e2e::Chain({{"click", cap, kSynthesize},
                       {"wait", cap, kPlay, "enabled=1", "--timeout", bound},
                       {"wait", cap, kSaveAs, "enabled=1"}},
                      kSynthesisBound + 60000);
}

// Play and Save As as they are now, held for a while: "enabled=1" twice or
// "enabled=0" twice.
bool ButtonsStay(const char* state, unsigned ms = 1500) {
    const std::string cap = kCaption;
    const std::string stable = std::to_string(ms);
    return e2e::Chain(
               {{"wait", cap, kPlay, state, "--stable", stable}, {"wait", cap, kSaveAs, state}})
               .code == 0;
}

// Waits until the scripted server has seen count requests.
bool WaitForRequests(int count, unsigned boundMs = 60000) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < boundMs; Sleep(100))
        if (Requests() >= count) return true;
    return Requests() >= count;
}

// Presses 语音合成 until the scripted server sees a request: the tool takes
// a press only once the synthesis before it has ended, so a press taken
// tells that one ended. A press that lands while one still runs is ignored.
bool PressUntilTaken() {
    const std::string cap = kCaption;
    for (DWORD start = GetTickCount(); GetTickCount() - start < kSynthesisBound;) {
        if (e2e::Driver({"click", cap, kSynthesize}).code != 0) return false;
        if (WaitForRequests(1, 3000)) return true;
    }
    return false;
}

std::string SaveThroughDialog(const std::string& name) {
    const std::string cap = kCaption;
    DeleteFileA(name.c_str());
    return e2e::Chain({{"click", cap, kSaveAs},
                       {"file-dialog", name},
                       {"msgbox", "信息：", "--press", "1"}})
        .out;
}

// Clicks the close box in the window's caption with the real mouse, as a
// person would; the window is asked where its close box is (which it answers
// only while it keeps going). False when it does not answer or has none.
bool ClickCloseBox(const char* caption) {
    HWND window = FindWindowA(nullptr, caption);
    if (!window) return false;
    RECT r;
    GetWindowRect(window, &r);
    POINT at{-1, -1};
    for (LONG y = r.top + 2; y < r.top + 40 && at.x < 0; y += 3)
        for (LONG x = r.right - 3; x > r.right - 100; x -= 3) {
            DWORD_PTR hit = 0;
            if (!SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG,
                                     5000, &hit))
                return false;
            if (hit == HTCLOSE) {
                at = {x, y};
                break;
            }
        }
    if (at.x < 0) return false;
    SetForegroundWindow(window);
    SetCursorPos(at.x, at.y);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    return SendInput(2, click, sizeof(INPUT)) == 2;
}

// The tool, shared by the cases: started by the first that finds it not
// running, left running for the next one.
std::optional<e2e::Program> tool;
bool toolUntouched = false; // started and not yet handed to a case

// Each case: the tool's folder with no 音频文件, the settings pointing at
// the local speech service, and the tool running with its window up. Wine
// draws the window's frame itself (no window manager on a virtual display),
// so the close box is there to click and a screenshot shows the whole window.
class ToolOnService {
  protected:
    ToolOnService() {
        REQUIRE_MESSAGE(service != 0,
                        "the speech service did not start (see web_server/server.log)");
        EmptyAudioFolder();
        UseService(service);
        if (!tool || tool->ExitCode(0) != -1) StartTool();
        fresh = toolUntouched;
        toolUntouched = false;
    }

    // Starts the tool (again, once it has ended) and waits for its window.
    void StartTool() {
        REQUIRE(CopyTool());
        tool.reset();
        tool.emplace("tool\\SpeechTool.exe");
        REQUIRE(tool->started());
        opened = e2e::Driver({"wait-window", cap, "--timeout", "100000"}, kStartBound);
        REQUIRE(opened.code == 0);
        toolUntouched = true;
    }

    // Esc ends the program, with exit code 0.
    void EndTool() {
        CHECK(e2e::Chain({{"key", cap, "Esc"}, {"wait-gone", cap}}).code == 0);
        CHECK(tool->ExitCode(60000) == 0);
    }

    // Types TEXT over the box's content, presses 语音合成 and waits for Play
    // and Save As: the name of the one MP3 that appeared in 音频文件.
    std::string SynthesizeOne(const std::string& text) {
        e2e::DriverResult r = TypeOver(text);
        CAPTURE(r.out);
        REQUIRE(r.code == 0);
        r = Synthesize();
        CAPTURE(r.out);
        REQUIRE(r.code == 0);
        const std::vector<std::string> files = FilesIn(folder);
        REQUIRE(files.size() == 1);
        return files[0];
    }

    e2e::WineSetting ownFrame{"X11 Driver", "Decorated", "N"};
    const int service = Port("service");
    const std::string cap = kCaption;
    const std::string folder = ToolFolder() + kAudioFolder;
    e2e::DriverResult opened; // wait-window's answer when this case started the tool
    bool fresh = false;       // this case is the first to use the tool since its start
};

} // namespace

TEST_CASE_FIXTURE(ToolOnService,
                  "As it opens: centred, its controls, the first focus, a picture; Tab order; "
                  "the check box beside the link's words") {
    if (!fresh) {
        EndTool();
        StartTool();
    }
    // Clicking the link opens its address: under Wine that goes to the
    // desktop's browser, which is given none here, so nothing starts.
    e2e::WineSetting noBrowser("WineBrowser", "Browsers", "");

    // Centred on the screen in its stored outer size.
    CAPTURE(opened.out);
    const RECT window = e2e::Numbers(opened.out, "rect=");
    const RECT screen = e2e::Numbers(opened.out, "screen=");
    CHECK(window.right == kWidth);
    CHECK(window.bottom == kHeight);
    CHECK(window.left == (screen.left - kWidth) / 2);
    CHECK(window.top == (screen.top - kHeight) / 2);

    // As it opens: synthesis enabled, play and save-as not, the box checked,
    // the link's words, the usage notes; the first focus on the check box
    // (the first live tab stop in record order).
    e2e::DriverResult r = e2e::Driver({"list", cap});
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
    const std::string picture = e2e::ProgramFolder() + "speechtool_window.png";
    DeleteFileA(picture.c_str());
    CHECK(e2e::Driver({"screenshot", cap, picture}).code == 0);

    // Tab and Shift+Tab: check box, synthesis, edit box, round again (play
    // and save-as are disabled, the link is no tab stop).
    r = e2e::Chain({{"key", cap, "Tab"},
                    {"wait", cap, kSynthesize, "focused=1"},
                    {"key", cap, "Tab"},
                    {"wait", cap, kText, "focused=1"},
                    {"key", cap, "Tab"},
                    {"wait", cap, kAutoSave, "focused=1"},
                    {"key", cap, "Shift+Tab"},
                    {"wait", cap, kText, "focused=1"},
                    {"key", cap, "Shift+Tab"},
                    {"wait", cap, kSynthesize, "focused=1"},
                    {"key", cap, "Shift+Tab"},
                    {"wait", cap, kAutoSave, "focused=1"}});
    CAPTURE(r.out);
    CHECK(r.code == 0);

    // The link's words do not toggle the check box; its square does. Clicks
    // are handled in order: once the square's click is seen, so was the one
    // on the words, and had that toggled the box, the square would have put
    // it back.
    r = e2e::Chain({{"click", cap, kLink},
                    {"click", cap, kAutoSave, "--at", "7,8"},
                    {"wait", cap, kAutoSave, "checked=0", "--stable", "1500"}});
    CAPTURE(r.out);
    CHECK(r.code == 0);
}

TEST_CASE_FIXTURE(ToolOnService,
                  "A user's synthesis: the service's MP3 in 音频文件, played as decoded, saved, "
                  "then an edit") {
    const std::string text = "你好，世界！Hello 123";
    const std::string name = SynthesizeOne(text);

    // One file, named after the date and time, holding the service's MP3.
    SYSTEMTIME today;
    GetLocalTime(&today);
    CHECK(name.rfind("生成音频测试" + std::to_string(today.wYear) + "年", 0) == 0);
    CHECK(name.substr(name.size() - 4) == ".mp3");
    const std::string mp3 = e2e::ReadFileBytes(folder + "\\" + name);
    const std::string expected = ServiceMp3(text);
    CHECK(expected.size() > 1000);
    CHECK(mp3 == expected);

    {
        // Play: the device is given exactly what mp3decode makes of the file.
        const std::string want = Decoded(folder + "\\" + name);
        REQUIRE(want.size() > 0);
        ClearCaptures();
        CHECK(e2e::Driver({"click", cap, kPlay}).code == 0);
        const std::vector<std::string> got = CapturesOnce(0, want.size());
        REQUIRE(got.size() == 1);
        CHECK(PlayedAsDecoded(got[0], want));
    }

    {
        // Save As through the system's dialog: the message, and the same bytes.
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        const std::string saved = std::string(temp) + "合成另存为.mp3";
        const std::string out = SaveThroughDialog(saved);
        CAPTURE(out);
        CHECK(out.find("ok msgbox caption=\"信息：\" text=\"文件保存成功！\"") !=
              std::string::npos);
        CHECK(e2e::ReadFileBytes(saved) == mp3);
        DeleteFileA(saved.c_str());

        // Cancelled: no file, no message.
        const std::string cancelled = std::string(temp) + "取消另存为.mp3";
        DeleteFileA(cancelled.c_str());
        e2e::DriverResult c = e2e::Chain({{"wait-gone", "信息："},
                                          {"click", cap, kSaveAs},
                                          {"file-dialog", cancelled, "--cancel"}});
        CAPTURE(c.out);
        CHECK(c.code == 0);
        CHECK(e2e::Driver({"msgbox", "信息：", "--timeout", "2000"}).code == 1);
        CHECK(GetFileAttributesA(cancelled.c_str()) == INVALID_FILE_ATTRIBUTES);
    }

    // An edit disables both, and adds to the text as typed.
    const e2e::DriverResult r = e2e::Chain({{"click", cap, kText},
                                            {"wait", cap, kText, "focused=1"},
                                            {"key", cap, "Ctrl+End"},
                                            {"type", cap, "啊"},
                                            {"wait", cap, kPlay, "enabled=0"},
                                            {"wait", cap, kSaveAs, "enabled=0"},
                                            {"wait", cap, kText, "text=" + text + "啊"}});
    CAPTURE(r.out);
    CHECK(r.code == 0);
    CHECK(FilesIn(folder).size() == 1);
}

TEST_CASE_FIXTURE(ToolOnService, "播放 pressed again while the sound plays starts it again from "
                                 "its beginning: the device is closed and opened anew") {
    // A start of its own, as a person would start it to listen: the sound
    // the device is given is then the tool's only work.
    if (!fresh) {
        EndTool();
        StartTool();
    }
    // A text of some seconds' sound, so the second press lands while it plays.
    const std::string text = "今天天气很好，我们一起去公园散步吧。春天来了，花都开了，"
                             "小鸟在树上唱歌，大家都很高兴。";
    const std::string want = Decoded(folder + "\\" + SynthesizeOne(text));
    REQUIRE(want.size() > 0);

    // The second press comes once the device has had an eighth of the sound.
    ClearCaptures();
    CHECK(e2e::Driver({"click", cap, kPlay}).code == 0);
    const std::vector<std::string> before = CapturesOnce(0, want.size() / 8, 0);
    REQUIRE(before.size() == 1);
    REQUIRE(before[0].size() >= want.size() / 8);
    CHECK(e2e::Driver({"click", cap, kPlay}).code == 0);
    const std::vector<std::string> got = CapturesOnce(1, want.size());
    MESSAGE("decoded " << want.size() << " bytes; the first opening was given "
                       << (got.empty() ? 0 : got[0].size()));

    // Two openings of the device: the first was given the sound's beginning
    // and stopped before its end, the second the whole sound from the start.
    REQUIRE(got.size() == 2);
    const size_t heard = got[0].find_last_not_of('\0') + 1;
    CHECK(heard >= want.size() / 8);
    CHECK(heard < want.size());
    CHECK(got[0].compare(0, heard, want, 0, heard) == 0);
    CHECK(PlayedAsDecoded(got[1], want));
}

TEST_CASE_FIXTURE(ToolOnService,
                  "Texts as typed: with \"&\", 1,000 characters, empty, and a line break") {
    // Each text gives one MP3 in 音频文件. A text of plain characters is
    // heard as it is: the file is the service's MP3 for it. "&" goes out
    // unescaped (the service then reads a second parameter), so for that
    // text only the file's being an MP3 the service made is checked.
    std::string thousand;
    while (thousand.size() < 2000)
        thousand += "语音合成测试很好。";
    thousand.resize(2000); // 1,000 double-byte characters
    for (const std::string& text : {std::string("A&B你好"), thousand}) {
        CAPTURE(text.size());
        const std::string path = folder + "\\" + SynthesizeOne(text);
        const std::string mp3 = e2e::ReadFileBytes(path);
        CHECK(StartsLikeMp3(mp3));
        if (text == thousand) CHECK(mp3 == ServiceMp3(text));
        DeleteFileA(path.c_str());
    }

    // Empty: the request carries an empty text, which the service refuses
    // (400, as the scripted server answers here), and nothing changes. Its
    // end shows when a further press is taken.
    UseService(Port("http"));
    AnswerEach(Reply("400 Bad Request", "no text"));
    REQUIRE(e2e::Chain({{"click", cap, kText},
                        {"wait", cap, kText, "focused=1"},
                        {"key", cap, "Ctrl+End", "Ctrl+Shift+Home", "Delete"},
                        {"wait", cap, kText, "text="},
                        {"click", cap, kSynthesize}})
                .code == 0);
    REQUIRE(WaitForRequests(1));
    CHECK(scripted::Received()[0].rfind("GET /bin/makeColorPlusGuest.jsp?sex=201&speed=0&ment= ",
                                        0) == 0);
    AnswerEach(Reply("200 OK", "<html>settled</html>"));
    CHECK(PressUntilTaken());
    CHECK(ButtonsStay("enabled=0", 300));
    CHECK(FilesIn(folder).empty());
    UseService(service);

    // A line break (the usage notes ask for none): still one MP3, nothing else.
    e2e::DriverResult r = e2e::Chain({{"click", cap, kText},
                                      {"wait", cap, kText, "focused=1"},
                                      {"type", cap, "你好"},
                                      {"key", cap, "Enter"},
                                      {"type", cap, "世界"},
                                      {"wait", cap, kText, "text=你好\r\n世界"}});
    CAPTURE(r.out);
    REQUIRE(r.code == 0);
    r = Synthesize();
    CAPTURE(r.out);
    CHECK(r.code == 0);
    const std::vector<std::string> files = FilesIn(folder);
    REQUIRE(files.size() == 1);
    CHECK(StartsLikeMp3(e2e::ReadFileBytes(folder + "\\" + files[0])));
}

TEST_CASE_FIXTURE(ToolOnService,
                  "Faults change nothing: no service, no markers, 404, file: address, a huge "
                  "page, no folder, a slow answer; a second press and an edit during the wait; "
                  "then Esc") {
    const std::vector<std::string> files = {SynthesizeOne("你好")};
    const std::string held = e2e::ReadFileBytes(folder + "\\" + files[0]);
    const std::string http = scripted::HttpAddress();
    const std::string kept = ToolFolder() + "\\kept";

    // Each fault in turn: its press is taken once the one before has ended,
    // which must then have left Play and Save As enabled and the folder as
    // it was. The first is pressed with the tool idle: its end shows only
    // when the next press is taken.
    UseService(Port("refused"));
    CHECK(e2e::Driver({"click", cap, kSynthesize}).code == 0);
    const char* before = "no service listening";
    std::string audio = folder; // where the files of 音频文件 are now
    const auto next = [&](const char* what, int requests) {
        CHECK(PressUntilTaken());
        CHECK(WaitForRequests(requests));
        CAPTURE(before);
        CHECK(ButtonsStay("enabled=1", 300));
        CHECK(FilesIn(audio) == files);
        if (audio != folder && std::strcmp(what, "no folder") != 0) {
            // Nothing made beside the file that stood in the folder's place.
            CHECK(FilesIn(ToolFolder()) ==
                  std::vector<std::string>{"SpeechTool.exe", "SpeechTool.ini", "音频文件"});
            DeleteFileA(folder.c_str());
            REQUIRE(MoveFileA(kept.c_str(), folder.c_str()));
            audio = folder;
        }
        before = what;
    };
    UseService(Port("http"));
    AnswerEach(Reply("200 OK", "<html>no player here</html>"));
    next("a page without the markers", 1);
    Script({Answer().Send(Reply("200 OK", PageFor(http + "/a.mp3"))),
            Answer().Send(Reply("404 Not Found", held))});
    next("an MP3 address answering 404", 2);
    AnswerEach(Reply("200 OK", PageFor("file:///C:/windows/win.ini")));
    next("a file: address", 1);
    Script({Answer()
                .Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
                .Repeat(20000, std::string(1024, 'x'))});
    next("a page of 20 MB", 1);
    {
        // No folder to write to: a file stands where 音频文件 would be (the
        // huge page, perhaps still arriving, stores nothing).
        REQUIRE(MoveFileA(folder.c_str(), kept.c_str()));
        audio = kept;
        HANDLE blocker =
            CreateFileA(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        REQUIRE(blocker != INVALID_HANDLE_VALUE);
        CloseHandle(blocker);
        Script({Answer().Send(Reply("200 OK", PageFor(http + "/kept.mp3"))),
                Answer().Send(Reply("200 OK", held))});
        next("no folder", 2);
    }

    {
        // A slow answer: the window answers meanwhile, a second press is
        // ignored, and the held audio is still what Save As writes.
        constexpr DWORD kSlow = 8000;
        AnswerEach(Reply("200 OK", "<html>slow, and no player</html>"), kSlow);
        next("a slow answer", 1);
        const DWORD asked = GetTickCount();
        const e2e::DriverResult r = e2e::Chain({{"text", cap, kText}, {"click", cap, kSynthesize}});
        CHECK(r.Has("ok text \"你好\"\n"));
        CHECK(r.code == 0);
        const DWORD answered = GetTickCount() - asked;
        CHECK(answered < kSlow - 1000); // answered while the request waited
        // Past the slow answer's end, with a margin for a deferred second press.
        Sleep(kSlow + 1000 - std::min<DWORD>(answered, kSlow));
        CHECK(Requests() == 1);
        CHECK(ButtonsStay("enabled=1", 300));
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        const std::string saved = std::string(temp) + "故障后另存为.mp3";
        CHECK(SaveThroughDialog(saved).find("text=\"文件保存成功！\"") != std::string::npos);
        CHECK(e2e::ReadFileBytes(saved) == held);
        DeleteFileA(saved.c_str());
        CHECK(e2e::Driver({"wait-gone", "信息："}).code == 0);
    }

    {
        // An edit while the answer is on its way: the audio that arrives
        // afterwards is not the new text's, so Play and Save As stay off.
        Script({Answer().Sleep(3000).Send(Reply("200 OK", PageFor(http + "/edited.mp3"))),
                Answer().Send(Reply("200 OK", held))});
        CHECK(PressUntilTaken());
        CHECK(e2e::Chain(
                  {{"click", cap, kText}, {"type", cap, "吗"}, {"wait", cap, kPlay, "enabled=0"}})
                  .code == 0);
        CHECK(WaitForRequests(2));
        CHECK(ButtonsStay("enabled=0", 1500));
    }

    EndTool();
}

// Closing must not wait for the answer: these bounds are below the tool's
// receive timeout (30 s), so a close that only takes effect once the fetch
// gives up fails here. A message box would hold the process past them too.
constexpr DWORD kCloseBound = 20000;

TEST_CASE_FIXTURE(ToolOnService, "Closed while the answer stalls: the close box during a page that "
                                 "stops after its headers, Esc during an MP3 that never ends; "
                                 "exit code 0, nothing left in 音频文件") {
    UseService(Port("http"));
    {
        // A page announced at 100,000 bytes: its headers and a few bytes, then nothing.
        Script({Answer()
                    .Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n"
                          "<html><body>")
                    .Sleep(300000)});
        CHECK(PressUntilTaken());
        Sleep(500);
        const DWORD closed = GetTickCount();
        REQUIRE(ClickCloseBox(kCaption));
        // Synthetic input can be lost on a loaded machine (the click lands
        // before the window comes to the front): click again, still bound by
        // the time since the first click. A tool that cannot close while it
        // waits ignores every click until its receive timeout, past the bound.
        long code = -1;
        for (DWORD spent = 0; spent < kCloseBound; spent = GetTickCount() - closed) {
            if ((code = tool->ExitCode(std::min<DWORD>(3000, kCloseBound - spent))) != -1) break;
            ClickCloseBox(kCaption);
        }
        CHECK(code == 0);
        MESSAGE("the close box: ended " << GetTickCount() - closed << " ms after the click");
    }

    StartTool();
    {
        // The page names an MP3 whose body trickles in for ever: a few bytes
        // every fifth of a second, never enough to reach the size cap nor
        // quiet long enough for the receive timeout.
        Answer endless;
        endless.Send("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nConnection: close\r\n\r\nID3");
        for (int i = 0; i < 1500; ++i)
            endless.Sleep(200).Send(std::string(64, '\x55'));
        Script({Answer().Send(Reply("200 OK", PageFor(scripted::HttpAddress("/endless.mp3")))),
                endless});
        CHECK(PressUntilTaken());
        REQUIRE(WaitForRequests(2));
        Sleep(500);
        const DWORD closed = GetTickCount();
        CHECK(e2e::Driver({"key", cap, "Esc"}).code == 0);
        CHECK(tool->ExitCode(kCloseBound) == 0);
        MESSAGE("Esc: ended " << GetTickCount() - closed << " ms after the key");
    }
    CHECK(FilesIn(folder).empty());
}

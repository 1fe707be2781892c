// SpeechTool.exe as a person uses it, driven from outside by uidriver.exe:
// the whole job against the real local speech service (synthesis, the sound
// the device was given, Save As, an edit, Esc) and what must change nothing
// when the service misbehaves (a scripted server stands in for the faulty
// answers). The window itself (layout, focus, typing) is window_test.cpp's.
// The tool runs as a copy in a folder of its own, so its 音频文件 and
// SpeechTool.ini are the test's alone.
#include <doctest.h>

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "driver_run.h"

namespace {

const char kCaption[] = "普通话语音合成工具 - 输入文字即可生成MP3音频";
constexpr unsigned kStartBound = 120000; // a fresh Wine start in an emulated machine is slow

// Control ids: the loader numbers units from the last record up.
const char kText[] = "100";
const char kSynthesize[] = "110";
const char kPlay[] = "120";
const char kSaveAs[] = "130";

std::string Here() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path);
    return p.substr(0, p.rfind('\\') + 1);
}

// The tool's folder: a fresh copy of the built SpeechTool.exe, nothing else.
std::string ToolFolder() {
    return Here() + "tool";
}
std::string ToolPath() {
    static const bool copied = [] {
        CreateDirectoryA(ToolFolder().c_str(), nullptr);
        return CopyFileA((Here() + "..\\..\\app\\SpeechTool.exe").c_str(),
                         (ToolFolder() + "\\SpeechTool.exe").c_str(), FALSE) != FALSE;
    }();
    REQUIRE(copied);
    return ToolFolder() + "\\SpeechTool.exe";
}

// The running tool; killed if a case leaves it behind.
class Tool {
  public:
    Tool() {
        std::string command = ToolPath();
        command.insert(command.begin(), '"');
        command += '"';
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

} // namespace

// --- The whole job against the speech service ---------------------------------------

namespace {

const char kAudioFolder[] = "\\音频文件";
constexpr unsigned kSynthesisBound = 180000; // eSpeak and an emulated machine can both be slow

// The fixture's servers (tests/app/web_test_server.py): "http" (scripted),
// "control", "refused" and "service" (the local speech service).
int Port(const char* name) {
    std::ifstream in(Here() + "web_server\\ports");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(std::string(name) + "=", 0) == 0) return std::atoi(line.c_str() + line.find('=') + 1);
    return 0;
}

std::string Control(const std::string& request) {
    static const bool winsock = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!winsock) FAIL("Winsock did not start");
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(Port("control")));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        send(s, request.data(), static_cast<int>(request.size()), 0);
        shutdown(s, SD_SEND);
        char buffer[4096];
        int n;
        while ((n = recv(s, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(n));
    }
    closesocket(s);
    return answer;
}

// The scripted server answers every connection with these bytes, after a pause.
void Answer(const std::string& bytes, int pauseMs = 0) {
    std::string s = "script\nanswer\n";
    if (pauseMs) s += "sleep " + std::to_string(pauseMs) + "\n";
    s += "send " + std::to_string(bytes.size()) + "\n" + bytes;
    REQUIRE(Control(s) == "ok\n");
}

std::string Reply(const char* status, const std::string& body) {
    return std::string("HTTP/1.1 ") + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// A service page naming address as the MP3.
std::string PageFor(const std::string& address) {
    return "<html><embed pluginspage='/Products/MediaPlayer/' src='" + address +
           "' width='0' height='0' autostart='true'></html>";
}

int Requests() {
    const std::string log = Control("log\n");
    int n = 0;
    for (size_t pos = 0; pos < log.size(); ++n) {
        const size_t nl = log.find('\n', pos);
        if (nl == std::string::npos) break;
        pos = nl + 1 + std::strtoul(log.c_str() + pos, nullptr, 10);
    }
    return n;
}

// Points the tool at host:port through the settings file beside it.
void UseService(int port) {
    // The first case comes here before the tool's folder exists.
    CreateDirectoryA(ToolFolder().c_str(), nullptr);
    std::ofstream ini(ToolFolder() + "\\SpeechTool.ini", std::ios::binary | std::ios::trunc);
    ini << "[service]\r\nhost=127.0.0.1\r\nport=" << port << "\r\n";
    ini.close();
    REQUIRE_MESSAGE(ini.good(), "the settings file could not be written");
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (FindNextFileA(h, &data));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

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

// What the speech service answers for text: the MP3 its page names.
std::string ServiceMp3(const std::string& text) {
    const std::string page = Fetch("http://127.0.0.1:" + std::to_string(Port("service")) +
                                   "/bin/makeColorPlusGuest.jsp?sex=201&speed=0&ment=" +
                                   QueryFor(text));
    const std::string left = "Products/MediaPlayer/' src='";
    const size_t at = page.find(left);
    if (at == std::string::npos) return {};
    const size_t from = at + left.size();
    return Fetch(page.substr(from, page.find('\'', from) - from));
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

// The file ALSA's file plugin writes the device's input to (see CMakeLists).
std::string CapturePath() {
    std::string p = "Z:" E2E_CAPTURE_FILE;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

// Types text over the whole content of the edit box, as a person would
// (click in, select everything, type), and waits until it is there.
e2e::DriverResult TypeOver(const std::string& text) {
    const std::string cap = kCaption;
    return e2e::Driver({"click", cap, kText, "+", "wait", cap, kText, "focused=1", "+", "key", cap,
                        "Ctrl+End", "Ctrl+Shift+Home", "+", "type", cap, text, "+", "wait", cap,
                        kText, "text=" + text, "--timeout", "120000", "+", "wait", cap, kPlay,
                        "enabled=0", "+", "wait",
                        cap, kSaveAs, "enabled=0"});
}

// Presses 语音合成 and waits for Play and Save As.
e2e::DriverResult Synthesize() {
    const std::string cap = kCaption;
    const std::string bound = std::to_string(kSynthesisBound);
    return e2e::Driver({"click", cap, kSynthesize, "+", "wait", cap, kPlay, "enabled=1", "--timeout",
                        bound, "+", "wait", cap, kSaveAs, "enabled=1"},
                       kSynthesisBound + 60000);
}

// Play and Save As as they are now, held for a while: "enabled=1" twice or
// "enabled=0" twice.
bool ButtonsStay(const char* state, unsigned ms = 1500) {
    const std::string cap = kCaption;
    const std::string stable = std::to_string(ms);
    return e2e::Driver({"wait", cap, kPlay, state, "--stable", stable, "+", "wait", cap, kSaveAs,
                        state})
               .code == 0;
}

// Waits until the scripted server has seen count requests.
bool WaitForRequests(int count, unsigned boundMs = 60000) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < boundMs; Sleep(100))
        if (Requests() >= count) return true;
    return Requests() >= count;
}

std::string SaveThroughDialog(const std::string& name) {
    const std::string cap = kCaption;
    DeleteFileA(name.c_str());
    e2e::DriverResult r = e2e::Driver({"click", cap, kSaveAs, "+", "file-dialog", name, "+",
                                       "msgbox", "信息：", "--press", "1"});
    return r.out;
}

} // namespace

TEST_CASE("A user's synthesis: the service's MP3 in 音频文件, played as decoded, saved, "
          "then an edit, then Esc") {
    const int service = Port("service");
    REQUIRE_MESSAGE(service != 0, "the speech service did not start (see web_server/server.log)");
    EmptyAudioFolder();
    UseService(service);
    Tool tool;
    REQUIRE(tool.started());
    const std::string cap = kCaption;
    REQUIRE(e2e::Driver({"wait-window", cap, "--timeout", "100000"}, kStartBound).code == 0);

    const std::string text = "你好，世界！Hello 123";
    e2e::DriverResult r = TypeOver(text);
    CAPTURE(r.out);
    REQUIRE(r.code == 0);
    CHECK(e2e::Driver({"text", cap, kText}).out == "ok text \"" + text + "\"\n");
    r = Synthesize();
    CAPTURE(r.out);
    REQUIRE(r.code == 0);

    // One file, named after the date and time, holding the service's MP3.
    const std::string folder = ToolFolder() + kAudioFolder;
    const std::vector<std::string> files = FilesIn(folder);
    REQUIRE(files.size() == 1);
    SYSTEMTIME today;
    GetLocalTime(&today);
    CHECK(files[0].rfind("生成音频测试" + std::to_string(today.wYear) + "年", 0) == 0);
    CHECK(files[0].substr(files[0].size() - 4) == ".mp3");
    const std::string mp3 = e2e::ReadFileBytes(folder + "\\" + files[0]);
    const std::string expected = ServiceMp3(text);
    CHECK(expected.size() > 1000);
    CHECK(mp3 == expected);

    {
        // Play: the device is given exactly what mp3decode makes of the file
        // (Wine pads the last period with silence).
        const std::string reference = Here() + "reference.raw";
        std::string decode = Here();
        decode.insert(decode.begin(), '"');
        decode += "..\\..\\tools\\mp3decode\\mp3decode.exe\" \"";
        decode += folder + "\\" + files[0] + "\" \"" + reference + "\"";
        REQUIRE(RunProgram(decode) == 0);
        const std::string want = e2e::ReadFileBytes(reference);
        REQUIRE(want.size() > 0);
        DeleteFileA(CapturePath().c_str());
        CHECK(e2e::Driver({"click", cap, kPlay}).code == 0);
        std::string got;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 120000; Sleep(200)) {
            got = e2e::ReadFileBytes(CapturePath());
            if (got.size() >= want.size()) break;
        }
        Sleep(500);
        got = e2e::ReadFileBytes(CapturePath());
        REQUIRE(got.size() >= want.size());
        CHECK(got.compare(0, want.size(), want) == 0);
        CHECK(got.find_first_not_of('\0', want.size()) == std::string::npos);
    }

    {
        // Save As through the system's dialog: the message, and the same bytes.
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        const std::string saved = std::string(temp) + "合成另存为.mp3";
        const std::string out = SaveThroughDialog(saved);
        CAPTURE(out);
        CHECK(out.find("ok msgbox caption=\"信息：\" text=\"文件保存成功！\"") != std::string::npos);
        CHECK(e2e::ReadFileBytes(saved) == mp3);
        DeleteFileA(saved.c_str());

        // Cancelled: no file, no message.
        const std::string cancelled = std::string(temp) + "取消另存为.mp3";
        DeleteFileA(cancelled.c_str());
        e2e::DriverResult c = e2e::Driver({"wait-gone", "信息：", "+", "click", cap, kSaveAs, "+",
                                           "file-dialog", cancelled, "--cancel"});
        CAPTURE(c.out);
        CHECK(c.code == 0);
        CHECK(e2e::Driver({"msgbox", "信息：", "--timeout", "3000"}).code == 1);
        CHECK(GetFileAttributesA(cancelled.c_str()) == INVALID_FILE_ATTRIBUTES);
    }

    // An edit disables both; Esc ends the program with 0.
    r = e2e::Driver({"click", cap, kText, "+", "type", cap, "啊", "+",
                     "wait", cap, kPlay, "enabled=0", "+", "wait", cap, kSaveAs, "enabled=0", "+",
                     "key", cap, "Esc", "+", "wait-gone", cap});
    CAPTURE(r.out);
    CHECK(r.code == 0);
    CHECK(tool.ExitCode(60000) == 0);
    CHECK(FilesIn(folder).size() == 1);
}

TEST_CASE("Faults change nothing: no markers, 404, file: address, no service, slow and huge "
          "answers, no folder; a second press and an edit during the wait; Esc while waiting") {
    const int service = Port("service");
    REQUIRE_MESSAGE(service != 0, "the speech service did not start (see web_server/server.log)");
    EmptyAudioFolder();
    UseService(service);
    Tool tool;
    REQUIRE(tool.started());
    const std::string cap = kCaption;
    REQUIRE(e2e::Driver({"wait-window", cap, "--timeout", "100000"}, kStartBound).code == 0);
    e2e::DriverResult r = TypeOver("你好");
    REQUIRE(r.code == 0);
    r = Synthesize();
    CAPTURE(r.out);
    REQUIRE(r.code == 0);
    const std::string folder = ToolFolder() + kAudioFolder;
    const std::vector<std::string> files = FilesIn(folder);
    REQUIRE(files.size() == 1);
    const std::string held = e2e::ReadFileBytes(folder + "\\" + files[0]);

    // Each fault: press 语音合成, let the request end, and find Play and Save
    // As still enabled and the folder as it was.
    UseService(Port("http"));
    const std::string http = "http://127.0.0.1:" + std::to_string(Port("http"));
    // The synthesis under way has ended once a press of 语音合成 is taken
    // again: against a page without markers, until one reaches the server.
    const auto settle = [&](const char* what) {
        const DWORD start = GetTickCount();
        UseService(Port("http"));
        Answer(Reply("200 OK", "<html>settled</html>"));
        bool taken = false;
        while (!taken && GetTickCount() - start < kSynthesisBound) {
            CHECK(e2e::Driver({"click", cap, kSynthesize}).code == 0);
            taken = WaitForRequests(1, 3000);
        }
        CHECK(taken);
        MESSAGE(what << ": ended within " << GetTickCount() - start << " ms");
    };
    const auto unchanged = [&](const char* what, int requests) {
        CAPTURE(what);
        CHECK(e2e::Driver({"click", cap, kSynthesize}).code == 0);
        if (requests) CHECK(WaitForRequests(requests));
        settle(what);
        CHECK(ButtonsStay("enabled=1"));
        CHECK(FilesIn(folder) == files);
    };
    Answer(Reply("200 OK", "<html>no player here</html>"));
    unchanged("a page without the markers", 1);
    REQUIRE(Control("script\nanswer\nsend " + std::to_string(Reply("200 OK", PageFor(http + "/a.mp3")).size()) +
                    "\n" + Reply("200 OK", PageFor(http + "/a.mp3")) + "answer\nsend " +
                    std::to_string(Reply("404 Not Found", "gone").size()) + "\n" +
                    Reply("404 Not Found", "gone")) == "ok\n");
    unchanged("an MP3 address answering 404", 2);
    Answer(Reply("200 OK", PageFor("file:///C:/windows/win.ini")));
    unchanged("a file: address", 1);
    {
        const std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
        REQUIRE(Control("script\nanswer\nsend " + std::to_string(head.size()) + "\n" + head +
                        "repeat 20000 1024\n" + std::string(1024, 'x')) == "ok\n");
        unchanged("a page of 20 MB", 1);
    }
    UseService(Port("refused"));
    unchanged("no service listening", 0);

    {
        // No folder to write to: a file stands where 音频文件 would be.
        UseService(service);
        const std::string kept = ToolFolder() + "\\kept";
        REQUIRE(MoveFileA(folder.c_str(), kept.c_str()));
        HANDLE blocker = CreateFileA(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        REQUIRE(blocker != INVALID_HANDLE_VALUE);
        CloseHandle(blocker);
        CHECK(e2e::Driver({"click", cap, kSynthesize}).code == 0);
        settle("no folder");
        CHECK(ButtonsStay("enabled=1"));
        CHECK(FilesIn(ToolFolder()) == std::vector<std::string>{"SpeechTool.exe", "SpeechTool.ini", "音频文件"});
        DeleteFileA(folder.c_str());
        REQUIRE(MoveFileA(kept.c_str(), folder.c_str()));
    }

    {
        // A slow answer: the window answers meanwhile, a second press is
        // ignored, and the held audio is still what Save As writes.
        UseService(Port("http"));
        constexpr DWORD kSlow = 10000;
        Answer(Reply("200 OK", "<html>slow, and no player</html>"), kSlow);
        CHECK(e2e::Driver({"click", cap, kSynthesize}).code == 0);
        CHECK(WaitForRequests(1));
        const DWORD asked = GetTickCount();
        r = e2e::Driver({"text", cap, kText, "+", "click", cap, kSynthesize});
        CHECK(r.Has("ok text \"你好\"\n"));
        CHECK(r.code == 0);
        CHECK(GetTickCount() - asked < kSlow - 1000); // answered while the request waited
        Sleep(kSlow);
        CHECK(ButtonsStay("enabled=1"));
        CHECK(Requests() == 1);
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
        const std::string page = Fetch("http://127.0.0.1:" + std::to_string(service) +
                                       "/bin/makeColorPlusGuest.jsp?sex=201&speed=0&ment=" +
                                       QueryFor("再见"));
        const std::string left = "src='";
        const size_t from = page.find(left, page.find("Products/MediaPlayer/")) + left.size();
        Answer(Reply("200 OK", PageFor(page.substr(from, page.find('\'', from) - from))), 3000);
        CHECK(e2e::Driver({"click", cap, kSynthesize}).code == 0);
        CHECK(WaitForRequests(1));
        CHECK(e2e::Driver({"click", cap, kText, "+", "type", cap, "吗", "+", "wait", cap, kPlay,
                           "enabled=0"})
                  .code == 0);
        Sleep(4000);
        CHECK(ButtonsStay("enabled=0", 3000));
    }

    // Esc while a request waits: the program ends with 0 and no message.
    Answer(Reply("200 OK", "<html>slow</html>"), 5000);
    CHECK(e2e::Driver({"click", cap, kSynthesize}).code == 0);
    CHECK(WaitForRequests(1));
    CHECK(e2e::Driver({"key", cap, "Esc", "+", "wait-gone", cap}).code == 0);
    CHECK(tool.ExitCode(60000) == 0);
    CHECK(e2e::Driver({"msgbox", "--timeout", "2000"}).code == 1);
}

TEST_CASE("Texts as typed: with \"&\", 1,000 characters, empty, and a line break") {
    const int service = Port("service");
    REQUIRE_MESSAGE(service != 0, "the speech service did not start (see web_server/server.log)");
    EmptyAudioFolder();
    UseService(service);
    Tool tool;
    REQUIRE(tool.started());
    const std::string cap = kCaption;
    REQUIRE(e2e::Driver({"wait-window", cap, "--timeout", "100000"}, kStartBound).code == 0);
    const std::string folder = ToolFolder() + kAudioFolder;

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
        e2e::DriverResult r = TypeOver(text);
        CAPTURE(r.out);
        REQUIRE(r.code == 0);
        r = Synthesize();
        CAPTURE(r.out);
        REQUIRE(r.code == 0);
        const std::vector<std::string> files = FilesIn(folder);
        REQUIRE(files.size() == 1);
        const std::string mp3 = e2e::ReadFileBytes(folder + "\\" + files[0]);
        CHECK(StartsLikeMp3(mp3));
        if (text == thousand) CHECK(mp3 == ServiceMp3(text));
        DeleteFileA((folder + "\\" + files[0]).c_str());
    }

    // Empty: the service refuses it (400), and nothing changes.
    const auto nothingNew = [&] {
        CHECK(e2e::Driver({"click", cap, kSynthesize}).code == 0);
        CHECK(ButtonsStay("enabled=0", 5000));
        CHECK(FilesIn(folder).empty());
    };
    REQUIRE(e2e::Driver({"click", cap, kText, "+", "wait", cap, kText, "focused=1", "+", "key",
                         cap, "Ctrl+End", "Ctrl+Shift+Home", "Delete", "+", "wait", cap, kText,
                         "text="})
                .code == 0);
    nothingNew();

    // A line break (the usage notes ask for none): still one MP3, nothing else.
    e2e::DriverResult r = e2e::Driver({"click", cap, kText, "+", "wait", cap, kText, "focused=1",
                                       "+", "type", cap, "你好", "+", "key", cap, "Enter", "+", "type",
                                       cap, "世界", "+", "wait", cap, kText, "text=你好\r\n世界"});
    CAPTURE(r.out);
    REQUIRE(r.code == 0);
    r = Synthesize();
    CAPTURE(r.out);
    CHECK(r.code == 0);
    const std::vector<std::string> files = FilesIn(folder);
    REQUIRE(files.size() == 1);
    CHECK(StartsLikeMp3(e2e::ReadFileBytes(folder + "\\" + files[0])));

    CHECK(e2e::Driver({"key", cap, "Esc", "+", "wait-gone", cap}).code == 0);
    CHECK(tool.ExitCode(60000) == 0);
}

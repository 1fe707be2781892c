// Speech synthesis in process on the real runtime: downloads from the
// scripted server on 127.0.0.1 (tests/app/web_test_server.py, started by the
// ctest fixture) for the answers that must not count, and whole requests
// against the real local speech service started beside it.
#include <doctest.h>

#include "external_functions.h"
#include "globals.h"
#include "st/services.h"
#include "scripted_server.h"
#include "synthesis.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

void Start() {
    static const bool started = [] {
        st::Services.Notify(st::NotifyCode::StartRuntime);
        return true;
    }();
    (void)started;
}

std::string ExeDirectory() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string file(path);
    return file.substr(0, file.rfind('\\'));
}

using scripted::AnswerEach;
using scripted::Port;
using scripted::Reply;

int Requests() {
    return static_cast<int>(scripted::Received().size());
}

std::string Here(const std::string& path) {
    return scripted::HttpAddress(path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Held() {
    return std::string(reinterpret_cast<const char*>(st::ByteSetData(app::currentAudioBytes)),
                       static_cast<size_t>(st::ByteSetLength(app::currentAudioBytes)));
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
    return names;
}

// A fresh, empty scratch folder beside the test program.
std::string Scratch() {
    const std::string dir = ExeDirectory() + "\\synthesis_scratch";
    for (const std::string& name : FilesIn(dir))
        DeleteFileA((dir + "\\" + name).c_str());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

int32_t Download(const std::string& address, const std::string& path) {
    st::TextValue a = st::CopyText(address.c_str()), p = st::CopyText(path.c_str());
    const int32_t r = app::DownloadAudio(a, p);
    st::FreeMemory(a);
    st::FreeMemory(p);
    return r;
}

void ForgetAudio() {
    st::FreeMemory(app::currentAudioPath);
    st::FreeMemory(app::currentAudioBytes);
    app::currentAudioPath = nullptr;
    app::currentAudioBytes = nullptr;
}

const std::string kMp3 = std::string("ID3\x03\x00\x00\x00\x00\x00\x00", 10) + "\xFF\xFB\x90\x64" +
                         std::string(400, '\x55');

} // namespace

TEST_CASE("A download counts only for MP3 bytes in a 200 answer, and replaces no file") {
    Start();
    ForgetAudio();
    const std::string dir = Scratch();
    const std::string path = dir + "\\a.mp3";

    AnswerEach(Reply("200 OK", kMp3));
    REQUIRE(Download(Here("/x.mp3"), path) == 1);
    CHECK(ReadFile(path) == kMp3);
    CHECK(std::string(app::currentAudioPath) == path);
    CHECK(Held() == kMp3);

    // The same name again (two syntheses in one second): a numbered copy.
    const std::string second = kMp3 + "second";
    AnswerEach(Reply("200 OK", second));
    REQUIRE(Download(Here("/x.mp3"), path) == 1);
    CHECK(ReadFile(path) == kMp3);
    CHECK(ReadFile(dir + "\\a (2).mp3") == second);
    CHECK(std::string(app::currentAudioPath) == dir + "\\a (2).mp3");

    // Answers that must change nothing: files, path and bytes stay.
    const struct {
        const char* what;
        std::string reply;
    } failures[] = {
        {"404 with MP3 bytes", Reply("404 Not Found", kMp3)},
        {"500", Reply("500 Internal Server Error", kMp3)},
        {"empty 200", Reply("200 OK", "")},
        {"HTML page", Reply("200 OK", "<html><body>no audio</body></html>")},
        {"cut short",
         "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nConnection: close\r\n\r\n" + kMp3},
        {"over the size cap", Reply("200 OK", kMp3 + std::string(app::kMaxAudioBytes, 'x'))},
    };
    for (const auto& f : failures) {
        CAPTURE(f.what);
        AnswerEach(f.reply);
        CHECK(Download(Here("/x.mp3"), dir + "\\b.mp3") == 0);
        CHECK(FilesIn(dir).size() == 2); // no b.mp3, no temporary left behind
        CHECK(std::string(app::currentAudioPath) == dir + "\\a (2).mp3");
        CHECK(Held() == second);
    }

    // Addresses that are no web address never reach the network.
    AnswerEach(Reply("200 OK", kMp3));
    for (const std::string& address :
         {std::string("file:///") + path, path, std::string("\\\\127.0.0.1\\share\\x.mp3"),
          std::string("ftp://127.0.0.1/x.mp3"), std::string("未找到左边内容"), Here("/x y.mp3")}) {
        CAPTURE(address);
        CHECK(Download(address, dir + "\\c.mp3") == 0);
    }
    CHECK(Requests() == 0);
    CHECK_FALSE(Exists(dir + "\\c.mp3"));
    ForgetAudio();
}

TEST_CASE("The settings file names the service; anything unusable means the default") {
    Start();
    const std::string dir = Scratch();
    const struct {
        const char* content; // null: no file
        const char* endpoint;
    } cases[] = {
        {nullptr, "127.0.0.1:8925"},
        {"[service]\r\nhost=speech.example\r\nport=80\r\n", "speech.example:80"},
        {"; comment\n[service]\nport = 9000\n", "127.0.0.1:9000"},
        {"[other]\nhost=elsewhere\n", "127.0.0.1:8925"},
        {"[service]\nport=70000\n", "127.0.0.1:8925"},
        {"[service]\nport=8x\n", "127.0.0.1:8925"},
        {"[service]\nhost=a/b?c\n", "127.0.0.1:8925"},
        {"[service]\nhost=\n", "127.0.0.1:8925"},
        {"garbage", "127.0.0.1:8925"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.content ? c.content : "<none>");
        DeleteFileA((dir + "\\SpeechTool.ini").c_str());
        if (c.content) std::ofstream(dir + "\\SpeechTool.ini", std::ios::binary) << c.content;
        CHECK(app::ServiceEndpoint(dir) == c.endpoint);
    }
}

namespace {

// The settings file beside the test program pointing at a port of ours.
void UseService(int port) {
    std::ofstream(ExeDirectory() + "\\SpeechTool.ini", std::ios::binary)
        << "[service]\nhost=127.0.0.1\nport=" << port << "\n";
}

bool Request(const std::string& text) {
    st::TextValue t = st::CopyText(text.c_str());
    const bool r = app::RequestAudio(t);
    st::FreeMemory(t);
    return r;
}

const std::string kAudioFolder = "\\音频文件";

void CALLBACK TextEdited(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    ++app::audioStateCount;
}

} // namespace

TEST_CASE("A request against the local speech service stores its MP3 beside the program") {
    Start();
    ForgetAudio();
    const int service = Port("service");
    REQUIRE_MESSAGE(service != 0, "the speech service did not start (see web_server/server.log)");
    UseService(service);
    const std::string folder = ExeDirectory() + kAudioFolder;
    for (const std::string& name : FilesIn(folder))
        DeleteFileA((folder + "\\" + name).c_str());
    RemoveDirectoryA(folder.c_str());

    REQUIRE(Request("你好，世界！Hello 123"));
    const std::string path = app::currentAudioPath;
    CHECK(path.rfind(folder + "\\生成音频测试", 0) == 0);
    // Named after the date and time of the request.
    SYSTEMTIME today;
    GetLocalTime(&today);
    CHECK(path.find("生成音频测试" + std::to_string(today.wYear) + "年") != std::string::npos);
    CHECK(path.substr(path.size() - 4) == ".mp3");
    CHECK(ReadFile(path) == Held());
    CHECK(Held().size() > 1000);

    // Two at once: the second lands beside the first, nothing is lost.
    REQUIRE(Request("你好"));
    CHECK(FilesIn(folder).size() == 2);
    CHECK(ReadFile(app::currentAudioPath) == Held());
    ForgetAudio();
}

TEST_CASE("Audio of a text edited while its request ran is not taken") {
    Start();
    ForgetAudio();
    UseService(Port("http"));
    // The page comes after a pause long enough for the edit to land in it,
    // and names an MP3 on the same server.
    const std::string page =
        Reply("200 OK", "<embed Products/MediaPlayer/' src='" + Here("/a.mp3") +
                            "' width='0' height='0' autostart>");
    const std::string mp3 = Reply("200 OK", kMp3);
    scripted::Script({scripted::Answer().Sleep(300).Send(page), scripted::Answer().Send(mp3)});
    SetTimer(nullptr, 0, 1, TextEdited);
    const uint32_t count = app::audioStateCount;
    CHECK_FALSE(Request("再见"));
    CHECK(app::audioStateCount == count + 1);
    CHECK(Requests() == 2); // page and audio both came
    CHECK(app::currentAudioPath == nullptr);
    DeleteFileA((ExeDirectory() + "\\SpeechTool.ini").c_str());
}

TEST_CASE("A page without the markers downloads nothing") {
    Start();
    ForgetAudio();
    UseService(Port("http"));
    AnswerEach(Reply("200 OK", "<html>no player here</html>"));
    CHECK_FALSE(Request("你好"));
    CHECK(Requests() == 1); // the page only
    CHECK(app::currentAudioPath == nullptr);

    // The page names a file address: refused without a download.
    AnswerEach(Reply("200 OK", "Products/MediaPlayer/' src='file:///C:/windows/win.ini' width='0' "
                               "height='0' autostart"));
    CHECK_FALSE(Request("你好"));
    CHECK(Requests() == 1);
    CHECK(app::currentAudioPath == nullptr);
    DeleteFileA((ExeDirectory() + "\\SpeechTool.ini").c_str());
}

namespace {
int downloadTicks = 0;
int quitAtTick = 0; // the tick that closes the program, 0 for none
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    if (++downloadTicks == quitAtTick) PostQuitMessage(0);
}
} // namespace

// Last in this program: the download it gives up on ends on its own later.
TEST_CASE("A download that waits for its server keeps the window answering; closing ends it") {
    Start();
    ForgetAudio();
    const std::string dir = Scratch();

    // The server answers after a second: the window's timer goes on meanwhile.
    AnswerEach(Reply("200 OK", kMp3), 1000);
    downloadTicks = 0;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTick);
    CHECK(Download(Here("/slow.mp3"), dir + "\\slow.mp3") == 1);
    KillTimer(nullptr, timer);
    MESSAGE("timer messages handled during a 1 s wait: " << downloadTicks);
    CHECK(downloadTicks >= 3);
    CHECK(ReadFile(dir + "\\slow.mp3") == kMp3);
    ForgetAudio();

    // The program closes while the server still waits: the download gives
    // up at once and keeps nothing.
    AnswerEach(Reply("200 OK", kMp3), 2000);
    downloadTicks = 0;
    quitAtTick = 5;
    timer = SetTimer(nullptr, 0, 20, CountTick);
    const DWORD start = GetTickCount();
    CHECK(Download(Here("/closing.mp3"), dir + "\\closing.mp3") == 0);
    const DWORD elapsed = GetTickCount() - start;
    KillTimer(nullptr, timer);
    quitAtTick = 0;
    MESSAGE("the download gave up " << elapsed << " ms after it began");
    CHECK(elapsed < 1500);
    MSG quit;
    REQUIRE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK(quit.wParam == 0);
    CHECK_FALSE(Exists(dir + "\\closing.mp3"));
    CHECK(FilesIn(dir).size() == 1); // slow.mp3 alone: no temporary file either
    CHECK(app::currentAudioPath == nullptr);
}

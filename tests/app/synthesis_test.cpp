// Speech synthesis in process on the real runtime: downloads from the
// scripted server on 127.0.0.1 (tests/app/web_test_server.py, started by the
// ctest fixture) that must and must not count, the settings file, and the
// window kept answering while a download waits. Whole requests against the
// speech service, as a user makes them, are the end-to-end test's.
#include <doctest.h>

#include "external_functions.h"
#include "globals.h"
#include "st/services.h"
#include "runtime_started.h"
#include "scripted_server.h"
#include "synthesis.h"
#include "test_files.h"

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using scripted::AnswerEach;
using scripted::Reply;
using test_support::FilesIn;
using test_support::ProgramFolder;
using test_support::ReadFileBytes;

int Requests() {
    return static_cast<int>(scripted::Received().size());
}

std::string Here(const std::string& path) {
    return scripted::HttpAddress(path);
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Held() {
    return std::string(reinterpret_cast<const char*>(st::ByteSetData(app::currentAudioBytes)),
                       static_cast<size_t>(st::ByteSetLength(app::currentAudioBytes)));
}

// A fresh, empty scratch folder beside the test program.
std::string Scratch() {
    const std::string dir = ProgramFolder() + "synthesis_scratch";
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
    testing::StartRuntimeOnce();
    ForgetAudio();
    const std::string dir = Scratch();
    const std::string path = dir + "\\a.mp3";

    AnswerEach(Reply("200 OK", kMp3));
    REQUIRE(Download(Here("/x.mp3"), path) == 1);
    CHECK(ReadFileBytes(path) == kMp3);
    CHECK(std::string(app::currentAudioPath) == path);
    CHECK(Held() == kMp3);

    // The same name again (two syntheses in one second): a numbered copy.
    const std::string second = kMp3 + "second";
    AnswerEach(Reply("200 OK", second));
    REQUIRE(Download(Here("/x.mp3"), path) == 1);
    CHECK(ReadFileBytes(path) == kMp3);
    CHECK(ReadFileBytes(dir + "\\a (2).mp3") == second);
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
    testing::StartRuntimeOnce();
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
int downloadTicks = 0;
int quitAtTick = 0; // the tick that closes the program, 0 for none
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    if (++downloadTicks == quitAtTick) PostQuitMessage(0);
}
} // namespace

// Last in this program: the download it gives up on ends on its own later.
// (Closing while the body trickles in is the end-to-end test's; here the
// program closes while the answer's headers are still awaited.)
TEST_CASE("A download that waits for its server keeps the window answering; closing ends it") {
    testing::StartRuntimeOnce();
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
    CHECK(ReadFileBytes(dir + "\\slow.mp3") == kMp3);
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

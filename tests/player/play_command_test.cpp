// The play-MP3 command through the service table, the runtime's player record
// and the player module, against the test wave-out device.
#include <doctest.h>

#include <windows.h>

#include <random>
#include <thread>

#include "../commands/command_calls.h"
#include "fake_wave_out.h"
#include "library_commands.h"
#include "playback/player_entries.h"
#include "player_support.h"
#include "runtime_state.h"

using namespace cmdtest;
using namespace playertest;
using namespace std::chrono_literals;

namespace {

void* Handle() {
    return st::Runtime().player.handle;
}

int32_t State() {
    auto state = reinterpret_cast<mp3::GetPlayStateFn>(st::Runtime().player.Lookup("GetPlayState"));
    return state(Handle());
}

ArgRecord PlayCall(std::initializer_list<ArgRecord> args) {
    UseFakePlatform();
    return Call(st::cmd::PlayMp3, args);
}

// A one-dimensional array of texts as application code holds one.
struct TextArray {
    std::vector<int32_t> words;
    explicit TextArray(std::initializer_list<const char*> texts) {
        words = {1, int32_t(texts.size())};
        for (const char* t : texts)
            words.push_back(int32_t(Word(t)));
    }
    ArgRecord Arg() const { return {Word(words.data()), 0, Tag::Text | Tag::ArrayFlag}; }
};

bool Finished() {
    return WaitFor([] { return Handle() && State() == 0; }, 60s);
}

} // namespace

TEST_CASE("names: texts and arrays of texts, empty ones skipped, once each in order") {
    Log().Clear();
    const std::string a = Fixture("m8.mp3"), b = Fixture("m22.mp3"), c = Fixture("s22.mp3");
    Watchdog("play command list", 120s, [&] {
        TextArray names({"", b.c_str(), nullptr, c.c_str()});
        PlayCall({Omitted(), Text(""), Text(a.c_str()), names.Arg()});
        CHECK(Finished());
        CHECK(WaitFor([] { return Log().alive == 0; }, 10s));
    });
    auto captures = Log().Captures();
    REQUIRE(captures.size() == 3);
    CHECK(captures[0]->pcm == ReferencePcm(a));
    CHECK(captures[1]->pcm == ReferencePcm(b));
    CHECK(captures[2]->pcm == ReferencePcm(c));
}

TEST_CASE("a file in the tool's own folder, under a Chinese name") {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string dir = std::string(base) + "音频文件";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string name = dir + "\\生成音频测试2026-12-08 10:11:12.mp3";
    REQUIRE(CopyFileA(Fixture("m22.mp3").c_str(), name.c_str(), FALSE));
    Log().Clear();
    Watchdog("Chinese name", 60s, [&] {
        PlayCall({Int(1), Text(name.c_str())});
        CHECK(Finished());
    });
    auto captures = Log().Captures();
    REQUIRE(captures.size() == 1);
    CHECK(captures[0]->pcm == ReferencePcm(Fixture("m22.mp3")));
    DeleteFileA(name.c_str());
}

TEST_CASE("loop counts: 0 only stops, negative repeats, no names make no player") {
    Log().Clear();
    Watchdog("loop counts", 60s, [&] {
        PlayCall({Int(-5), Text(Fixture("m8.mp3").c_str())});
        CHECK(WaitFor([] { return Log().Captures().size() >= 3; }, 30s));
        PlayCall({Int(0), Text(Fixture("m8.mp3").c_str())});
        CHECK(Handle() == nullptr);
        CHECK(Log().alive == 0); // the old player's chain is gone with it
        const size_t played = Log().Captures().size();
        std::this_thread::sleep_for(100ms);
        CHECK(Log().Captures().size() == played);

        PlayCall({Int(-1), Text(Fixture("long.mp3").c_str())});
        CHECK(Handle() != nullptr);
        PlayCall({Int(1), Text(""), Text("")});
        CHECK(Handle() == nullptr);
        CHECK(Log().alive == 0);
    });
}

TEST_CASE("the command again and again while files play: one player at a time") {
    Log().Clear();
    Watchdog("replacing players", 300s, [&] {
        std::mt19937 rng(19);
        const std::string files[] = {Fixture("m8.mp3"), Fixture("long.mp3")};
        for (int i = 0; i < Scaled(200); ++i) {
            PlayCall({Int(1), Text(files[i % 2].c_str())});
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 51));
        }
        PlayCall({Int(1), Text(files[0].c_str())});
        CHECK(Finished());
    });
    CHECK(Log().maxAlive <= 1);
    auto captures = Log().Captures();
    REQUIRE(!captures.empty());
    CHECK(captures.back()->pcm == ReferencePcm(Fixture("m8.mp3")));
}

// Last: it takes the runtime down.
TEST_CASE("the end of the program removes the player") {
    Log().Clear();
    Watchdog("shut-down", 60s, [&] {
        PlayCall({Int(-1), Text(Fixture("long.mp3").c_str())});
        CHECK(WaitFor([] { return Log().alive == 1; }, 10s));
        st::ShutDown(0);
        CHECK(Handle() == nullptr);
        CHECK(Log().alive == 0);
    });
}

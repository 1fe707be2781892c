// The play-MP3 command through the service table, the runtime's player record
// and the player module, against the test wave-out device.
#include <doctest.h>

#include <windows.h>

#include <random>
#include <thread>

#include "fake_wave_out.h"
#include "player_support.h"
#include "runtime_player.h"

using namespace cmdtest;
using namespace playertest;
using namespace std::chrono_literals;

namespace {

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
    return WaitFor([] { return RuntimePlayer() && RuntimePlayState() == 0; }, 60s);
}

} // namespace

TEST_CASE("names: texts and arrays of texts, empty ones skipped, once each in order") {
    // One of them in the tool's own folder under the Chinese name it gives its files.
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string dir = std::string(base) + "音频文件";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string chinese = dir + "\\生成音频测试2026年12月8日10时11分12秒.mp3";
    REQUIRE(CopyFileA(Fixture("m22.mp3").c_str(), chinese.c_str(), FALSE));

    Log().Clear();
    const std::string b = Fixture("m8.mp3"), c = Fixture("s22.mp3");
    Watchdog("play command list", 120s, [&] {
        TextArray names({"", b.c_str(), nullptr, c.c_str()});
        PlayCall({Omitted(), Text(""), Text(chinese.c_str()), names.Arg()});
        CHECK(Finished());
        CHECK(WaitFor([] { return Log().alive == 0; }, 10s));
    });
    auto captures = Log().Captures();
    REQUIRE(captures.size() == 3);
    CHECK(SamePcm(captures[0]->pcm, ReferencePcm(Fixture("m22.mp3"))));
    CHECK(SamePcm(captures[1]->pcm, ReferencePcm(b)));
    CHECK(SamePcm(captures[2]->pcm, ReferencePcm(c)));
    DeleteFileA(chinese.c_str());
}

TEST_CASE("loop counts: 0 only stops, negative repeats, no names make no player") {
    Log().Clear();
    const std::string m8 = Fixture("m8.mp3");
    Watchdog("loop counts", 60s, [&] {
        PlayCall({Int(-5), Text(m8.c_str())});
        CHECK(WaitFor([] { return Log().Captures().size() >= 3; }, 30s));
        PlayCall({Int(0), Text(m8.c_str())});
        CHECK(RuntimePlayer() == nullptr);
        CHECK(Log().alive == 0); // the old player's chain is gone with it
        const auto captures = Log().Captures();
        std::this_thread::sleep_for(100ms);
        CHECK(Log().Captures().size() == captures.size());
        // Every pass but the one the removal cut short plays the whole file.
        const auto reference = ReferencePcm(m8);
        for (size_t i = 0; i + 1 < captures.size(); ++i)
            CHECK(SamePcm(captures[i]->pcm, reference));

        PlayCall({Int(-1), Text(Fixture("long.mp3").c_str())});
        CHECK(RuntimePlayer() != nullptr);
        PlayCall({Int(1), Text(""), Text("")});
        CHECK(RuntimePlayer() == nullptr);
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
    CHECK(SamePcm(captures.back()->pcm, ReferencePcm(Fixture("m8.mp3"))));
}

// Last: it takes the runtime down.
TEST_CASE("the end of the program removes the player") {
    Log().Clear();
    Watchdog("shut-down", 60s, [&] {
        PlayCall({Int(-1), Text(Fixture("long.mp3").c_str())});
        CHECK(WaitFor([] { return Log().alive == 1; }, 10s));
        st::ShutDown(0);
        CHECK(RuntimePlayer() == nullptr);
        CHECK(Log().alive == 0);
    });
}

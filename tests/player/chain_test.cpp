// The player and its playback chain against the test wave-out device: what the
// device is given must be exactly what mp3decode makes of the file, whatever
// the device, the files or the controlling thread do.
#include <doctest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "fake_wave_out.h"
#include "playback/mp3_player.h"
#include "playback/player_entries.h"
#include "player_support.h"

using namespace playertest;
using namespace std::chrono_literals;

namespace {

struct Entries {
    mp3::CreatePlayerFn create =
        reinterpret_cast<mp3::CreatePlayerFn>(mp3::PlayerLookup("CreatePlayer"));
    mp3::NewPlayFn newPlay = reinterpret_cast<mp3::NewPlayFn>(mp3::PlayerLookup("NewPlay"));
    mp3::PlayFn play = reinterpret_cast<mp3::PlayFn>(mp3::PlayerLookup("Play"));
    mp3::GetPlayStateFn state =
        reinterpret_cast<mp3::GetPlayStateFn>(mp3::PlayerLookup("GetPlayState"));
    mp3::SetPauseStateFn pause =
        reinterpret_cast<mp3::SetPauseStateFn>(mp3::PlayerLookup("SetPauseState"));
    mp3::RemovePlayerFn remove =
        reinterpret_cast<mp3::RemovePlayerFn>(mp3::PlayerLookup("RemovePlayer"));
};
const Entries& Player() {
    static Entries entries;
    return entries;
}

void* const kWindow = reinterpret_cast<void*>(0x5150);

// Files ended so far: the player posts 100 to kWindow at the end of each.
int Ends() {
    const std::vector<int> progress = Log().Progress(kWindow);
    return int(std::count(progress.begin(), progress.end(), 100));
}

// A player for the list, started at a position with progress to kWindow; body
// runs with it, then it is removed. A hang fails the test.
void WithPlayer(const char* what, const std::vector<std::string>& files, int loops,
                const std::function<void(void*)>& body, int percent = 0) {
    Watchdog(what, 60s, [&] {
        void* player = Player().create(FileList(files).c_str(), loops);
        CHECK(player);
        if (!player) return;
        Player().newPlay(player, kWindow, percent);
        body(player);
        Player().remove(player);
    });
}

// Plays the list once with the given device script until every file has ended.
std::vector<std::shared_ptr<Capture>> PlayAll(const std::vector<std::string>& files,
                                              const DeviceScript& script = {}) {
    Log().Clear(script);
    WithPlayer("playing a list", files, 1, [&](void* player) {
        CHECK(WaitFor([&] { return Ends() == int(files.size()); }, 50s));
        CHECK(WaitFor([&] { return Player().state(player) == 0; }, 5s));
    });
    CHECK(Log().alive == 0);
    const auto captures = Log().Captures();
    for (const auto& c : captures)
        CHECK(c->heldUnprepares == 0); // nothing taken back before the device gave it back
    return captures;
}

} // namespace

TEST_CASE("the device gets exactly what mp3decode makes of the file, last frames included") {
    UseFakePlatform();
    struct Case {
        const char* file;
        int channels, rate, blockBytes, headers;
    };
    const Case cases[] = {
        {"s44.mp3", 2, 44100, 4608, 112}, // MPEG-1 stereo
        {"s22.mp3", 2, 22050, 2304, 226}, // MPEG-2 stereo
        {"m22.mp3", 1, 22050, 1152, 454}, // MPEG-2 mono, as the speech service makes it
        {"m8.mp3", 1, 8000, 1152, 454},   // MPEG-2.5, a file under 4,323 bytes
        {"l2.mp3", 2, 44100, 4608, 112},  // Layer II
    };
    for (const Case& c : cases) {
        CAPTURE(c.file);
        const std::string path = Fixture(c.file);
        const std::vector<uint8_t> reference = ReferencePcm(path);
        REQUIRE(!reference.empty());
        SUBCASE("device thread") {
            auto captures = PlayAll({path});
            REQUIRE(captures.size() == 1);
            CHECK(captures[0]->format.channels == c.channels);
            CHECK(captures[0]->format.sampleRate == c.rate);
            CHECK(captures[0]->format.blockBytes == c.blockBytes);
            CHECK(captures[0]->headers == c.headers); // output ring size / block bytes - 1
            CHECK(SamePcm(captures[0]->pcm, reference));
            CHECK(captures[0]->closed);
        }
        SUBCASE("blocks done inside the write, done out of order, slow close") {
            DeviceScript script;
            script.doneInsideWrite = std::strcmp(c.file, "m22.mp3") == 0;
            script.swapDoneOrder = !script.doneInsideWrite;
            script.closeStillPlaying = 2;
            auto captures = PlayAll({path}, script);
            REQUIRE(captures.size() == 1);
            CHECK(SamePcm(captures[0]->pcm, reference));
            CHECK(captures[0]->closeCalls == 3);
        }
    }
}

TEST_CASE("a list plays in order; failing files are passed over") {
    UseFakePlatform();
    const std::string dir = PLAYER_TEST_DIR;
    const std::vector<uint8_t> good = ReadBytes(Fixture("s44.mp3"));
    WriteBytes(dir + "/empty.mp3", {});
    // Layer I frames: 44.1 kHz, 128 kbit/s, 136 bytes each.
    std::vector<uint8_t> layer1;
    for (int i = 0; i < 60; ++i) {
        const uint8_t header[4] = {0xFF, 0xFF, 0x90, 0x00};
        layer1.insert(layer1.end(), header, header + 4);
        layer1.resize(layer1.size() + 132, 0x55);
    }
    WriteBytes(dir + "/layer1.mp3", layer1);
    WriteBytes(dir + "/truncated.mp3", std::vector<uint8_t>(good.begin(), good.begin() + 300));
    std::vector<uint8_t> garbage(40000);
    std::mt19937 rng(3);
    for (uint8_t& b : garbage)
        b = uint8_t(rng() & 0xDF); // no 0xFF bytes: nothing that even looks like a sync
    WriteBytes(dir + "/garbage.mp3", garbage);

    const auto ref44 = ReferencePcm(Fixture("s44.mp3"));
    const auto ref22 = ReferencePcm(Fixture("m22.mp3"));
    SUBCASE("good files in order, missing, empty, Layer I, truncated and garbage ones between") {
        const std::vector<std::string> files = {
            dir + "/missing.mp3",   Fixture("s44.mp3"),   dir + "/empty.mp3", dir + "/layer1.mp3",
            dir + "/truncated.mp3", dir + "/garbage.mp3", Fixture("m22.mp3")};
        auto captures = PlayAll(files);
        REQUIRE(captures.size() == 2); // no device was opened for a failing file
        CHECK(SamePcm(captures[0]->pcm, ref44));
        CHECK(SamePcm(captures[1]->pcm, ref22));
        // Progress rises through each good file and ends every file, failing or not, at 100.
        const auto progress = Log().Progress(kWindow);
        CHECK(progress.back() == 100);
        CHECK(Ends() == int(files.size()));
        for (size_t i = 1; i < progress.size(); ++i)
            if (progress[i] != 100 && progress[i - 1] != 100) CHECK(progress[i] > progress[i - 1]);
    }
    SUBCASE("a file cut in the middle plays its whole frames") {
        const size_t half = good.size() / 2;
        WriteBytes(dir + "/half.mp3",
                   std::vector<uint8_t>(good.begin(), good.begin() + ptrdiff_t(half)));
        auto captures = PlayAll({dir + "/half.mp3"});
        REQUIRE(captures.size() == 1);
        CHECK(SamePcm(captures[0]->pcm, ReferencePcm(dir + "/half.mp3")));
        CHECK(captures[0]->pcm.size() > ref44.size() / 3);
    }
    SUBCASE("a device that cannot be opened, a prepare or a write refused") {
        for (DeviceScript script :
             {DeviceScript{.failOpen = true}, DeviceScript{.failPrepareAt = 5},
              DeviceScript{.failWriteAt = 7}}) {
            auto captures = PlayAll({Fixture("s44.mp3"), Fixture("m22.mp3")}, script);
            // Each file ends (the player moves on) and no device is left open.
            for (auto& c : captures)
                CHECK(c->closed);
        }
    }
}

TEST_CASE("pause and resume lose and repeat nothing") {
    UseFakePlatform();
    const auto reference = ReferencePcm(Fixture("s44.mp3"));
    SUBCASE("pauses all through the file") {
        Log().Clear({.blockMicros = 1500});
        WithPlayer("pausing", {Fixture("s44.mp3")}, 1, [&](void* player) {
            std::mt19937 rng(5);
            while (Ends() == 0) {
                Player().pause(player, 1);
                const int state = Player().state(player);
                CHECK((state == -1 || state == 0));
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
                Player().pause(player, 0);
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 6000));
            }
        });
        auto captures = Log().Captures();
        REQUIRE(captures.size() == 1);
        CHECK(SamePcm(captures[0]->pcm, reference));
    }
    SUBCASE("a pause while the last blocks play: the end still comes after the resume") {
        Log().Clear({.blockMicros = 20000});
        WithPlayer("pausing at the end", {Fixture("s44.mp3")}, 1, [&](void* player) {
            // The whole file fits in the output ring and the headers: once the
            // device has played a few blocks, every block is written and the
            // renderer waits for the device to finish.
            CHECK(WaitFor(
                [&] {
                    auto c = Log().Captures();
                    return !c.empty() && c[0]->played >= 10 * 4608;
                },
                30s));
            Player().pause(player, 1);
            std::this_thread::sleep_for(100ms);
            CHECK(Ends() == 0);
            Player().pause(player, 0);
            CHECK(WaitFor([&] { return Ends() == 1; }, 20s));
        });
        CHECK(SamePcm(Log().Captures()[0]->pcm, reference));
    }
}

TEST_CASE("loop counts") {
    UseFakePlatform();
    SUBCASE("a negative count: for ever until removed") {
        Log().Clear();
        WithPlayer("looping", {Fixture("m8.mp3")}, -5, [&](void*) {
            CHECK(WaitFor([&] { return Log().Captures().size() >= 4; }, 30s));
        });
    }
    SUBCASE("three times") {
        Log().Clear();
        WithPlayer("three loops", {Fixture("m8.mp3")}, 3, [&](void* player) {
            // Progress comes several times per pass; the end of the third pass is
            // the player standing still, however slow the machine.
            CHECK(WaitFor([&] { return Log().Progress(kWindow).size() >= 6; }, 30s));
            CHECK(WaitFor([&] { return Player().state(player) == 0; }, 45s));
        });
        CHECK(Log().Captures().size() == 3);
    }
    SUBCASE("an empty list makes a player that never plays") {
        void* player = Player().create("\0", 1);
        REQUIRE(player);
        Player().play(player);
        CHECK(Player().state(player) == 0);
        Player().pause(player, 1);
        CHECK(Player().state(player) == 0);
        Player().remove(player);
        CHECK(Player().state(nullptr) == 0);
    }
}

TEST_CASE("the controlling thread against the playing chain") {
    UseFakePlatform();
    SUBCASE("pause then remove, and a new play on a playing player") {
        Log().Clear();
        Watchdog("pause-remove and replay", 120s, [&] {
            std::mt19937 rng(11);
            for (int i = 0; i < Scaled(500); ++i) {
                void* player = Player().create(FileList({Fixture("long.mp3")}).c_str(), 1);
                Player().play(player);
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 2000));
                Player().newPlay(player, nullptr, 0);
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 2000));
                Player().pause(player, 1);
                Player().remove(player);
                REQUIRE(Log().alive == 0);
            }
        });
        CHECK(Log().maxAlive <= 1);
    }
    SUBCASE("a new play right at the end of a file skips nothing") {
        const std::vector<std::string> files = {Fixture("m8.mp3"), Fixture("m22.mp3"),
                                                Fixture("s22.mp3")};
        std::vector<std::vector<uint8_t>> refs;
        for (auto& f : files)
            refs.push_back(ReferencePcm(f));
        std::mt19937 rng(13);
        for (int round = 0; round < Scaled(20); ++round) {
            // Blocks take time on this device, as on a real one: 3 ms each.
            Log().Clear({.blockMicros = 3000});
            WithPlayer("new play at the end", files, 1, [&](void* player) {
                // Wait for the first file's last block, then press play again
                // within about 50 ms of its end.
                CHECK(WaitFor(
                    [&] {
                        auto c = Log().Captures();
                        return !c.empty() && c[0]->played >= refs[0].size();
                    },
                    30s));
                std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 50));
                Player().newPlay(player, kWindow, 0);
                CHECK(WaitFor([&] { return Ends() >= 3; }, 30s));
            });
            // Whatever the order of the two, the last two files play whole, in order.
            auto captures = Log().Captures();
            REQUIRE(captures.size() >= 3);
            const size_t n = captures.size();
            std::string sizes;
            for (auto& c : captures)
                sizes += std::to_string(c->pcm.size()) + " ";
            CAPTURE(sizes);
            CHECK(SamePcm(captures[n - 2]->pcm, refs[1]));
            CHECK(SamePcm(captures[n - 1]->pcm, refs[2]));
            CHECK(SamePcm(captures[0]->pcm, refs[0]));
        }
    }
    SUBCASE("removal while the device gives its blocks back late after the reset") {
        Log().Clear({.doneInsideReset = false, .resetLateMs = 30, .blockMicros = 1000});
        Watchdog("late callbacks", 60s, [&] {
            std::mt19937 rng(23);
            for (int i = 0; i < Scaled(20); ++i) {
                void* player = Player().create(FileList({Fixture("s44.mp3")}).c_str(), 1);
                Player().play(player);
                std::this_thread::sleep_for(std::chrono::milliseconds(5 + rng() % 20));
                Player().remove(player);
                CHECK(Log().alive == 0);
            }
        });
        // No header was unprepared while the device still held it, and every device
        // was closed once it had given them all back.
        for (auto& c : Log().Captures()) {
            CHECK(c->heldUnprepares == 0);
            CHECK(c->closed);
        }
    }
    SUBCASE("unplayable files looping for ever, removed at any moment") {
        const std::string dir = PLAYER_TEST_DIR;
        WriteBytes(dir + "/empty2.mp3", {});
        Log().Clear();
        Watchdog("unplayable loop", 60s, [&] {
            std::mt19937 rng(17);
            for (int i = 0; i < Scaled(40); ++i) {
                void* player = Player().create(
                    FileList({dir + "/nothing.mp3", dir + "/empty2.mp3"}).c_str(), 0);
                Player().play(player);
                std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 300));
                Player().remove(player);
            }
        });
        CHECK(Log().alive == 0);
    }
}

TEST_CASE("starting at a position") {
    UseFakePlatform();
    const auto reference = ReferencePcm(Fixture("long.mp3"));
    const size_t block = 4608;
    for (int percent : {1, 37, 50, 99}) {
        CAPTURE(percent);
        Log().Clear();
        WithPlayer(
            "seek", {Fixture("long.mp3")}, 1,
            [&](void*) {
                CHECK(WaitFor([&] { return Ends() == 1; }, 30s));
                CHECK(Log().Progress(kWindow).front() >= percent - 1);
            },
            percent);
        auto captures = Log().Captures();
        REQUIRE(captures.size() == 1);
        const auto& pcm = captures[0]->pcm;
        // About the rest of the file; after the first frames (the bit reservoir and
        // the filter state fill again) exactly the reference's samples.
        const double expected = double(reference.size()) * (100 - percent) / 100;
        CHECK(std::abs(double(pcm.size()) - expected) <=
              0.02 * double(reference.size()) + 2 * block);
        if (pcm.size() > 4 * block) {
            const size_t tail = pcm.size() - 4 * block;
            CHECK(std::equal(pcm.end() - ptrdiff_t(tail), pcm.end(),
                             reference.end() - ptrdiff_t(tail)));
        }
    }
}

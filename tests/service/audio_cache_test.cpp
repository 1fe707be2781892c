#include "audio_cache.h"
#include "content_key.h"
#include "test_support.h"

#include <doctest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

using namespace speech;
namespace fs = std::filesystem;

namespace {

std::string key(int n) {
    return contentKey("cmn", 175, "text " + std::to_string(n));
}

// An MPEG-2 Layer III frame header (48 kbit/s, 22,050 Hz, mono), then filler:
// what the cache accepts as audio.
std::string bytes(int n, std::size_t size) {
    std::string b(size, static_cast<char>('a' + n % 26));
    b.replace(0, 4, "\xFF\xF3\x60\xC4");
    return b;
}

std::size_t filesIn(const fs::path& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".mp3") ++n;
    return n;
}

} // namespace

TEST_CASE("stored files read back and survive a restart") {
    test::TempDir tmp;
    fs::path dir = tmp.path() / "cache";
    {
        AudioCache cache(dir, 1 << 20);
        CHECK_FALSE(cache.read(key(1)));
        cache.store(key(1), bytes(1, 1000));
        CHECK(cache.contains(key(1)));
        CHECK(cache.read(key(1)) == bytes(1, 1000));
        CHECK(test::readFile(dir / (key(1) + ".mp3")) == bytes(1, 1000));
        // Storing the same key again replaces, it does not double count.
        cache.store(key(1), bytes(1, 1000));
        CHECK(cache.totalBytes() == 1000);
    }
    AudioCache again(dir, 1 << 20);
    CHECK(again.fileCount() == 1);
    CHECK(again.read(key(1)) == bytes(1, 1000));
}

TEST_CASE("least recently used files go first when the cap is exceeded") {
    test::TempDir tmp;
    AudioCache cache(tmp.path(), 3000);
    cache.store(key(1), bytes(1, 1000));
    cache.store(key(2), bytes(2, 1000));
    cache.store(key(3), bytes(3, 1000));
    CHECK(cache.read(key(1))); // 1 is now more recent than 2
    cache.store(key(4), bytes(4, 1000));
    CHECK(cache.contains(key(1)));
    CHECK_FALSE(cache.contains(key(2)));
    CHECK_FALSE(fs::exists(tmp.path() / (key(2) + ".mp3")));
    CHECK(cache.contains(key(3)));
    CHECK(cache.contains(key(4)));
    CHECK(cache.totalBytes() == 3000);
    CHECK(filesIn(tmp.path()) == 3);

    SUBCASE("a file bigger than the cap is kept alone") {
        cache.store(key(5), bytes(5, 5000));
        CHECK(cache.fileCount() == 1);
        CHECK(cache.read(key(5)) == bytes(5, 5000));
        CHECK(filesIn(tmp.path()) == 1);
    }
}

TEST_CASE("a restart keeps the order of use and enforces a smaller cap") {
    test::TempDir tmp;
    {
        AudioCache cache(tmp.path(), 1 << 20);
        for (int i = 1; i <= 4; ++i)
            cache.store(key(i), bytes(i, 1000));
    }
    // Modification times record use; spread them so the order is unambiguous.
    auto now = fs::file_time_type::clock::now();
    for (int i = 1; i <= 4; ++i)
        fs::last_write_time(tmp.path() / (key(i) + ".mp3"), now - std::chrono::minutes(10 - i));
    fs::last_write_time(tmp.path() / (key(1) + ".mp3"), now); // 1 used last
    AudioCache cache(tmp.path(), 2500);
    CHECK(cache.fileCount() == 2);
    CHECK(cache.contains(key(1)));
    CHECK(cache.contains(key(4)));
    CHECK(filesIn(tmp.path()) == 2);
}

TEST_CASE("start-up removes leftovers of interrupted writes and ignores strangers") {
    test::TempDir tmp;
    {
        AudioCache cache(tmp.path(), 1 << 20);
        cache.store(key(1), bytes(1, 1000));
    }
    std::ofstream(tmp.path() / (".tmp-7-" + key(2))) << "half a file";
    std::ofstream(tmp.path() / "notes.txt") << "someone else's";
    std::ofstream(tmp.path() / "0123.mp3") << "not a key";
    AudioCache cache(tmp.path(), 1 << 20);
    CHECK(cache.fileCount() == 1);
    CHECK_FALSE(fs::exists(tmp.path() / (".tmp-7-" + key(2))));
    CHECK(fs::exists(tmp.path() / "notes.txt"));
    CHECK_FALSE(cache.read("0123"));
}

TEST_CASE("one service per cache directory") {
    test::TempDir tmp;
    AudioCache first(tmp.path(), 1 << 20);
    CHECK_THROWS_AS(AudioCache(tmp.path(), 1 << 20), std::runtime_error);
}

TEST_CASE("a file removed behind the cache's back is a miss, not an error") {
    test::TempDir tmp;
    AudioCache cache(tmp.path(), 1 << 20);
    cache.store(key(1), bytes(1, 1000));
    cache.store(key(2), bytes(2, 1000));
    CHECK(cache.refresh(key(1)));
    fs::remove(tmp.path() / (key(1) + ".mp3"));
    fs::remove(tmp.path() / (key(2) + ".mp3"));
    CHECK_FALSE(cache.read(key(1)));
    CHECK_FALSE(cache.refresh(key(2)));
    CHECK_FALSE(cache.contains(key(1)));
    CHECK_FALSE(cache.contains(key(2)));
    CHECK(cache.totalBytes() == 0);
}

TEST_CASE("a failed write leaves nothing under the key") {
    test::TempDir tmp;
    AudioCache cache(tmp.path(), 1 << 20);
    if (::geteuid() != 0) {
        ::chmod(tmp.path().c_str(), 0555);
        CHECK_THROWS_AS(cache.store(key(1), bytes(1, 1000)), std::runtime_error);
        ::chmod(tmp.path().c_str(), 0755);
    } else {
        // root writes anywhere; make the final name a directory so the rename fails.
        fs::create_directory(tmp.path() / (key(1) + ".mp3"));
        fs::create_directory(tmp.path() / (key(1) + ".mp3") / "x");
        CHECK_THROWS_AS(cache.store(key(1), bytes(1, 1000)), std::runtime_error);
    }
    CHECK_FALSE(cache.contains(key(1)));
    for (const auto& e : fs::directory_iterator(tmp.path()))
        CHECK_MESSAGE(!e.path().filename().string().starts_with(".tmp-"), e.path());
}

TEST_CASE("concurrent readers and a writer keep the index consistent") {
    test::TempDir tmp;
    AudioCache cache(tmp.path(), 20 * 1000);
    for (int i = 0; i < 20; ++i)
        cache.store(key(i), bytes(i, 1000));
    std::vector<std::thread> readers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                int i = (round * 7 + t) % 40;
                auto b = cache.read(key(i));
                if (b && *b != bytes(i, 1000)) ++wrong;
            }
        });
    for (int i = 20; i < 40; ++i)
        cache.store(key(i), bytes(i, 1000));
    for (auto& r : readers)
        r.join();
    CHECK(wrong == 0);
    CHECK(cache.totalBytes() <= 20000);
    CHECK(filesIn(tmp.path()) == cache.fileCount());
}

TEST_CASE("only regular MP3 files of plausible size are served from the cache") {
    // Whatever sits under a key name is checked when it would be served and
    // at start: a link (to any file the service can read), a pipe (which
    // would hang the request), an empty or damaged file. Each is removed, so
    // the text is synthesised again instead.
    test::TempDir tmp;
    fs::path dir = tmp.path() / "cache";
    fs::path secret = tmp.path() / "secret.mp3";
    std::ofstream(secret) << bytes(9, 1000);
    auto plant = [&](int n, const std::string& kind) {
        fs::path p = dir / (key(n) + ".mp3");
        fs::remove(p);
        if (kind == "link") fs::create_symlink(secret, p);
        if (kind == "fifo") REQUIRE(::mkfifo(p.c_str(), 0644) == 0);
        if (kind == "empty") std::ofstream{p};
        if (kind == "garbage") std::ofstream(p) << std::string(5000, 'x');
        if (kind == "short") std::ofstream(p) << bytes(n, 40);
        return p;
    };
    const std::vector<std::string> kinds = {"link", "fifo", "empty", "garbage", "short"};
    {
        AudioCache cache(dir, 1 << 20);
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            CAPTURE(kinds[i]);
            int n = static_cast<int>(i);
            cache.store(key(n), bytes(n, 1000));
            fs::path p = plant(n, kinds[i]); // replaced behind the cache's back
            CHECK_FALSE(cache.refresh(key(n)));
            CHECK_FALSE(fs::exists(fs::symlink_status(p)));
            cache.store(key(n), bytes(n, 1000));
            plant(n, kinds[i]);
            CHECK_FALSE(cache.read(key(n)));
            CHECK_FALSE(cache.contains(key(n)));
        }
        CHECK(cache.totalBytes() == 0);
        for (std::size_t i = 0; i < kinds.size(); ++i)
            plant(static_cast<int>(i), kinds[i]);
        cache.store(key(7), bytes(7, 1000));
    }
    AudioCache again(dir, 1 << 20); // at start: only the real file is indexed
    CHECK(again.fileCount() == 1);
    CHECK(again.read(key(7)) == bytes(7, 1000));
    CHECK(filesIn(dir) == 1);
    CHECK(test::readFile(secret) == bytes(9, 1000)); // the link's target is untouched
}

TEST_CASE("a write that fails reports the system's reason apart from the path") {
    test::TempDir tmp;
    fs::path dir = tmp.path() / "cache";
    AudioCache cache(dir, 1 << 20);
    fs::remove_all(dir); // the directory vanished: every write fails
    try {
        cache.store(key(1), bytes(1, 1000));
        FAIL("store succeeded without a directory");
    } catch (const CacheWriteError& e) {
        CHECK(std::string(e.what()).find(dir.string()) != std::string::npos);
        CHECK(e.reason.find('/') == std::string::npos);
        CHECK_FALSE(e.reason.empty());
    }
}

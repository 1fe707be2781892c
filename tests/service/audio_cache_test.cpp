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

std::string Key(int n) {
    return ContentKey("cmn", 175, "text " + std::to_string(n));
}

// An MPEG-2 Layer III frame header (48 kbit/s, 22,050 Hz, mono), then filler:
// what the cache accepts as audio.
std::string Bytes(int n, std::size_t size) {
    std::string b(size, static_cast<char>('a' + n % 26));
    b.replace(0, 4, "\xFF\xF3\x60\xC4");
    return b;
}

std::size_t FilesIn(const fs::path& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".mp3") ++n;
    return n;
}

} // namespace

TEST_CASE("stored files read back and survive a restart") {
    test::TempDir tmp;
    fs::path dir = tmp.Path() / "cache";
    {
        AudioCache cache(dir, 1 << 20);
        CHECK_FALSE(cache.Read(Key(1)));
        cache.Store(Key(1), Bytes(1, 1000));
        CHECK(cache.Contains(Key(1)));
        CHECK(cache.Read(Key(1)) == Bytes(1, 1000));
        CHECK(test::ReadFile(dir / (Key(1) + ".mp3")) == Bytes(1, 1000));
        // Storing the same key again replaces, it does not double count.
        cache.Store(Key(1), Bytes(1, 1000));
        CHECK(cache.TotalBytes() == 1000);
    }
    AudioCache again(dir, 1 << 20);
    CHECK(again.FileCount() == 1);
    CHECK(again.Read(Key(1)) == Bytes(1, 1000));
}

TEST_CASE("least recently used files go first when the cap is exceeded") {
    test::TempDir tmp;
    AudioCache cache(tmp.Path(), 3000);
    cache.Store(Key(1), Bytes(1, 1000));
    cache.Store(Key(2), Bytes(2, 1000));
    cache.Store(Key(3), Bytes(3, 1000));
    CHECK(cache.Read(Key(1))); // 1 is now more recent than 2
    cache.Store(Key(4), Bytes(4, 1000));
    CHECK(cache.Contains(Key(1)));
    CHECK_FALSE(cache.Contains(Key(2)));
    CHECK_FALSE(fs::exists(tmp.Path() / (Key(2) + ".mp3")));
    CHECK(cache.Contains(Key(3)));
    CHECK(cache.Contains(Key(4)));
    CHECK(cache.TotalBytes() == 3000);
    CHECK(FilesIn(tmp.Path()) == 3);

    SUBCASE("a file bigger than the cap is kept alone") {
        cache.Store(Key(5), Bytes(5, 5000));
        CHECK(cache.FileCount() == 1);
        CHECK(cache.Read(Key(5)) == Bytes(5, 5000));
        CHECK(FilesIn(tmp.Path()) == 1);
    }
}

TEST_CASE("a restart keeps the order of use and enforces a smaller cap") {
    test::TempDir tmp;
    {
        AudioCache cache(tmp.Path(), 1 << 20);
        for (int i = 1; i <= 4; ++i)
            cache.Store(Key(i), Bytes(i, 1000));
    }
    // Modification times record use; spread them so the order is unambiguous.
    auto now = fs::file_time_type::clock::now();
    for (int i = 1; i <= 4; ++i)
        fs::last_write_time(tmp.Path() / (Key(i) + ".mp3"), now - std::chrono::minutes(10 - i));
    fs::last_write_time(tmp.Path() / (Key(1) + ".mp3"), now); // 1 used last
    AudioCache cache(tmp.Path(), 2500);
    CHECK(cache.FileCount() == 2);
    CHECK(cache.Contains(Key(1)));
    CHECK(cache.Contains(Key(4)));
    CHECK(FilesIn(tmp.Path()) == 2);
}

TEST_CASE("start-up removes leftovers of interrupted writes and ignores strangers") {
    test::TempDir tmp;
    {
        AudioCache cache(tmp.Path(), 1 << 20);
        cache.Store(Key(1), Bytes(1, 1000));
    }
    std::ofstream(tmp.Path() / (".tmp-7-" + Key(2))) << "half a file";
    std::ofstream(tmp.Path() / "notes.txt") << "someone else's";
    std::ofstream(tmp.Path() / "0123.mp3") << "not a key";
    AudioCache cache(tmp.Path(), 1 << 20);
    CHECK(cache.FileCount() == 1);
    CHECK_FALSE(fs::exists(tmp.Path() / (".tmp-7-" + Key(2))));
    CHECK(fs::exists(tmp.Path() / "notes.txt"));
    CHECK_FALSE(cache.Read("0123"));
}

TEST_CASE("one service per cache directory") {
    test::TempDir tmp;
    AudioCache first(tmp.Path(), 1 << 20);
    CHECK_THROWS_AS(AudioCache(tmp.Path(), 1 << 20), std::runtime_error);
}

TEST_CASE("a file removed behind the cache's back is a miss, not an error") {
    test::TempDir tmp;
    AudioCache cache(tmp.Path(), 1 << 20);
    cache.Store(Key(1), Bytes(1, 1000));
    cache.Store(Key(2), Bytes(2, 1000));
    CHECK(cache.Refresh(Key(1)));
    fs::remove(tmp.Path() / (Key(1) + ".mp3"));
    fs::remove(tmp.Path() / (Key(2) + ".mp3"));
    CHECK_FALSE(cache.Read(Key(1)));
    CHECK_FALSE(cache.Refresh(Key(2)));
    CHECK_FALSE(cache.Contains(Key(1)));
    CHECK_FALSE(cache.Contains(Key(2)));
    CHECK(cache.TotalBytes() == 0);
}

TEST_CASE("concurrent readers and a writer keep the index consistent") {
    test::TempDir tmp;
    AudioCache cache(tmp.Path(), 20 * 1000);
    for (int i = 0; i < 20; ++i)
        cache.Store(Key(i), Bytes(i, 1000));
    std::vector<std::thread> readers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                int i = (round * 7 + t) % 40;
                auto b = cache.Read(Key(i));
                if (b && *b != Bytes(i, 1000)) ++wrong;
            }
        });
    for (int i = 20; i < 40; ++i)
        cache.Store(Key(i), Bytes(i, 1000));
    for (auto& r : readers)
        r.join();
    CHECK(wrong == 0);
    CHECK(cache.TotalBytes() <= 20000);
    CHECK(FilesIn(tmp.Path()) == cache.FileCount());
}

TEST_CASE("only regular MP3 files of plausible size are served from the cache") {
    // Whatever sits under a key name is checked when it would be served and
    // at start: a link (to any file the service can read), a pipe (which
    // would hang the request), an empty or damaged file. Each is removed, so
    // the text is synthesised again instead.
    test::TempDir tmp;
    fs::path dir = tmp.Path() / "cache";
    fs::path secret = tmp.Path() / "secret.mp3";
    std::ofstream(secret) << Bytes(9, 1000);
    auto plant = [&](int n, const std::string& kind) {
        fs::path p = dir / (Key(n) + ".mp3");
        fs::remove(p);
        if (kind == "link") fs::create_symlink(secret, p);
        if (kind == "fifo") REQUIRE(::mkfifo(p.c_str(), 0644) == 0);
        if (kind == "empty") std::ofstream{p};
        if (kind == "garbage") std::ofstream(p) << std::string(5000, 'x');
        if (kind == "short") std::ofstream(p) << Bytes(n, 40);
        return p;
    };
    const std::vector<std::string> kinds = {"link", "fifo", "empty", "garbage", "short"};
    {
        AudioCache cache(dir, 1 << 20);
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            CAPTURE(kinds[i]);
            int n = static_cast<int>(i);
            cache.Store(Key(n), Bytes(n, 1000));
            fs::path p = plant(n, kinds[i]); // replaced behind the cache's back
            CHECK_FALSE(cache.Refresh(Key(n)));
            CHECK_FALSE(fs::exists(fs::symlink_status(p)));
            cache.Store(Key(n), Bytes(n, 1000));
            plant(n, kinds[i]);
            CHECK_FALSE(cache.Read(Key(n)));
            CHECK_FALSE(cache.Contains(Key(n)));
        }
        CHECK(cache.TotalBytes() == 0);
        for (std::size_t i = 0; i < kinds.size(); ++i)
            plant(static_cast<int>(i), kinds[i]);
        cache.Store(Key(7), Bytes(7, 1000));
    }
    AudioCache again(dir, 1 << 20); // at start: only the real file is indexed
    CHECK(again.FileCount() == 1);
    CHECK(again.Read(Key(7)) == Bytes(7, 1000));
    CHECK(FilesIn(dir) == 1);
    CHECK(test::ReadFile(secret) == Bytes(9, 1000)); // the link's target is untouched
}

TEST_CASE("a failed write leaves nothing under the key and reports the system's reason apart from "
          "the path") {
    test::TempDir tmp;
    fs::path dir = tmp.Path() / "cache";
    AudioCache cache(dir, 1 << 20);
    if (::geteuid() != 0) {
        ::chmod(dir.c_str(), 0555);
    } else {
        // root writes anywhere; make the final name a directory so the rename fails.
        fs::create_directory(dir / (Key(1) + ".mp3"));
        fs::create_directory(dir / (Key(1) + ".mp3") / "x");
    }
    try {
        cache.Store(Key(1), Bytes(1, 1000));
        FAIL("store succeeded in a directory it cannot write");
    } catch (const CacheWriteError& e) {
        CHECK(std::string(e.what()).find(dir.string()) != std::string::npos);
        CHECK(e.reason.find('/') == std::string::npos);
        CHECK_FALSE(e.reason.empty());
    }
    ::chmod(dir.c_str(), 0755);
    CHECK_FALSE(cache.Contains(Key(1)));
    for (const auto& e : fs::directory_iterator(dir))
        CHECK_MESSAGE(!e.path().filename().string().starts_with(".tmp-"), e.path());
}

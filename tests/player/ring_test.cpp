// The byte rings between the chain stages: result codes, the overflow area,
// event places, the waits of reset and event queuing, and a two-thread stress;
// the stages' bounded semaphore wait.
#include <doctest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "player_support.h"
#include "playback/chain_element.h"
#include "playback/stream_ring.h"

using namespace mp3;
using namespace std::chrono_literals;

namespace {

void Put(StreamRing& ring, const char* text) {
    uint8_t* p;
    const size_t n = std::strlen(text);
    REQUIRE(ring.BeginWrite(&p, n) == kRingOk);
    std::memcpy(p, text, n);
    REQUIRE(ring.EndWrite(n) == kRingOk);
}

std::string Take(StreamRing& ring, size_t n) {
    const uint8_t* p;
    REQUIRE(ring.BeginRead(&p, n) == kRingOk);
    std::string s(reinterpret_cast<const char*>(p), n);
    REQUIRE(ring.EndRead(n) == kRingOk);
    return s;
}

} // namespace

TEST_CASE("ring result codes and free space") {
    StreamRing ring(16, 8);
    uint8_t* w;
    const uint8_t* r;
    CHECK(ring.Free() == 16);
    CHECK(ring.BeginWrite(&w, 25) == kRingNoSpace); // 16 + 8 would wrap onto itself
    CHECK(ring.BeginRead(&r, 1) == kRingShort);
    Put(ring, "abcdefghij");
    CHECK(ring.Free() == 6);
    CHECK(ring.BeginWrite(&w, 7) == kRingNoSpace); // 6 left before the end, none behind
    CHECK(ring.Resize(8, 0) == kRingNoSpace);      // smaller than what is stored
    CHECK(Take(ring, 4) == "abcd");
    CHECK(ring.Free() == 10);
    CHECK(ring.Resize(32, 8) == kRingNotAtStart);
    CHECK(ring.BeginRead(&r, 7) == kRingShort);
    ring.SetEndOfStream();
    CHECK(ring.BeginRead(&r, 7) == kRingEnded);
    CHECK(Take(ring, 6) == "efghij");
    CHECK(ring.Reset() == kRingOk);
    CHECK_FALSE(ring.EndOfStream());
    CHECK(ring.Stored() == 0);
    CHECK(ring.Resize(64, 0) == kRingOk);
    CHECK(ring.Free() == 64);

    ring.Close();
    CHECK(ring.BeginWrite(&w, 1) == kRingClosing);
    CHECK(ring.EndWrite(0) == kRingClosing);
    CHECK(ring.BeginRead(&r, 1) == kRingClosing);
    CHECK(ring.EndRead(0) == kRingClosing);
    CHECK(ring.Reset() == kRingClosing);
    CHECK(ring.Resize(64, 0) == kRingClosing);
}

TEST_CASE("a bounded semaphore wait: a token taken at once, a release ends it, else time out") {
    Semaphore s;
    s.Release();
    const auto t0 = std::chrono::steady_clock::now();
    CHECK(s.AcquireFor(2000ms)); // the token was already there
    CHECK(std::chrono::steady_clock::now() - t0 < 1000ms);
    // No token: the wait ends when its time is up, and takes nothing from a later
    // release.
    const auto t1 = std::chrono::steady_clock::now();
    CHECK_FALSE(s.AcquireFor(30ms));
    CHECK(std::chrono::steady_clock::now() - t1 >= 25ms);
    // A release from another thread ends a long wait early.
    std::thread releaser([&] {
        std::this_thread::sleep_for(20ms);
        s.Release();
    });
    const auto t2 = std::chrono::steady_clock::now();
    CHECK(s.AcquireFor(5000ms));
    CHECK(std::chrono::steady_clock::now() - t2 < 2500ms);
    releaser.join();
    CHECK_FALSE(s.AcquireFor(1ms)); // the one token went to the one wait
}

TEST_CASE("a run across the end is one block through the overflow area") {
    StreamRing ring(16, 8);
    Put(ring, "0123456789AB");
    CHECK(Take(ring, 12) == "0123456789AB");
    // Write index 12: four bytes to the end, the rest through the overflow area.
    Put(ring, "abcdefghij");
    CHECK(Take(ring, 10) == "abcdefghij");

    SUBCASE("a wrapping run longer than the overflow area") {
        StreamRing small(16, 2);
        Put(small, "0123456789AB");
        CHECK(Take(small, 12) == "0123456789AB");
        Put(small, "abcd");
        Put(small, "efgh");
        const uint8_t* r;
        CHECK(small.BeginRead(&r, 8) == kRingOverflowTooSmall);
        CHECK(small.BeginRead(&r, 6) == kRingOk);
        CHECK(std::string(reinterpret_cast<const char*>(r), 6) == "abcdef");
    }
    SUBCASE("an empty ring never grants more than its size") {
        StreamRing empty(16, 8);
        Put(empty, "0123");
        CHECK(Take(empty, 4) == "0123");
        uint8_t* w;
        CHECK(empty.BeginWrite(&w, 17) == kRingNoSpace);
        Put(empty, "ABCDEFGHIJKLMNOP");
        CHECK(empty.Stored() == 16);
        CHECK(Take(empty, 16) == "ABCDEFGHIJKLMNOP");
    }
    SUBCASE("resize keeps the stored bytes") {
        StreamRing r2(16, 0);
        Put(r2, "hello");
        CHECK(r2.Resize(32, 4) == kRingOk);
        CHECK(r2.Size() == 32);
        Put(r2, " world");
        CHECK(Take(r2, 11) == "hello world");
    }
}

TEST_CASE("events are due where they were queued, even in a full ring") {
    EventRing ring(8, 0);
    const uint8_t* r;
    REQUIRE(ring.QueueEvent(std::make_unique<ChainEvent>(ChainEvent::kStreamFormat)) == kRingOk);
    // An event ahead of a shortage is reported first.
    CHECK(ring.BeginRead(&r, 4) == kRingEventDue);
    CHECK(ring.TakeEvent()->type == ChainEvent::kStreamFormat);
    CHECK(ring.BeginRead(&r, 4) == kRingShort);

    Put(ring, "12345678"); // full: read and write index coincide
    REQUIRE(ring.QueueEvent(std::make_unique<ChainEvent>(ChainEvent::kEndOfStream)) == kRingOk);
    CHECK(ring.BeginRead(&r, 4) == kRingOk);
    CHECK(ring.EndRead(4) == kRingOk);
    CHECK(ring.BeginRead(&r, 4) == kRingOk);
    CHECK(ring.BeginRead(&r, 5) == kRingEventDue);
    CHECK(ring.EndRead(4) == kRingOk);
    CHECK(ring.BeginRead(&r, 1) == kRingEventDue);
    CHECK(ring.TakeEvent()->type == ChainEvent::kEndOfStream);
    CHECK(ring.TakeEvent() == nullptr);
}

TEST_CASE("waits inside a ring end when it closes") {
    playertest::Watchdog("ring waits", 10s, [] {
        EventRing ring(64, 0);
        uint8_t* w;
        REQUIRE(ring.BeginWrite(&w, 8) == kRingOk); // a write left pending
        std::atomic<int> queued{-1};
        std::thread waiter([&] {
            queued = ring.QueueEvent(std::make_unique<ChainEvent>(ChainEvent::kEndOfStream));
        });
        std::this_thread::sleep_for(30ms);
        CHECK(queued == -1); // still waiting for the write to end
        ring.Close();
        waiter.join();
        CHECK(queued == kRingClosing);

        StreamRing input(64, 8);
        Put(input, "abc");
        const uint8_t* r;
        REQUIRE(input.BeginRead(&r, 2) == kRingOk); // a read left pending
        std::atomic<int> reset{-1};
        std::thread resetter([&] { reset = input.Reset(); });
        std::this_thread::sleep_for(30ms);
        CHECK(reset == -1);
        SUBCASE("the read ends") {
            input.EndRead(2);
            resetter.join();
            CHECK(reset == kRingOk);
            CHECK(input.Stored() == 0);
        }
        SUBCASE("the ring closes") {
            input.Close();
            resetter.join();
            CHECK(reset == kRingClosing);
        }
    });
}

TEST_CASE("ring stress: random chunks through the overflow area arrive intact") {
    // The reader thread of a file source and a frame decoder, at their sizes: up
    // to 8,192 bytes written at a time, windows of up to 4,323 bytes read.
    const size_t total = size_t(playertest::Scaled(40)) << 20;
    StreamRing ring(65536, 8192);
    uint32_t sentSum = 0, receivedSum = 0;
    size_t received = 0;
    playertest::Watchdog("ring stress", 120s, [&] {
        std::thread producer([&] {
            std::mt19937 rng(1);
            std::mt19937 data(7);
            size_t sent = 0;
            while (sent < total) {
                const size_t n = std::min<size_t>(1 + rng() % 8192, total - sent);
                uint8_t* p;
                const int rc = ring.BeginWrite(&p, n);
                if (rc == kRingNoSpace) {
                    std::this_thread::yield();
                    continue;
                }
                REQUIRE(rc == kRingOk);
                for (size_t i = 0; i < n; ++i) {
                    p[i] = uint8_t(data());
                    sentSum = sentSum * 31 + p[i];
                }
                ring.EndWrite(n);
                sent += n;
            }
            ring.SetEndOfStream();
        });
        std::mt19937 rng(2);
        for (;;) {
            size_t n = 1 + rng() % 4323;
            const uint8_t* p;
            int rc = ring.BeginRead(&p, n);
            if (rc == kRingShort) {
                std::this_thread::yield();
                continue;
            }
            if (rc == kRingEnded) {
                n = ring.Stored();
                if (n == 0) break;
                rc = ring.BeginRead(&p, n);
            }
            REQUIRE(rc == kRingOk);
            // Sometimes only part of the window is used, as the decoder does.
            const size_t used = rng() % 4 == 0 ? n / 2 : n;
            for (size_t i = 0; i < used; ++i)
                receivedSum = receivedSum * 31 + p[i];
            ring.EndRead(used);
            received += used;
        }
        producer.join();
    });
    CHECK(received == total);
    CHECK(receivedSum == sentSum);
}

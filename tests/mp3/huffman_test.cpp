// Huffman decoding against every code word of the table files.
#include <doctest.h>

#include <random>
#include <set>

#include "huffman.h"
#include "tables_data.h"
#include "test_support.h"

using namespace mp3;

namespace {

// Decodes one code word followed by `tail` and checks value and length.
void CheckCode(const data::HuffCode& c, bool quad, int table, uint32_t tail) {
    mp3test::BitWriter w;
    w.Put(c.code, c.len);
    w.Put(tail, 32);
    std::vector<uint8_t> bytes = w.Bytes(w.Bits() / 8 + 16);
    BitReader br(bytes.data(), bytes.size() - 8);
    const HuffmanDecoder& h = HuffmanDecoder::Get();
    const int value = quad ? h.DecodeQuadCode(table, br) : h.DecodePairCode(table, br);
    CHECK(value == c.value);
    CHECK(br.Position() == c.len);
}

} // namespace

TEST_CASE("every code word of every table decodes to its value and length") {
    const uint32_t tails[] = {0x00000000u, 0xFFFFFFFFu, 0xA5A5A5A5u, 0x5A5A5A5Au};
    int checked = 0;
    for (int t = 0; t < 32; ++t) {
        const auto& tab = data::kBigValueTables[t];
        std::set<int> values;
        for (int i = 0; i < tab.count; ++i) {
            values.insert(tab.codes[i].value);
            for (uint32_t tail : tails)
                CheckCode(tab.codes[i], false, t, tail);
            ++checked;
        }
        // Each table lists every pair once.
        CHECK(int(values.size()) == tab.xmax * tab.xmax);
    }
    for (int t = 0; t < 2; ++t) {
        const auto& tab = data::kCount1Tables[t];
        CHECK(tab.count == 16);
        for (int i = 0; i < tab.count; ++i)
            for (uint32_t tail : tails)
                CheckCode(tab.codes[i], true, t, tail);
    }
    CHECK(checked > 2000);
}

TEST_CASE("tables without code words read nothing") {
    const uint8_t bytes[16] = {0xFF, 0xFF};
    for (int t : {0, 4, 14}) {
        BitReader br(bytes, 8);
        int32_t out[4] = {9, 9, 9, 9};
        HuffmanDecoder::Get().DecodePairs(t, br, out, 4);
        CHECK(br.Position() == 0);
        CHECK(out[0] == 0);
        CHECK(out[3] == 0);
    }
}

namespace {

const data::HuffCode& CodeFor(int table, int x, int y) {
    const auto& tab = data::kBigValueTables[table];
    for (int i = 0; i < tab.count; ++i)
        if (tab.codes[i].value == x * 16 + y) return tab.codes[i];
    FAIL("no such pair");
    return tab.codes[0];
}

} // namespace

TEST_CASE("pairs with linbits and signs") {
    // Table 13 (no linbits), 24 (linbits 4) and 31 (linbits 13): escapes, signs,
    // zeros without sign.
    struct Pair {
        int x, y;
    };
    for (int table : {13, 24, 31}) {
        CAPTURE(table);
        const int linbits = data::kBigValueTables[table].linbits;
        const Pair pairs[] = {{0, 0}, {-1, 3}, {15 + 5, -2}, {0, -(15 + 7)}, {-(15 + 1), 15}};
        const Pair plain[] = {{0, 0}, {-1, 3}, {15, -2}, {0, -14}, {-15, 0}};
        mp3test::BitWriter w;
        for (const Pair& p : linbits ? pairs : plain) {
            const int ax = p.x < 0 ? -p.x : p.x, ay = p.y < 0 ? -p.y : p.y;
            const auto& c = CodeFor(table, ax > 15 ? 15 : ax, ay > 15 ? 15 : ay);
            w.Put(c.code, c.len);
            if (ax >= 15) w.Put(uint32_t(ax - 15), linbits);
            if (ax) w.Put(p.x < 0, 1);
            if (ay >= 15) w.Put(uint32_t(ay - 15), linbits);
            if (ay) w.Put(p.y < 0, 1);
        }
        const size_t bits = w.Bits();
        std::vector<uint8_t> bytes = w.Bytes(bits / 8 + 16);
        BitReader br(bytes.data(), bytes.size() - 8);
        int32_t out[10];
        HuffmanDecoder::Get().DecodePairs(table, br, out, 10);
        CHECK(br.Position() == bits);
        for (int i = 0; i < 5; ++i) {
            CHECK(out[2 * i] == (linbits ? pairs : plain)[i].x);
            CHECK(out[2 * i + 1] == (linbits ? pairs : plain)[i].y);
        }
    }
}

TEST_CASE("quadruples with signs, up to the end of the part") {
    // Table A and B: each non-zero value is followed by its sign; decoding stops at
    // the part's end, whatever follows it.
    const int quads[][4] = {{0, 0, 0, 0}, {-1, 0, 1, -1}, {1, -1, -1, 1}, {0, -1, 0, 0}};
    for (int table : {0, 1}) {
        CAPTURE(table);
        const auto& tab = data::kCount1Tables[table];
        mp3test::BitWriter w;
        for (const auto& q : quads) {
            int value = 0;
            for (int k = 0; k < 4; ++k)
                value = value * 2 + (q[k] != 0);
            for (int i = 0; i < tab.count; ++i)
                if (tab.codes[i].value == value) w.Put(tab.codes[i].code, tab.codes[i].len);
            for (int k = 0; k < 4; ++k)
                if (q[k]) w.Put(q[k] < 0, 1);
        }
        const size_t partEnd = w.Bits();
        w.Put(0xFFFFFFFFu, 32); // what follows the part: more quadruples, if read
        std::vector<uint8_t> bytes = w.Bytes(w.Bits() / 8 + 16);
        BitReader plain(bytes.data(), bytes.size() - 8);
        CachedBits br(plain);
        int32_t is[576] = {};
        CHECK(HuffmanDecoder::Get().DecodeQuads(table, br, partEnd, is, 100) == 116);
        CHECK(br.Position() == partEnd);
        for (int i = 0; i < 16; ++i)
            CHECK(is[100 + i] == quads[i / 4][i % 4]);
        CHECK(is[116] == 0);
    }
}

TEST_CASE("the bit reader reads fields of 1 to 32 bits at every bit offset") {
    // Against a bit-at-a-time reading of the same bytes (the 32-bit build takes a
    // fifth byte apart for the bits after the first four).
    std::mt19937 rng(5);
    std::vector<uint8_t> bytes(64 + kBitReaderSlack, 0);
    for (size_t i = 0; i < 64; ++i)
        bytes[i] = uint8_t(rng());
    auto bit = [&](size_t at) { return uint32_t(bytes[at / 8] >> (7 - at % 8) & 1); };
    for (unsigned start = 0; start < 16; ++start) {
        BitReader br(bytes.data(), 64);
        br.SetPosition(start);
        size_t at = start;
        while (at + 32 <= 64 * 8) {
            const unsigned width = 1 + rng() % 32;
            uint32_t expect = 0;
            for (unsigned k = 0; k < width; ++k)
                expect = expect << 1 | bit(at + k);
            REQUIRE(br.Read(width) == expect);
            at += width;
        }
    }
}

TEST_CASE("the bit cache reads what the bit reader reads") {
    std::mt19937 rng(11);
    std::vector<uint8_t> bytes(300 + kBitReaderSlack, 0);
    for (size_t i = 0; i < 300; ++i)
        bytes[i] = uint8_t(rng());
    for (unsigned start : {0u, 3u, 13u, 64u}) {
        CAPTURE(start);
        BitReader plain(bytes.data(), 300);
        plain.SetPosition(start);
        CachedBits cached(plain);
        CHECK(cached.Position() == start);
        // Fields of 1 to kReady bits (32 on 64-bit targets, 25 on 32-bit ones),
        // refilling before each as the decoders do, up to and past the end of the
        // data: there both give zeros.
        while (plain.Position() < 300 * 8 + 64) {
            const unsigned width = 1 + rng() % CachedBits::kReady;
            cached.Refill();
            const uint32_t expect = plain.Read(width);
            REQUIRE(cached.Read(width) == expect);
            REQUIRE(cached.Position() == plain.Position());
        }
        // Finish hands the position back.
        BitReader back(bytes.data(), 300);
        cached.Finish(back);
        CHECK(back.Position() == plain.Position());
        CHECK(back.Overrun());
    }
}

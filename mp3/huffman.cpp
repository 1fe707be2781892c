#include "huffman.h"

#include <algorithm>
#include <type_traits>

#include "simd.h"
#include "tables_data.h"

namespace mp3 {

struct HuffCodeList {
    std::vector<data::HuffCode> codes;
};

namespace {

constexpr uint32_t kLeaf = 0x80000000u;
constexpr int kMaxRootBits = 8;

// A leaf: the value, the code word's bits left at this level, and those plus one
// sign bit per non-zero value (x and y of a pair, or v, w, x and y of a quadruple:
// the value's bits 4-7 and 0-3, or its four low bits). The decoding loops skip a
// whole code word with its signs in one step (values with linbits excepted).
uint32_t LeafEntry(int length, int value, bool quad) {
    const int signs =
        quad ? __builtin_popcount(unsigned(value) & 15) : ((value >> 4) != 0) + ((value & 15) != 0);
    return kLeaf | uint32_t(length + signs) << 16 | uint32_t(length) << 8 | uint32_t(value);
}

// Fills a table of 2^bits entries at the end of out for the codes below a prefix of
// `consumed` bits; longer codes get sub-tables. Returns the table's index.
size_t BuildLevel(std::vector<uint32_t>& out, const std::vector<data::HuffCode>& codes,
                  int consumed, int bits, bool quad) {
    const size_t base = out.size();
    // A complete code fills every slot; a slot left over (never for the standard's
    // tables) decodes as value 0 of length 1 rather than looping.
    out.resize(base + (size_t(1) << bits), LeafEntry(1, 0, quad));
    std::vector<std::vector<data::HuffCode>> groups(size_t(1) << bits);
    for (const auto& c : codes) {
        int rest = c.len - consumed;
        uint32_t tail = c.code & ((uint32_t(1) << rest) - 1); // bits after the prefix
        if (rest <= bits) {
            uint32_t first = tail << (bits - rest);
            uint32_t count = uint32_t(1) << (bits - rest);
            for (uint32_t i = 0; i < count; ++i)
                out[base + first + i] = LeafEntry(rest, c.value, quad);
        } else {
            groups[tail >> (rest - bits)].push_back(c);
        }
    }
    for (size_t g = 0; g < groups.size(); ++g) {
        if (groups[g].empty()) continue;
        int longest = 0;
        for (const auto& c : groups[g])
            longest = std::max(longest, int(c.len));
        int subBits = longest - consumed - bits;
        size_t sub = BuildLevel(out, groups[g], consumed + bits, subBits, quad);
        out[base + g] = uint32_t(sub) << 8 | uint32_t(subBits);
    }
    return base;
}

// Applies the sign bit that follows a non-zero value, without a branch on the
// (unpredictable) sign.
inline int Signed(int value, CachedBits& br) {
    const int present = value != 0;
    const int negative = int(br.Peek32() >> 31) & present;
    br.Skip(unsigned(present));
    return (value ^ -negative) + negative;
}

} // namespace

HuffmanDecoder::Lookup HuffmanDecoder::Build(const HuffCodeList& list, bool quad) {
    Lookup l;
    if (list.codes.empty()) return l;
    int longest = 0;
    for (const auto& c : list.codes)
        longest = std::max(longest, int(c.len));
    l.rootBits = std::min(longest, kMaxRootBits);
    BuildLevel(l.entries, list.codes, 0, l.rootBits, quad);
    return l;
}

HuffmanDecoder::HuffmanDecoder() {
    for (int t = 0; t < 32; ++t) {
        const auto& tab = data::kBigValueTables[t];
        HuffCodeList list{std::vector<data::HuffCode>(tab.codes, tab.codes + tab.count)};
        pairs_[t] = Build(list, false);
        for (const auto& c : list.codes)
            longestPairCode_ = std::max(longestPairCode_, int(c.len));
    }
    for (int t = 0; t < 2; ++t) {
        const auto& tab = data::kCount1Tables[t];
        HuffCodeList list{std::vector<data::HuffCode>(tab.codes, tab.codes + tab.count)};
        quads_[t] = Build(list, true);
    }
}

const HuffmanDecoder& HuffmanDecoder::Get() {
    static const HuffmanDecoder instance;
    return instance;
}

void HuffmanDecoder::DecodePairs(int t, CachedBits& bits, int32_t* out, int count) const {
    const Lookup& l = pairs_[t];
    if (l.rootBits == 0) {
        if (count > 0) ActiveKernels().clearWords(out, count);
        return;
    }
    // The loops work on a local copy, written back at the end: the fields of the
    // caller's object could alias the values stored to out (both 32-bit integers on
    // 32-bit targets), and the compiler would store and reload them per value.
    CachedBits br = bits;
    struct WriteBack {
        CachedBits& to;
        const CachedBits& from;
        ~WriteBack() { to = from; }
    } writeBack{bits, br};
    const uint32_t* table = l.entries.data();
    const unsigned rootBits = unsigned(l.rootBits);
    const unsigned linbits = unsigned(data::kBigValueTables[t].linbits);
    // Values [from, to), with or without the refills' bounds check.
    auto run = [&](auto checked, int from, int to) {
        constexpr bool kChecked = decltype(checked)::value;
        if (linbits == 0) {
            // A code word (at most 19 bits) and two signs: one refill per pair. The
            // position moves past both signs at once, so that the next pair's
            // lookup need not wait for them.
            for (int i = from; i < to; i += 2) {
                br.Refill<kChecked>();
                uint32_t signs;
                const uint32_t e = DecodeWithSigns(table, rootBits, br, signs);
                const int x = int(e >> 4 & 15), y = int(e & 15);
                const int xSigned = x != 0;
                const int xNegative = int(signs >> 31) & xSigned;
                const int yNegative = int((signs << xSigned) >> 31) & (y != 0);
                out[i] = (x ^ -xNegative) + xNegative;
                out[i + 1] = (y ^ -yNegative) + yNegative;
            }
            return;
        }
        for (int i = from; i < to; i += 2) {
            br.Refill<kChecked>();
            const int v = DecodeWith(table, rootBits, br);
            int x = v >> 4;
            int y = v & 15;
            // Linbits (up to 13) and a sign for one value and a sign for the other fit
            // in what one refill leaves ready; only two escapes in a pair need a second.
            static_assert(CachedBits::kReady >= 13 + 1 + 1);
            br.Refill<kChecked>();
            if (x == 15) {
                x += int(br.Read(linbits));
                if (y == 15) br.Refill<kChecked>();
            }
            x = Signed(x, br);
            if (y == 15) y += int(br.Read(linbits));
            y = Signed(y, br);
            out[i] = x;
            out[i + 1] = y;
        }
    };
    // Runs of pairs that cannot reach the end of the data, however long their code
    // words and escapes, go without the bounds check; the pairs near the end keep it.
    const size_t pairBits = size_t(longestPairCode_) + 2 * (linbits + 1);
    int i = 0;
    while (i < count) {
        const size_t pos = br.Position();
        const size_t until = br.UncheckedUntil();
        const size_t pairs = pos < until ? (until - pos) / pairBits : 0;
        if (pairs == 0) {
            run(std::true_type(), i, count);
            break;
        }
        const int end = pairs >= size_t(count - i) / 2 ? count : i + 2 * int(pairs);
        run(std::false_type(), i, end);
        i = end;
    }
}

int HuffmanDecoder::DecodeQuads(int t, CachedBits& bits, size_t partEnd, int32_t* is,
                                int start) const {
    // A local copy of the cache, as for the pairs.
    CachedBits br = bits;
    const uint32_t* table = quads_[t].entries.data();
    const unsigned rootBits = unsigned(quads_[t].rootBits);
    int i = start;
    while (i + 4 <= 576 && br.Position() < partEnd) {
        br.Refill(); // a code word of at most 6 bits and four signs
        uint32_t signs;
        const uint32_t e = DecodeWithSigns(table, rootBits, br, signs);
        const int q = int(e & 15);
        int32_t v[4] = {q >> 3 & 1, q >> 2 & 1, q >> 1 & 1, q & 1};
        for (int k = 0; k < 4; ++k) {
            // A sign bit follows each non-zero value.
            const int32_t negative = int32_t(signs >> 31) & v[k];
            signs <<= v[k];
            v[k] -= 2 * negative;
        }
        if (br.Position() > partEnd) break; // a code word cut by the part's end is not used
        is[i] = v[0], is[i + 1] = v[1], is[i + 2] = v[2], is[i + 3] = v[3];
        i += 4;
    }
    bits = br;
    return i;
}

} // namespace mp3

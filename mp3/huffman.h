// Layer III Huffman decoding: the big-value pair tables 0..31 and the count1
// quadruple tables A and B, as multi-level lookup tables built once from the code
// words of tables_data.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include "bit_reader.h"

namespace mp3 {

struct HuffCodeList;

class HuffmanDecoder {
  public:
    static const HuffmanDecoder& Get(); // built on first use

    // One code word of big-value table t (0..31), before linbits and signs:
    // x * 16 + y. Table 0 and the unused tables 4 and 14 read nothing and give 0.
    int DecodePairCode(int t, BitReader& br) const { return Decode(pairs_[t], br); }
    // One code word of quadruple table A (0) or B (1): v * 8 + w * 4 + x * 2 + y.
    int DecodeQuadCode(int t, BitReader& br) const { return Decode(quads_[t], br); }
    // The same through a bit cache (Refill first: a code word has at most 19 bits).
    int DecodeQuadCode(int t, CachedBits& bits) const { return Decode(quads_[t], bits); }

    // count values (an even number) of big-value table t into out, with linbits
    // and signs.
    void DecodePairs(int t, BitReader& br, int32_t* out, int count) const {
        CachedBits bits(br);
        DecodePairs(t, bits, out, count);
        bits.Finish(br);
    }
    void DecodePairs(int t, CachedBits& bits, int32_t* out, int count) const;
    // count1 quadruples of table t (0 or 1) from is[start] on while the position is
    // before partEnd, each value with its sign; a quadruple that ends past partEnd is
    // dropped. Returns the line after the last one decoded (at most 576).
    int DecodeQuads(int t, CachedBits& bits, size_t partEnd, int32_t* is, int start) const;

  private:
    struct Lookup {
        std::vector<uint32_t> entries;
        int rootBits = 0; // 0: no code words, nothing to read
    };
    HuffmanDecoder();
    static Lookup Build(const HuffCodeList& codes, bool quad);
    template <class Reader> static int Decode(const Lookup& l, Reader& br) {
        if (l.rootBits == 0) return 0;
        return DecodeWith(l.entries.data(), unsigned(l.rootBits), br);
    }
    // The same with the table's fields in locals: a loop that stores decoded values
    // (integers, which could alias rootBits) then need not reload them per value.
    template <class Reader>
    static int DecodeWith(const uint32_t* t, unsigned rootBits, Reader& br) {
        unsigned used;
        const uint32_t e = FindLeaf(t, rootBits, br.Peek32(), used);
        br.Skip(used + ((e >> 8) & 0xFF));
        return int(e & 0xFF);
    }
    // A code word and the sign bits of its non-zero values in one step (tables
    // without linbits, or a pair without escapes): returns the leaf and sets signs to
    // the bits after the code word, left-aligned, the first value's sign first.
    template <class Reader>
    static uint32_t DecodeWithSigns(const uint32_t* t, unsigned rootBits, Reader& br,
                                    uint32_t& signs) {
        const uint32_t bits = br.Peek32();
        unsigned used;
        const uint32_t e = FindLeaf(t, rootBits, bits, used);
        br.Skip(used + (e >> 16 & 0xFF));
        signs = bits << (used + (e >> 8 & 0xFF));
        return e;
    }
    // The leaf for the code word at the start of bits (left-aligned); used is set to
    // the bits the levels above the leaf's took.
    static uint32_t FindLeaf(const uint32_t* t, unsigned rootBits, uint32_t bits, unsigned& used) {
        uint32_t e = t[bits >> (32 - rootBits)];
        used = 0;
        unsigned width = rootBits;
        while (!(e & kLeaf)) {
            used += width;
            width = e & 0xFF;
            e = t[(e >> 8) + ((bits << used) >> (32 - width))];
        }
        return e;
    }

    static constexpr uint32_t kLeaf = 0x80000000u;
    Lookup pairs_[32];
    Lookup quads_[2];
    int longestPairCode_ = 0; // bits of the longest big-value code word
};

} // namespace mp3

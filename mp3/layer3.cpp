#include "layer3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "huffman.h"
#include "simd.h"
#include "tables_data.h"

namespace mp3::layer3 {

namespace {

bool IsShort(const GranuleChannel& gc) {
    return gc.windowSwitching && gc.blockType == 2;
}

} // namespace

int SideInfoBytes(bool mpeg1, int channels) {
    if (mpeg1) return channels == 1 ? 17 : 32;
    return channels == 1 ? 9 : 17;
}

void ReadSideInfo(BitReader& br, bool mpeg1, int channels, SideInfo* si) {
    *si = SideInfo();
    si->mainDataBegin = int(br.Read(mpeg1 ? 9 : 8));
    si->privateBits = int(br.Read(mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2)));
    if (mpeg1) {
        for (int ch = 0; ch < channels; ++ch)
            for (int g = 0; g < 4; ++g)
                si->scfsi[ch][g] = int(br.Bit());
    }
    const int granules = mpeg1 ? 2 : 1;
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            GranuleChannel& gc = si->gr[gr][ch];
            gc.part23Length = int(br.Read(12));
            gc.bigValues = int(br.Read(9));
            gc.globalGain = int(br.Read(8));
            gc.scalefacCompress = int(br.Read(mpeg1 ? 4 : 9));
            gc.windowSwitching = int(br.Bit());
            if (gc.windowSwitching) {
                gc.blockType = int(br.Read(2));
                gc.mixedBlock = int(br.Bit());
                gc.tableSelect[0] = int(br.Read(5));
                gc.tableSelect[1] = int(br.Read(5));
                for (int w = 0; w < 3; ++w)
                    gc.subblockGain[w] = int(br.Read(3));
                gc.region0Count = gc.blockType == 2 && !gc.mixedBlock ? 8 : 7;
                gc.region1Count = 20 - gc.region0Count;
            } else {
                for (int r = 0; r < 3; ++r)
                    gc.tableSelect[r] = int(br.Read(5));
                gc.region0Count = int(br.Read(4));
                gc.region1Count = int(br.Read(3));
            }
            if (mpeg1) gc.preflag = int(br.Bit());
            gc.scalefacScale = int(br.Bit());
            gc.count1Table = int(br.Bit());
        }
    }
}

bool SideInfoPlausible(const SideInfo& si, bool mpeg1, int channels, int mainBits) {
    int bits = 0;
    for (int gr = 0; gr < (mpeg1 ? 2 : 1); ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            const GranuleChannel& gc = si.gr[gr][ch];
            bits += gc.part23Length;
            if (gc.bigValues > kMaxBigValues) return false;
            if (!gc.windowSwitching && gc.region0Count + gc.region1Count + 2 > 22) return false;
        }
    }
    return bits <= mainBits;
}

Bands BandsFor(int rateRow) {
    return Bands{data::kSfbLong[rateRow], data::kSfbShort[rateRow]};
}

int MixedLongBands(const Bands& bands) {
    int n = 0;
    while (n < 22 && bands.l[n + 1] <= 36)
        ++n;
    return n;
}

void ReadScaleFactorsMpeg1(BitReader& br, const GranuleChannel& gc, const int scfsi[4], int granule,
                           const Bands& bands, ScaleFactors* sf) {
    const unsigned slen1 = data::kSlen[gc.scalefacCompress & 15][0];
    const unsigned slen2 = data::kSlen[gc.scalefacCompress & 15][1];
    std::memset(sf->isLimitL, 7, sizeof sf->isLimitL);
    std::memset(sf->isLimitS, 7, sizeof sf->isLimitS);
    sf->preflag = 0;
    sf->intensityScale = 0;
    if (IsShort(gc)) {
        int first = 0;
        if (gc.mixedBlock) {
            const int longBands = MixedLongBands(bands);
            for (int b = 0; b < longBands; ++b)
                sf->l[b] = uint8_t(br.Read(slen1));
            first = 3;
        }
        for (int b = first; b < 12; ++b)
            for (int w = 0; w < 3; ++w)
                sf->s[b][w] = uint8_t(br.Read(b < 6 ? slen1 : slen2));
        for (int w = 0; w < 3; ++w)
            sf->s[12][w] = 0;
        return;
    }
    for (int g = 0; g < 4; ++g) {
        if (granule == 1 && scfsi[g]) continue; // granule 0's values stay
        for (int b = data::kScfsiBands[g]; b < data::kScfsiBands[g + 1]; ++b)
            sf->l[b] = uint8_t(br.Read(g < 2 ? slen1 : slen2));
    }
    sf->l[21] = 0;
}

void ReadScaleFactorsMpeg2(BitReader& br, const GranuleChannel& gc, bool intensityRight,
                           const Bands& bands, ScaleFactors* sf) {
    (void)bands;
    int s = gc.scalefacCompress;
    unsigned slen[4] = {};
    int t;
    sf->preflag = 0;
    sf->intensityScale = 0;
    if (intensityRight) {
        sf->intensityScale = s & 1;
        int i = s >> 1;
        if (i < 180) {
            t = 3;
            slen[0] = unsigned(i / 36), slen[1] = unsigned(i / 6 % 6), slen[2] = unsigned(i % 6);
        } else if (i < 244) {
            t = 4;
            i -= 180;
            slen[0] = unsigned(i / 16), slen[1] = unsigned(i / 4 % 4), slen[2] = unsigned(i % 4);
        } else {
            t = 5;
            i -= 244;
            slen[0] = unsigned(i / 3), slen[1] = unsigned(i % 3);
        }
    } else if (s < 400) {
        t = 0;
        slen[0] = unsigned(s / 80), slen[1] = unsigned(s / 16 % 5);
        slen[2] = unsigned(s / 4 % 4), slen[3] = unsigned(s % 4);
    } else if (s < 500) {
        t = 1;
        s -= 400;
        slen[0] = unsigned(s / 20), slen[1] = unsigned(s / 4 % 5), slen[2] = unsigned(s % 4);
    } else {
        t = 2;
        s -= 500;
        slen[0] = unsigned(s / 3), slen[1] = unsigned(s % 3);
        sf->preflag = 1;
    }
    const int kind = IsShort(gc) ? (gc.mixedBlock ? 2 : 1) : 0;
    const uint8_t* counts = data::kPartitionBands[t][kind];
    int v = 0; // value index in transmission order
    for (int p = 0; p < 4; ++p) {
        const uint8_t limit = uint8_t((1u << slen[p]) - 1);
        for (int n = 0; n < counts[p]; ++n, ++v) {
            const uint8_t value = uint8_t(br.Read(slen[p]));
            if (kind == 0) {
                sf->l[v] = value;
                sf->isLimitL[v] = limit;
            } else if (kind == 2 && v < 6) {
                sf->l[v] = value;
                sf->isLimitL[v] = limit;
            } else {
                const int k = kind == 2 ? v - 6 + 9 : v; // mixed: short bands from 3 on
                sf->s[k / 3][k % 3] = value;
                sf->isLimitS[k / 3] = limit;
            }
        }
    }
    sf->l[21] = 0;
    sf->isLimitL[21] = sf->isLimitL[20];
    for (int w = 0; w < 3; ++w)
        sf->s[12][w] = 0;
    sf->isLimitS[12] = sf->isLimitS[11];
}

int DecodeHuffman(BitReader& br, size_t partEnd, const GranuleChannel& gc, const Bands& bands,
                  bool mpeg25, int32_t is[576]) {
    const HuffmanDecoder& huff = HuffmanDecoder::Get();
    const int bigLines = std::min(gc.bigValues, kMaxBigValues) * 2;
    int r1, r2;
    if (gc.windowSwitching) {
        if (gc.blockType == 2 && !gc.mixedBlock) {
            r1 = 3 * bands.s[3];
        } else if (gc.blockType == 2 && !mpeg25) {
            r1 = 36;
        } else {
            r1 = bands.l[8];
        }
        r2 = 576;
    } else {
        r1 = bands.l[std::min(gc.region0Count + 1, 22)];
        r2 = bands.l[std::min(gc.region0Count + gc.region1Count + 2, 22)];
    }
    r1 = std::min(r1, bigLines);
    r2 = std::min(std::max(r2, r1), bigLines);
    CachedBits pairBits(br);
    huff.DecodePairs(gc.tableSelect[0], pairBits, is, r1);
    huff.DecodePairs(gc.tableSelect[1], pairBits, is + r1, r2 - r1);
    huff.DecodePairs(gc.tableSelect[2], pairBits, is + r2, bigLines - r2);

    const int i = huff.DecodeQuads(gc.count1Table, pairBits, partEnd, is, bigLines);
    pairBits.Finish(br);
    return i;
}

SharedTables::SharedTables() {
    for (int i = 0; i <= kMaxValue; ++i) {
        const float v = float(std::pow(double(i), 4.0 / 3.0));
        pow43[kMaxValue + i] = v;
        pow43[kMaxValue - i] = -v;
    }
    for (int q = -kGainOffset; q <= 60; ++q)
        gain[q + kGainOffset] = float(std::exp2(q / 4.0) * 32768.0);
    for (int p = 0; p < 7; ++p) {
        if (p == 6) {
            intensityMpeg1[p][0] = 1.0f, intensityMpeg1[p][1] = 0.0f;
            continue;
        }
        const double r = std::tan(p * M_PI / 12.0);
        intensityMpeg1[p][0] = float(r / (1.0 + r));
        intensityMpeg1[p][1] = float(1.0 / (1.0 + r));
    }
    for (int s = 0; s < 2; ++s) {
        const double io = s ? std::pow(2.0, -0.5) : std::pow(2.0, -0.25);
        for (int p = 0; p < 32; ++p) {
            if (p == 0) {
                intensityMpeg2[s][p][0] = intensityMpeg2[s][p][1] = 1.0f;
            } else if (p & 1) {
                intensityMpeg2[s][p][0] = float(std::pow(io, (p + 1) / 2));
                intensityMpeg2[s][p][1] = 1.0f;
            } else {
                intensityMpeg2[s][p][0] = 1.0f;
                intensityMpeg2[s][p][1] = float(std::pow(io, p / 2));
            }
        }
    }
}

const SharedTables& Shared() {
    static const SharedTables t;
    return t;
}

// The float stages run in the kernels' build chosen at start-up (SSE2 where the
// processor has it, so that 32-bit x86 keeps them off the x87 stack).

void Requantize(const int32_t is[576], int lines, const GranuleChannel& gc, const ScaleFactors& sf,
                const Bands& bands, float xr[576]) {
    ActiveKernels().requantize(is, lines, gc, sf, bands, xr);
}

void ApplyMidSide(float* left, float* right, int from, int to) {
    if (to > from) ActiveKernels().midSide(left + from, right + from, to - from);
}

void ApplyIntensityStereo(const StereoFrame& f, float left[576], float right[576], int lines) {
    (void)lines;
    ActiveKernels().intensityStereo(f, left, right);
}

void ReorderShort(const GranuleChannel& gc, const Bands& bands, float xr[576]) {
    ActiveKernels().reorderShort(gc, bands, xr);
}

void ReduceAliasing(const GranuleChannel& gc, float xr[576], int sbLimit) {
    ActiveKernels().reduceAliasing(gc, xr, sbLimit);
}

void InverseMdct(const GranuleChannel& gc, const float xr[576], int sbUsed, float overlap[576],
                 float out[576]) {
    ActiveKernels().inverseMdct(gc, xr, sbUsed, overlap, out);
}

void InvertFrequencies(float out[576]) {
    ActiveKernels().invertFrequencies(out);
}

} // namespace mp3::layer3

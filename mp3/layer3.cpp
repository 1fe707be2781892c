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
    ActiveKernels().clearWords(is + i, 576 - i);
    return i;
}

namespace {

struct RequantTables {
    static constexpr int kMaxValue = 15 + 8191;
    static constexpr int kGainOffset = 420;
    // sign(v) * |v|^(4/3) for v = -kMaxValue..kMaxValue, at index v + kMaxValue: a
    // random sign costs no branch.
    float pow43[2 * kMaxValue + 1];
    float gain[481]; // 2^(q/4) * 32768 for q = -420..60
    RequantTables() {
        for (int i = 0; i <= kMaxValue; ++i) {
            const float v = float(std::pow(double(i), 4.0 / 3.0));
            pow43[kMaxValue + i] = v;
            pow43[kMaxValue - i] = -v;
        }
        for (int q = -kGainOffset; q <= 60; ++q)
            gain[q + kGainOffset] = float(std::exp2(q / 4.0) * 32768.0);
    }
};

const RequantTables& Requant() {
    static const RequantTables t;
    return t;
}

inline float Gain(int q) {
    q += RequantTables::kGainOffset;
    q = q < 0 ? 0 : (q > 480 ? 480 : q);
    return Requant().gain[q];
}

inline void ScaleLines(const int32_t* is, float* xr, int from, int to, float g) {
    // A kernel: on 32-bit x86 the multiplications then run in SSE2 where there is
    // SSE2, not on the x87 stack.
    constexpr int kMax = RequantTables::kMaxValue;
    if (to > from)
        ActiveKernels().scaleLines(is + from, Requant().pow43 + kMax, kMax, g, to - from,
                                   xr + from);
}

} // namespace

void Requantize(const int32_t is[576], int lines, const GranuleChannel& gc, const ScaleFactors& sf,
                const Bands& bands, float xr[576]) {
    const int base = gc.globalGain - 210;
    const int shift = gc.scalefacScale ? 4 : 2;
    const bool preflag = gc.preflag || sf.preflag;
    int done = 0;
    if (!IsShort(gc)) {
        for (int b = 0; b < 22 && bands.l[b] < lines; ++b) {
            const int q = base - shift * (sf.l[b] + (preflag ? data::kPretab[b] : 0));
            const int end = std::min(int(bands.l[b + 1]), lines);
            ScaleLines(is, xr, bands.l[b], end, Gain(q));
            done = end;
        }
    } else {
        int firstShort = 0;
        if (gc.mixedBlock) {
            const int longBands = MixedLongBands(bands);
            for (int b = 0; b < longBands && bands.l[b] < lines; ++b) {
                const int q = base - shift * (sf.l[b] + (preflag ? data::kPretab[b] : 0));
                const int end = std::min(int(bands.l[b + 1]), lines);
                ScaleLines(is, xr, bands.l[b], end, Gain(q));
                done = end;
            }
            firstShort = 3;
            // Lines between the long part and short band 3 (only at 8000 Hz) belong to
            // no band: global gain only.
            const int gapEnd = std::min(3 * int(bands.s[3]), lines);
            if (done < gapEnd) {
                ScaleLines(is, xr, done, gapEnd, Gain(base));
                done = gapEnd;
            }
        }
        for (int b = firstShort; b < 13; ++b) {
            const int width = bands.s[b + 1] - bands.s[b];
            for (int w = 0; w < 3; ++w) {
                const int start = 3 * bands.s[b] + w * width;
                if (start >= lines) break;
                const int q = base - 8 * gc.subblockGain[w] - shift * sf.s[b][w];
                const int end = std::min(start + width, lines);
                ScaleLines(is, xr, start, end, Gain(q));
                done = end;
            }
        }
    }
    done = std::max(done, 0);
    ActiveKernels().clearWords(xr + done, 576 - done);
}

void ApplyMidSide(float* left, float* right, int from, int to) {
    if (to > from) ActiveKernels().midSide(left + from, right + from, to - from);
}

namespace {

struct IntensityTables {
    float mpeg1[7][2];     // [is_pos][left, right]
    float mpeg2[2][32][2]; // [intensity_scale][is_pos][left, right]
    IntensityTables() {
        for (int p = 0; p < 7; ++p) {
            if (p == 6) {
                mpeg1[p][0] = 1.0f, mpeg1[p][1] = 0.0f;
                continue;
            }
            const double r = std::tan(p * M_PI / 12.0);
            mpeg1[p][0] = float(r / (1.0 + r));
            mpeg1[p][1] = float(1.0 / (1.0 + r));
        }
        for (int s = 0; s < 2; ++s) {
            const double io = s ? std::pow(2.0, -0.5) : std::pow(2.0, -0.25);
            for (int p = 0; p < 32; ++p) {
                if (p == 0) {
                    mpeg2[s][p][0] = mpeg2[s][p][1] = 1.0f;
                } else if (p & 1) {
                    mpeg2[s][p][0] = float(std::pow(io, (p + 1) / 2));
                    mpeg2[s][p][1] = 1.0f;
                } else {
                    mpeg2[s][p][0] = 1.0f;
                    mpeg2[s][p][1] = float(std::pow(io, p / 2));
                }
            }
        }
    }
};

const IntensityTables& Intensity() {
    static const IntensityTables t;
    return t;
}

// The position of a top band that cannot share the one below: MPEG-1 knows none
// (7, not intensity coded); MPEG-2 takes position 0, both channels at full level.
int DefaultPosition(const StereoFrame& f) {
    return f.mpeg1 ? 7 : 0;
}

// One band [from, to): intensity-coded when its position is legal, else mid/side
// or left/right as the frame says. limit is the MPEG-2 illegal position (-1: none).
void StereoBand(const StereoFrame& f, int pos, int limit, float* left, float* right, int from,
                int to) {
    const bool legal = f.mpeg1 ? pos < 7 : pos != limit;
    if (!legal) {
        if (f.midSide) ApplyMidSide(left, right, from, to);
        return;
    }
    const float* k =
        f.mpeg1 ? Intensity().mpeg1[pos] : Intensity().mpeg2[f.rightSf->intensityScale][pos & 31];
    for (int i = from; i < to; ++i) {
        const float v = left[i];
        left[i] = v * k[0];
        right[i] = v * k[1];
    }
}

} // namespace

void ApplyIntensityStereo(const StereoFrame& f, float left[576], float right[576], int lines) {
    (void)lines;
    const GranuleChannel& gc = *f.right;
    const ScaleFactors& sf = *f.rightSf;
    const Bands& bands = *f.bands;
    if (!IsShort(gc)) {
        int last = 575;
        while (last >= 0 && right[last] == 0.0f)
            --last;
        int startBand = 0;
        while (startBand < 22 && bands.l[startBand] <= last)
            ++startBand;
        if (f.midSide) ApplyMidSide(left, right, 0, bands.l[startBand]);
        for (int b = startBand; b < 21; ++b)
            StereoBand(f, sf.l[b], sf.isLimitL[b], left, right, bands.l[b], bands.l[b + 1]);
        if (startBand <= 21) {
            // Band 21 carries no position of its own: it shares band 20's when band
            // 20 is intensity coded; below the bound band 20 holds an ordinary scale
            // factor and band 21 takes the default position.
            const bool shared = startBand <= 20;
            StereoBand(f, shared ? sf.l[20] : DefaultPosition(f), shared ? sf.isLimitL[20] : -1,
                       left, right, bands.l[21], bands.l[22]);
        }
        return;
    }
    const int firstShort = gc.mixedBlock ? 3 : 0;
    bool shortNonZero = false;
    for (int w = 0; w < 3; ++w) {
        int startBand = firstShort; // first intensity band of this window
        for (int b = 12; b >= firstShort; --b) {
            const int width = bands.s[b + 1] - bands.s[b];
            const int start = 3 * bands.s[b] + w * width;
            bool nonZero = false;
            for (int i = start; i < start + width; ++i)
                nonZero |= right[i] != 0.0f;
            if (nonZero) {
                startBand = b + 1;
                shortNonZero = true;
                break;
            }
        }
        for (int b = firstShort; b < 13; ++b) {
            const int width = bands.s[b + 1] - bands.s[b];
            const int start = 3 * bands.s[b] + w * width;
            if (b < startBand) {
                if (f.midSide) ApplyMidSide(left, right, start, start + width);
            } else if (b < 12) {
                StereoBand(f, sf.s[b][w], sf.isLimitS[b], left, right, start, start + width);
            } else {
                // Band 12 as band 21 of long blocks, per window.
                const bool shared = startBand <= 11;
                StereoBand(f, shared ? sf.s[11][w] : DefaultPosition(f),
                           shared ? sf.isLimitS[11] : -1, left, right, start, start + width);
            }
        }
    }
    if (gc.mixedBlock) {
        const int longBands = MixedLongBands(bands);
        int startBand = longBands;
        if (!shortNonZero) {
            int last = bands.l[longBands] - 1;
            while (last >= 0 && right[last] == 0.0f)
                --last;
            startBand = 0;
            while (startBand < longBands && bands.l[startBand] <= last)
                ++startBand;
        }
        if (f.midSide) ApplyMidSide(left, right, 0, bands.l[startBand]);
        for (int b = startBand; b < longBands; ++b)
            StereoBand(f, sf.l[b], sf.isLimitL[b], left, right, bands.l[b], bands.l[b + 1]);
        // 8000 Hz: lines between the long part and short band 3 follow the frame mode.
        if (f.midSide) ApplyMidSide(left, right, bands.l[longBands], 3 * bands.s[3]);
    }
}

void ReorderShort(const GranuleChannel& gc, const Bands& bands, float xr[576]) {
    if (!IsShort(gc)) return;
    const int firstShort = gc.mixedBlock ? 3 : 0;
    float tmp[576];
    const int from = 3 * bands.s[firstShort];
    for (int b = firstShort; b < 13; ++b) {
        const int width = bands.s[b + 1] - bands.s[b];
        for (int w = 0; w < 3; ++w) {
            const float* src = xr + 3 * bands.s[b] + w * width;
            for (int j = 0; j < width; ++j)
                tmp[3 * (bands.s[b] + j) + w] = src[j];
        }
    }
    std::copy(tmp + from, tmp + 576, xr + from);
}

void ReduceAliasing(const GranuleChannel& gc, float xr[576], int sbLimit) {
    int limit = std::min(sbLimit, 32);
    if (IsShort(gc)) {
        if (!gc.mixedBlock) return;
        limit = std::min(limit, 2);
    }
    ActiveKernels().aliasButterflies(xr, limit);
}

void InverseMdct(const GranuleChannel& gc, const float xr[576], int sbUsed, float overlap[576],
                 float out[576]) {
    const Kernels& k = ActiveKernels();
    sbUsed = std::clamp(sbUsed, 0, 32);
    const int type = gc.windowSwitching ? gc.blockType : 0;
    // The two lowest subbands of a mixed block take the normal window, whatever
    // the block type says for the others (start and stop blocks included).
    int sb = 0;
    if (gc.mixedBlock && gc.windowSwitching && type != 0) {
        sb = std::min(2, sbUsed);
        k.longImdcts(xr, sb, 0, overlap, out);
    }
    if (type == 2) {
        if (sb < sbUsed) k.shortImdcts(xr + 18 * sb, sbUsed - sb, overlap + sb, out + sb);
    } else if (sb < sbUsed) {
        k.longImdcts(xr + 18 * sb, sbUsed - sb, type, overlap + sb, out + sb);
    }
    // Subbands without input pass on what overlaps from the last granule.
    for (int i = 0; i < 18; ++i) {
        for (int b = sbUsed; b < 32; ++b) {
            out[32 * i + b] = overlap[32 * i + b];
            overlap[32 * i + b] = 0.0f;
        }
    }
}

void InvertFrequencies(float out[576]) {
    for (int t = 1; t < 18; t += 2)
        for (int sb = 1; sb < 32; sb += 2)
            out[t * 32 + sb] = -out[t * 32 + sb];
}

} // namespace mp3::layer3

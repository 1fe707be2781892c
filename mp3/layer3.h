// Layer III decoding stages, in the order a granule passes through them: side
// information, scale factors, Huffman decoding, requantisation, stereo processing,
// reordering, alias reduction, IMDCT with overlap-add, frequency inversion. The
// polyphase synthesis that follows is in synthesis.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bit_reader.h"

namespace mp3::layer3 {

struct GranuleChannel {
    int part23Length = 0;
    int bigValues = 0;
    int globalGain = 0;
    int scalefacCompress = 0;
    int windowSwitching = 0;
    int blockType = 0;
    int mixedBlock = 0;
    int tableSelect[3] = {};
    int subblockGain[3] = {};
    int region0Count = 0;
    int region1Count = 0;
    int preflag = 0;
    int scalefacScale = 0;
    int count1Table = 0;
};

struct SideInfo {
    int mainDataBegin = 0;
    int privateBits = 0;
    int scfsi[2][4] = {};
    GranuleChannel gr[2][2]; // [granule][channel]
};

// Bytes of side information: 32/17 (MPEG-1 stereo/mono), 17/9 (MPEG-2 and 2.5).
int SideInfoBytes(bool mpeg1, int channels);
// Reads the side information that follows the header (and CRC).
void ReadSideInfo(BitReader& br, bool mpeg1, int channels, SideInfo* si);

// Pairs of big values that fit in a granule's 576 lines.
constexpr int kMaxBigValues = 288;

// False for side information no encoder can have written: the parts of all
// granules and channels longer than the mainBits bits the frame can reach (its own
// main data and the reservoir before it), big values past the spectrum, or region
// counts past the last scale-factor band.
bool SideInfoPlausible(const SideInfo& si, bool mpeg1, int channels, int mainBits);

// Scale-factor band boundaries of one sample rate.
struct Bands {
    const int16_t* l; // 23 long-block boundaries
    const int16_t* s; // 14 short-block boundaries (per window)
};
// rateRow: 0..8 for 44100 48000 32000 22050 24000 16000 11025 12000 8000 Hz.
Bands BandsFor(int rateRow);

struct ScaleFactors {
    uint8_t l[22] = {};    // long bands (band 21 is never sent: 0)
    uint8_t s[13][3] = {}; // short bands by window (band 12 is never sent: 0)
    // Largest value each band's scale factor can take; at that value an
    // intensity-coded band is not intensity coded (MPEG-2). MPEG-1 uses 7 throughout.
    uint8_t isLimitL[22] = {};
    uint8_t isLimitS[13] = {};
    int intensityScale = 0; // MPEG-2 right channel of an intensity frame
    int preflag = 0;        // MPEG-2 gives preflag through scalefac_compress
};

// Number of long bands in the long part of a mixed block (the bands below line 36).
int MixedLongBands(const Bands& bands);

// MPEG-1: slen1/slen2 from scalefac_compress, granule-1 reuse through scfsi
// (sf keeps the granule-0 values of the channel for that).
void ReadScaleFactorsMpeg1(BitReader& br, const GranuleChannel& gc, const int scfsi[4], int granule,
                           const Bands& bands, ScaleFactors* sf);
// MPEG-2 and 2.5: partitioned lengths, and the variant for the right channel of an
// intensity-stereo frame.
void ReadScaleFactorsMpeg2(BitReader& br, const GranuleChannel& gc, bool intensityRight,
                           const Bands& bands, ScaleFactors* sf);

// The tables of the float stages, built once: sign(v) * |v|^(4/3) for
// v = -kMaxValue..kMaxValue at index v + kMaxValue (a random sign costs no branch),
// the gains 2^(q/4) * 32768 for q = -420..60, and the intensity-stereo factors.
struct SharedTables {
    static constexpr int kMaxValue = 15 + 8191;
    static constexpr int kGainOffset = 420;
    float pow43[2 * kMaxValue + 1];
    float gain[481];
    float intensityMpeg1[7][2];     // [is_pos][left, right]
    float intensityMpeg2[2][32][2]; // [intensity_scale][is_pos][left, right]
    SharedTables();
};
const SharedTables& Shared();

// Big values in three regions, then count1 quadruples until partEnd (a bit position).
// Returns the number of lines decoded; is[] past them is left as it was (the
// requantisation reads no further).
int DecodeHuffman(BitReader& br, size_t partEnd, const GranuleChannel& gc, const Bands& bands,
                  bool mpeg25, int32_t is[576]);

// value = sign * |is|^(4/3) * 2^((global_gain - 210)/4) * scale-factor terms * 32768.
void Requantize(const int32_t is[576], int lines, const GranuleChannel& gc, const ScaleFactors& sf,
                const Bands& bands, float xr[576]);

// Mid/side: left = (m + s)/sqrt2, right = (m - s)/sqrt2 over lines [from, to).
void ApplyMidSide(float* left, float* right, int from, int to);

struct StereoFrame {
    bool mpeg1;
    bool midSide;
    const GranuleChannel* right; // block layout of the granule (both channels agree)
    const ScaleFactors* rightSf; // intensity positions come from the right channel
    const Bands* bands;
};
// Intensity stereo with mid/side (where set) below and in illegal-position bands.
void ApplyIntensityStereo(const StereoFrame& f, float left[576], float right[576], int lines);

// Short blocks: from band/window order to the order the IMDCT reads (per subband
// 18 values, three interleaved windows).
void ReorderShort(const GranuleChannel& gc, const Bands& bands, float xr[576]);

// Butterflies between adjacent long-block subbands below sbLimit.
void ReduceAliasing(const GranuleChannel& gc, float xr[576], int sbLimit);

// Hybrid filterbank: IMDCT of each subband (36-point, or three 12-point), windowed
// by block type, overlap-added with the channel's previous granule. Writes 18 slots
// of 32 subband samples: out[t * 32 + sb]; overlap is laid out the same way.
// Subbands from sbUsed on have zero input.
void InverseMdct(const GranuleChannel& gc, const float xr[576], int sbUsed, float overlap[576],
                 float out[576]);

// Negates every odd time sample of every odd subband (out as InverseMdct writes it).
void InvertFrequencies(float out[576]);

} // namespace mp3::layer3

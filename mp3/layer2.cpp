#include "layer2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "simd.h"
#include "tables_data.h"

namespace mp3::layer2 {

namespace {

struct Layer2Tables {
    float scale[64]; // 65536 * 2^(-i/3); index 63 is not in the standard: tiny
    float mul[17];   // per class: value = v * mul + add (before the scale factor)
    float add[17];
    int valueBits[17]; // bits of one (ungrouped) value
    // Grouped codes (3, 5 and 9 steps) to their three values, four bits each,
    // for every code the field can hold: no division per sample.
    uint16_t ungroupCodes[32 + 128 + 1024] = {};
    const uint16_t* ungroup[17] = {};
    Layer2Tables() {
        uint16_t* next = ungroupCodes;
        for (int i = 0; i < 64; ++i)
            scale[i] = float(65536.0 * std::exp2(-i / 3.0));
        for (int c = 0; c < 17; ++c) {
            const auto& k = data::kLayer2Classes[c];
            int m = 0;
            while ((1 << m) < k.steps)
                ++m;
            const double half = double(1 << (m - 1));
            mul[c] = float(k.c / half);
            add[c] = float(k.c * (k.d - 1.0));
            valueBits[c] = m;
            if (!k.grouped) continue;
            const unsigned steps = unsigned(k.steps);
            ungroup[c] = next;
            for (unsigned code = 0; code < (1u << k.bits); ++code, ++next) {
                // An out-of-range code stays in range.
                const unsigned u0 = code % steps, u1 = code / steps % steps;
                const unsigned u2 = code / steps / steps % steps;
                *next = uint16_t(u0 | u1 << 4 | u2 << 8);
            }
        }
    }
};

const Layer2Tables& Tables() {
    static const Layer2Tables t;
    return t;
}

} // namespace

int SelectTable(const FrameHeader& h) {
    if (h.sampleRateIndex > 2) return -1;
    if (!h.versionBit) {
        for (int i = 0; i < data::kLayer2SelectCount; ++i)
            if (data::kLayer2Selects[i].version == 2) return data::kLayer2Selects[i].table;
        return -1;
    }
    const int rate = SampleRateHz(h);
    const int kbps = BitrateKbps(h);
    const int perChannel = h.mode == kModeSingleChannel ? kbps : kbps / 2;
    for (int i = 0; i < data::kLayer2SelectCount; ++i) {
        const auto& s = data::kLayer2Selects[i];
        if (s.version == 1 && s.rate == rate && s.kbpsPerChannel == perChannel) return s.table;
    }
    return -1;
}

void DecodeSamples(BitReader& br, const FrameHeader& h, int table, int sbLimit,
                   float samples[2][36][32], int32_t codes[2][36][32]) {
    const Layer2Tables& t = Tables();
    const data::Layer2Table& alloc = data::kLayer2Tables[table];
    const int channels = Channels(h);
    // The limit only silences subbands; what the frame holds, and so how it is read,
    // is the stream's business: the bound below which each channel has its own
    // fields comes from the header and the table alone.
    const int limit = std::min(alloc.sblimit, sbLimit);
    const int bound = h.mode == kModeJointStereo
                          ? std::min(int(data::kJointStereoBound[h.modeExtension]), alloc.sblimit)
                          : alloc.sblimit;
    // The per-band arrays below are set where they are read (the subbands the
    // table codes, the channels the frame has), not cleared as a whole: a frame is
    // small work, and clearing some 3 KB for each was a tenth of it.
    // Class index + 1 per channel and subband (0: no samples).
    int cls[2][32];
    for (int sb = 0; sb < alloc.sblimit; ++sb) {
        const data::Layer2Subband& s = alloc.subbands[sb];
        if (sb < bound || channels == 1) {
            for (int ch = 0; ch < channels; ++ch) {
                const unsigned a = br.Read(s.nbal);
                cls[ch][sb] = a ? s.classIndex[a] + 1 : 0;
            }
        } else {
            const unsigned a = br.Read(s.nbal);
            cls[0][sb] = cls[1][sb] = a ? s.classIndex[a] + 1 : 0;
        }
    }
    // Subbands the table codes but the limit drops still carry bits; they are read
    // and left out of the synthesis.
    const int coded = alloc.sblimit;
    int scfsi[2][32]; // where cls is non-zero
    for (int sb = 0; sb < coded; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            if (cls[ch][sb]) scfsi[ch][sb] = int(br.Read(2));
    float scf[2][32][3]; // where cls is non-zero
    for (int sb = 0; sb < coded; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (!cls[ch][sb]) continue;
            float* f = scf[ch][sb];
            switch (scfsi[ch][sb]) {
            case 0:
                f[0] = t.scale[br.Read(6)];
                f[1] = t.scale[br.Read(6)];
                f[2] = t.scale[br.Read(6)];
                break;
            case 1:
                f[0] = f[1] = t.scale[br.Read(6)];
                f[2] = t.scale[br.Read(6)];
                break;
            case 2:
                f[0] = f[1] = f[2] = t.scale[br.Read(6)];
                break;
            default:
                f[0] = t.scale[br.Read(6)];
                f[1] = f[2] = t.scale[br.Read(6)];
                break;
            }
        }
    }
    // Per channel and subband what a code costs to read, and what it scales by in
    // each third of the frame (value = code * mul + add, the scale factor folded
    // in); subbands without samples, or above the limit, scale everything to 0.
    struct Band {
        const uint16_t* ungroup; // grouped classes: code to three values
        unsigned bits;           // of one code (0: no samples)
    };
    Band band[2][32]; // the coded subbands
    alignas(16) float mul[2][3][32], add[2][3][32];
    for (int ch = 0; ch < channels; ++ch) {
        for (int sb = 0; sb < 32; ++sb) {
            const int c = sb < coded ? cls[ch][sb] - 1 : -1;
            if (c >= 0) {
                const auto& k = data::kLayer2Classes[c];
                band[ch][sb] = {k.grouped ? t.ungroup[c] : nullptr, unsigned(k.bits)};
            } else if (sb < coded) {
                band[ch][sb] = {nullptr, 0};
            }
            for (int part = 0; part < 3; ++part) {
                const bool heard = c >= 0 && sb < limit;
                mul[ch][part][sb] = heard ? t.mul[c] * scf[ch][sb][part] : 0.0f;
                add[ch][part][sb] = heard ? t.add[c] * scf[ch][sb][part] : 0.0f;
            }
        }
    }
    // Codes first (integers only), then one pass of multiply-adds per channel.
    int32_t(*code)[36][32] = codes;
    for (int ch = 0; ch < 2; ++ch)
        for (int s = 0; s < 36; ++s)
            std::fill(code[ch][s] + coded, code[ch][s] + 32, 0);
    CachedBits r(br);
    // One band's three values of a granule, into rows 32 apart (zeros without samples).
    auto readBand = [&r](const Band& b, int32_t* to) {
        unsigned u0 = 0, u1 = 0, u2 = 0;
        if (b.bits != 0) {
            r.Refill(); // two codes of at most 16 bits where the cache holds 32
            if (b.ungroup) {
                const unsigned g = b.ungroup[r.Read(b.bits)];
                u0 = g & 15;
                u1 = g >> 4 & 15;
                u2 = g >> 8;
            } else {
                u0 = r.Read(b.bits);
                if constexpr (CachedBits::kReady < 2 * 16) r.Refill();
                u1 = r.Read(b.bits);
                r.Refill();
                u2 = r.Read(b.bits);
            }
        }
        to[0] = int32_t(u0);
        to[32] = int32_t(u1);
        to[64] = int32_t(u2);
    };
    // Below the bound each channel has its own samples (a single channel: all
    // coded subbands); from it on both channels share them.
    const int own = channels == 2 ? bound : coded;
    for (int gr = 0; gr < 12; ++gr) {
        int32_t* left = code[0][3 * gr];
        int32_t* right = code[1][3 * gr];
        if (channels == 2) {
            for (int sb = 0; sb < own; ++sb) {
                readBand(band[0][sb], left + sb);
                readBand(band[1][sb], right + sb);
            }
        } else {
            for (int sb = 0; sb < own; ++sb)
                readBand(band[0][sb], left + sb);
        }
        for (int sb = own; sb < coded; ++sb) {
            // Both channels share the samples; each has its own scale factors.
            readBand(band[0][sb], left + sb);
            for (int i = 0; i < 3; ++i)
                right[32 * i + sb] = left[32 * i + sb];
        }
    }
    r.Finish(br);
    const Kernels& k = ActiveKernels();
    for (int ch = 0; ch < channels; ++ch)
        k.dequantize(code[ch][0], mul[ch][0], add[ch][0], samples[ch][0]);
}

} // namespace mp3::layer2

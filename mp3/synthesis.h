// Polyphase synthesis filterbank: 32 subband samples in, 32 PCM samples out.
#pragma once

#include <cmath>
#include <cstdint>

namespace mp3 {

// Float sample to 16 bits: rounded to nearest, clamped to -32768..32767.
inline int16_t ToPcm16(float v) {
    // Written as selects, not branches; NaN (a broken stream) ends at -32768.
    v = v > -32768.0f ? v : -32768.0f;
    v = v < 32767.0f ? v : 32767.0f;
    return int16_t(std::lrint(v));
}

// out[m] = sum over k of in[k] * cos(pi * m * (2k + 1) / 64), m = 0..31: the
// matrixing of the synthesis filter without its symmetric extension.
void Dct32(const float* in, float* out);

class SynthesisFilter {
  public:
    SynthesisFilter();
    void Reset();
    // One slot: 32 subband samples to 32 output samples (full scale +-32768).
    void Synthesize(const float* subbands, float* out);
    // The same slot written as 16-bit samples to out[0], out[stride], ...
    void Synthesize(const float* subbands, int16_t* out, int stride) {
        float pcm[32];
        Synthesize(subbands, pcm);
        for (int j = 0; j < 32; ++j)
            out[j * stride] = ToPcm16(pcm[j]);
    }

  private:
    float ring_[512] = {}; // DCT outputs of the last 16 slots, newest at pos_
    unsigned pos_ = 0;
    void (*synthesizeSlot_)(float* ring, unsigned pos, const float* subbands, float* out);
};

} // namespace mp3

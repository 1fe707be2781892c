// Polyphase synthesis filterbank: 32 subband samples in, 32 PCM samples out.
#pragma once

namespace mp3 {

// out[m] = sum over k of in[k] * cos(pi * m * (2k + 1) / 64), m = 0..31: the
// matrixing of the synthesis filter without its symmetric extension.
void Dct32(const float* in, float* out);

class SynthesisFilter {
  public:
    void Reset();
    // One slot: 32 subband samples to 32 output samples (full scale +-32768).
    void Synthesize(const float* subbands, float* out);

  private:
    float ring_[512] = {}; // DCT outputs of the last 16 slots, newest at pos_
    unsigned pos_ = 0;
};

} // namespace mp3

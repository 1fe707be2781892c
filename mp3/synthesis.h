// Polyphase synthesis filterbank: 32 subband samples in, 32 PCM samples out.
#pragma once

#include <cstdint>

#include "simd.h"

namespace mp3 {

// out[m] = sum over k of in[k] * cos(pi * m * (2k + 1) / 64), m = 0..31: the
// matrixing of the synthesis filter without its symmetric extension.
void Dct32(const float* in, float* out);

class SynthesisFilter {
  public:
    // The history: the DCT outputs of the last 16 slots, 32 values and a zero pad each.
    static constexpr int kRingSlots = 16;
    static constexpr int kSlotFloats = 36;

    SynthesisFilter();
    void Reset();
    // `slots` slots of 32 subband samples (slot-major, full scale +-32768) to
    // 32 * slots 16-bit samples, rounded and clamped.
    void Synthesize(const float* subbands, int slots, int16_t* out) {
        synthesize_(Ring(), &pos_, subbands, slots, out);
    }

  private:
    float* Ring() {
        // 16-byte aligned whatever the allocator gave the object.
        return reinterpret_cast<float*>((reinterpret_cast<uintptr_t>(storage_) + 15) & ~uintptr_t(15));
    }
    float storage_[kRingSlots * kSlotFloats + 4] = {};
    unsigned pos_ = 0; // slot of the newest outputs
    void (*synthesize_)(float* ring, unsigned* pos, const float* subbands, int slots, int16_t* out);
};

} // namespace mp3

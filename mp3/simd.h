// The decoder's floating-point hot loops come in two builds of the same source:
// one for the target's baseline instruction set, and on x86 one with SSE2, where
// the compiler works four lanes at a time and never touches the x87 stack. Which
// one runs is chosen once, at start-up, by what the processor offers, so a 32-bit
// build still plays on a machine without SSE2.
#pragma once

#if defined(__i386__) || defined(__x86_64__)
#define MP3_HAVE_SSE2_KERNELS 1
#endif

namespace mp3 {

// One set of kernels, as each build of them defines it.
#define MP3_KERNEL_DECLARATIONS                                                                    \
    /* out[m] = sum over k of in[k] * cos(pi * m * (2k + 1) / 64), m = 0..31 */                    \
    void Dct32(const float* in, float* out);                                                       \
    /* One slot of the polyphase synthesis: the DCT of 32 subband samples into */                  \
    /* ring at pos, then 32 output samples from the 512-value ring. */                             \
    void SynthesizeSlot(float* ring, unsigned pos, const float* subbands, float* out);             \
    /* 36-point IMDCT of one subband's 18 lines, windowed by block type 0, 1 or 3, */              \
    /* overlap-added: 18 samples to out[0], out[32], ... */                                        \
    void LongImdct(const float* in, int blockType, float* overlap, float* out);                    \
    /* Three 12-point IMDCTs of a short block, windowed and overlap-added. */                      \
    void ShortImdct(const float* in, float* overlap, float* out);

namespace baseline {
MP3_KERNEL_DECLARATIONS
}
#ifdef MP3_HAVE_SSE2_KERNELS
namespace sse2 {
MP3_KERNEL_DECLARATIONS
}
#endif

struct Kernels {
    const char* name;
    void (*dct32)(const float* in, float* out);
    void (*synthesizeSlot)(float* ring, unsigned pos, const float* subbands, float* out);
    void (*longImdct)(const float* in, int blockType, float* overlap, float* out);
    void (*shortImdct)(const float* in, float* overlap, float* out);
};

// The kernels for this processor, chosen on first use.
const Kernels& ActiveKernels();
// Both builds, for tests that hold them against each other.
const Kernels& BaselineKernels();
const Kernels* Sse2Kernels(); // null where there is none, or the processor lacks SSE2

} // namespace mp3

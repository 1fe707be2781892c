#include "synthesis.h"

#include <cstring>
#include <initializer_list>

#include "simd.h"

namespace mp3 {

namespace {

bool CpuHasSse2() {
#if defined(__x86_64__)
    return true;
#elif defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
#else
    return false;
#endif
}

const Kernels kBaseline{"baseline",
                        baseline::Dct32,
                        baseline::Synthesize,
                        baseline::Interleave,
                        baseline::LongImdcts,
                        baseline::ShortImdcts,
                        baseline::MidSide,
                        baseline::AliasButterflies,
                        baseline::ScaleLines,
                        baseline::Dequantize,
                        baseline::ClearWords,
                        baseline::Requantize,
                        baseline::IntensityStereo,
                        baseline::ReorderShort,
                        baseline::ReduceAliasing,
                        baseline::InverseMdct,
                        baseline::InvertFrequencies};
#ifdef MP3_HAVE_SSE2_KERNELS
const Kernels kSse2{"sse2",
                    sse2::Dct32,
                    sse2::Synthesize,
                    sse2::Interleave,
                    sse2::LongImdcts,
                    sse2::ShortImdcts,
                    sse2::MidSide,
                    sse2::AliasButterflies,
                    sse2::ScaleLines,
                    sse2::Dequantize,
                    sse2::ClearWords,
                    sse2::Requantize,
                    sse2::IntensityStereo,
                    sse2::ReorderShort,
                    sse2::ReduceAliasing,
                    sse2::InverseMdct,
                    sse2::InvertFrequencies};
#endif
#ifdef MP3_HAVE_AVX_KERNELS
const Kernels kAvx{"avx",
                   avx::Dct32,
                   avx::Synthesize,
                   avx::Interleave,
                   avx::LongImdcts,
                   avx::ShortImdcts,
                   avx::MidSide,
                   avx::AliasButterflies,
                   avx::ScaleLines,
                   avx::Dequantize,
                   avx::ClearWords,
                   avx::Requantize,
                   avx::IntensityStereo,
                   avx::ReorderShort,
                   avx::ReduceAliasing,
                   avx::InverseMdct,
                   avx::InvertFrequencies};
#endif

} // namespace

const Kernels& BaselineKernels() {
    return kBaseline;
}

const Kernels* Sse2Kernels() {
#ifdef MP3_HAVE_SSE2_KERNELS
    static const bool present = CpuHasSse2();
    return present ? &kSse2 : nullptr;
#else
    return nullptr;
#endif
}

const Kernels* AvxKernels() {
#ifdef MP3_HAVE_AVX_KERNELS
    static const bool present = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return present ? &kAvx : nullptr;
#else
    return nullptr;
#endif
}

namespace {

const Kernels* chosen = nullptr;
bool inUse = false;

} // namespace

bool ChooseKernels(const char* name) {
    if (inUse) return false;
    for (const Kernels* k : {&kBaseline, Sse2Kernels(), AvxKernels()}) {
        if (k && std::strcmp(k->name, name) == 0) {
            chosen = k;
            return true;
        }
    }
    return false;
}

const Kernels& ActiveKernels() {
    static const Kernels& active =
        chosen ? *chosen
               : (AvxKernels() ? *AvxKernels() : (Sse2Kernels() ? *Sse2Kernels() : kBaseline));
    inUse = true;
    return active;
}

void Dct32(const float* in, float* out) {
    ActiveKernels().dct32(in, out);
}

SynthesisFilter::SynthesisFilter() : synthesize_(ActiveKernels().synthesize) {}

void SynthesisFilter::Reset() {
    for (float& v : storage_)
        v = 0.0f;
    pos_ = 0;
}

} // namespace mp3

// The decoder's floating-point hot loops come in two builds of the same source:
// one for the target's baseline instruction set, one lane at a time, and on x86 one
// with SSE2, four lanes at a time and never on the x87 stack. Which one runs is
// chosen once, at start-up, by what the processor offers, so a 32-bit build still
// plays on a machine without SSE2. Both builds do the same operations in the same
// order on every lane, so where both use SSE arithmetic they agree to the bit.
//
// This header is also where the intrinsics live: a kernel build includes it with
// MP3_LANES_SCALAR defined (the baseline) or not (SSE2 where the compiler targets
// it), and gets the lane type F and its handful of helpers in mp3::lanes.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#define MP3_HAVE_SSE2_KERNELS 1
#endif
// On 64-bit x86 outside Windows also an AVX build, whose synthesis window works on
// eight outputs at a time.
#if defined(__x86_64__) && !defined(_WIN32)
#define MP3_HAVE_AVX_KERNELS 1
#endif

namespace mp3 {

namespace layer3 {
struct Bands;
struct GranuleChannel;
struct ScaleFactors;
struct StereoFrame;
} // namespace layer3

// One set of kernels, as each build of them defines it.
#define MP3_KERNEL_DECLARATIONS                                                                    \
    /* out[m] = sum over k of in[k] * cos(pi * m * (2k + 1) / 64), m = 0..31 */                    \
    void Dct32(const float* in, float* out);                                                       \
    /* The polyphase synthesis of `slots` slots of 32 subband samples (slot-major) */              \
    /* into 32 * slots 16-bit samples; ring and pos hold the filter's history. */                  \
    void Synthesize(float* ring, unsigned* pos, const float* subbands, int slots, int16_t* out);   \
    /* out[2i] = left[i], out[2i + 1] = right[i], i < count */                                     \
    void Interleave(const int16_t* left, const int16_t* right, int count, int16_t* out);           \
    /* 36-point IMDCTs of `count` subbands' 18 lines each (xr), windowed by block */               \
    /* type 0, 1 or 3, overlap-added: subband sb's 18 samples to out[sb], */                       \
    /* out[32 + sb], ...; overlap is laid out as out is. */                                        \
    void LongImdcts(const float* xr, int count, int blockType, float* overlap, float* out);        \
    /* Three 12-point IMDCTs of each of `count` subbands' short blocks, windowed and */            \
    /* overlap-added, laid out as for LongImdcts. */                                               \
    void ShortImdcts(const float* xr, int count, float* overlap, float* out);                      \
    /* Mid/side to left/right: l = (m + s) / sqrt 2, r = (m - s) / sqrt 2. */                      \
    void MidSide(float* left, float* right, int count);                                            \
    /* The alias-reduction butterflies between subbands below sbLimit. */                          \
    void AliasButterflies(float* xr, int sbLimit);                                                 \
    /* Layer III requantisation of a run of lines: xr[i] = pow43[v] * gain, v = is[i] */           \
    /* clamped to -limit..limit, pow43 indexed from -limit (sign(v) * |v|^(4/3)). */               \
    void ScaleLines(const int32_t* is, const float* pow43, int32_t limit, float gain, int count,   \
                    float* xr);                                                                    \
    /* Layer II: out[s][sb] = codes[s][sb] * mul[s / 12][sb] + add[s / 12][sb], */                 \
    /* 36 slots of 32 subbands. */                                                                 \
    void Dequantize(const int32_t* codes, const float* mul, const float* add, float* out);         \
    /* count 32-bit words (floats or integers) at p to zero. */                                    \
    void ClearWords(void* p, int count);                                                           \
    /* The float stages of a Layer III granule, as layer3.h describes them. */                     \
    void Requantize(const int32_t* is, int lines, const layer3::GranuleChannel& gc,                \
                    const layer3::ScaleFactors& sf, const layer3::Bands& bands, float* xr);        \
    void IntensityStereo(const layer3::StereoFrame& f, float* left, float* right);                 \
    void ReorderShort(const layer3::GranuleChannel& gc, const layer3::Bands& bands, float* xr);    \
    void ReduceAliasing(const layer3::GranuleChannel& gc, float* xr, int sbLimit);                 \
    void InverseMdct(const layer3::GranuleChannel& gc, const float* xr, int sbUsed,                \
                     float* overlap, float* out);                                                  \
    void InvertFrequencies(float* out);

namespace baseline {
MP3_KERNEL_DECLARATIONS
}
#ifdef MP3_HAVE_SSE2_KERNELS
namespace sse2 {
MP3_KERNEL_DECLARATIONS
}
#endif
#ifdef MP3_HAVE_AVX_KERNELS
namespace avx {
MP3_KERNEL_DECLARATIONS
}
#endif

struct Kernels {
    const char* name;
    void (*dct32)(const float* in, float* out);
    void (*synthesize)(float* ring, unsigned* pos, const float* subbands, int slots, int16_t* out);
    void (*interleave)(const int16_t* left, const int16_t* right, int count, int16_t* out);
    void (*longImdcts)(const float* xr, int count, int blockType, float* overlap, float* out);
    void (*shortImdcts)(const float* xr, int count, float* overlap, float* out);
    void (*midSide)(float* left, float* right, int count);
    void (*aliasButterflies)(float* xr, int sbLimit);
    void (*scaleLines)(const int32_t* is, const float* pow43, int32_t limit, float gain, int count,
                       float* xr);
    void (*dequantize)(const int32_t* codes, const float* mul, const float* add, float* out);
    void (*clearWords)(void* p, int count);
    void (*requantize)(const int32_t* is, int lines, const layer3::GranuleChannel& gc,
                       const layer3::ScaleFactors& sf, const layer3::Bands& bands, float* xr);
    void (*intensityStereo)(const layer3::StereoFrame& f, float* left, float* right);
    void (*reorderShort)(const layer3::GranuleChannel& gc, const layer3::Bands& bands, float* xr);
    void (*reduceAliasing)(const layer3::GranuleChannel& gc, float* xr, int sbLimit);
    void (*inverseMdct)(const layer3::GranuleChannel& gc, const float* xr, int sbUsed,
                        float* overlap, float* out);
    void (*invertFrequencies)(float* out);
};

// The kernels for this processor, chosen on first use: the widest build it runs,
// unless ChooseKernels named another before.
const Kernels& ActiveKernels();
// For measurements: use the build named "baseline", "sse2" or "avx". False (and
// no change) for a build this program or processor lacks, or once decoding began.
bool ChooseKernels(const char* name);
// Both builds, for tests that hold them against each other.
const Kernels& BaselineKernels();
const Kernels* Sse2Kernels(); // null where there is none, or the processor lacks SSE2
const Kernels* AvxKernels();  // null where there is none, or the processor lacks AVX

// Float sample to 16 bits: rounded to nearest, clamped to -32768..32767.
inline int16_t ToPcm16(float v) {
    // Written as selects, not branches; NaN (a broken stream) ends at -32768.
    v = v > -32768.0f ? v : -32768.0f;
    v = v < 32767.0f ? v : 32767.0f;
    return int16_t(std::lrint(v));
}

} // namespace mp3

#if defined(__SSE2__) && !defined(MP3_LANES_SCALAR)
#include <emmintrin.h>
// Distinct names per build, so that the builds' helpers never meet at link time.
#if defined(__AVX__)
#define MP3_LANES_NAMESPACE lanes_avx
#else
#define MP3_LANES_NAMESPACE lanes_sse2
#endif
#else
#define MP3_LANES_NAMESPACE lanes_scalar
#endif

namespace mp3::lanes {
inline namespace MP3_LANES_NAMESPACE {

#if defined(__SSE2__) && !defined(MP3_LANES_SCALAR)

constexpr int kWidth = 4;
using F = __m128; // +, -, * and unary - work on it as on float

inline F Zero() {
    return _mm_setzero_ps();
}
inline F Load(const float* p) {
    return _mm_loadu_ps(p);
}
inline F LoadAligned(const float* p) {
    return _mm_load_ps(p);
}
inline void Store(float* p, F v) {
    _mm_storeu_ps(p, v);
}
// p[0] and p[1] in the lowest lanes, zeros above: reads only those two floats, and
// straight into a register (not through a buffer of four, which would stall the load).
inline F LoadTwo(const float* p) {
    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
// Lanes in reverse order.
inline F Reverse(F v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}
// Rows to columns: afterwards r[i] holds what lane i of each row held.
inline void Transpose(F r[4]) {
    _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
}
// kWidth * 2 samples to 16 bits, as ToPcm16 does each.
inline void StorePcm(int16_t* out, F a, F b) {
    const F lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
    // max(v, lo) gives lo for NaN, as the comparisons of ToPcm16 do.
    a = _mm_min_ps(_mm_max_ps(a, lo), hi);
    b = _mm_min_ps(_mm_max_ps(b, lo), hi);
    const __m128i v = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
}
// 16 bytes at p (any alignment) to zero.
inline void Clear16(void* p) {
    _mm_storeu_si128(static_cast<__m128i*>(p), _mm_setzero_si128());
}
// Four values of each of three rows, interleaved: a0 b0 c0 a1 b1 c1 ... c3.
inline void Interleave3x4(const float* a, const float* b, const float* c, float* out) {
    const F x = Load(a), y = Load(b), z = Load(c);
    const F lo = _mm_unpacklo_ps(x, y);                            // a0 b0 a1 b1
    const F hi = _mm_unpackhi_ps(x, y);                            // a2 b2 a3 b3
    const F c0a1 = _mm_shuffle_ps(z, lo, _MM_SHUFFLE(3, 2, 0, 0)); // c0 c0 a1 b1
    Store(out, _mm_shuffle_ps(lo, c0a1, _MM_SHUFFLE(2, 0, 1, 0)));
    const F b1c1 = _mm_shuffle_ps(lo, z, _MM_SHUFFLE(1, 1, 3, 3)); // b1 b1 c1 c1
    Store(out + 4, _mm_shuffle_ps(b1c1, hi, _MM_SHUFFLE(1, 0, 2, 0)));
    const F c2a3 = _mm_shuffle_ps(z, hi, _MM_SHUFFLE(3, 2, 3, 2)); // c2 c3 a3 b3
    Store(out + 8, _mm_shuffle_ps(c2a3, c2a3, _MM_SHUFFLE(1, 3, 2, 0)));
}
// Eight sample pairs, interleaved.
inline void Interleave8(const int16_t* l, const int16_t* r, int16_t* out) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(l));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(a, b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi16(a, b));
}

#else

constexpr int kWidth = 1;
using F = float;

inline F Zero() {
    return 0.0f;
}
inline F Load(const float* p) {
    return *p;
}
inline F LoadAligned(const float* p) {
    return *p;
}
inline void Store(float* p, F v) {
    *p = v;
}
inline F LoadTwo(const float* p) {
    return *p;
}
inline F Reverse(F v) {
    return v;
}
inline void Transpose(F*) {}
inline void StorePcm(int16_t* out, F a, F b) {
    out[0] = ToPcm16(a);
    out[1] = ToPcm16(b);
}
inline void Clear16(void* p) {
    std::memset(p, 0, 16);
}
inline void Interleave3x4(const float* a, const float* b, const float* c, float* out) {
    for (int i = 0; i < 4; ++i) {
        out[3 * i] = a[i];
        out[3 * i + 1] = b[i];
        out[3 * i + 2] = c[i];
    }
}
inline void Interleave8(const int16_t* l, const int16_t* r, int16_t* out) {
    for (int i = 0; i < 8; ++i) {
        out[2 * i] = l[i];
        out[2 * i + 1] = r[i];
    }
}

#endif

// A constant kept kWidth times over (at p, 16-byte aligned) as T: one lane's worth
// for float, a whole vector for F.
template <class T> inline T Coef(const float* p) {
    if constexpr (sizeof(T) == sizeof(float)) {
        return *p;
    } else {
        return LoadAligned(p);
    }
}

} // namespace MP3_LANES_NAMESPACE
} // namespace mp3::lanes

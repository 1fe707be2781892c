#include "synthesis.h"

#include <cmath>

#include "tables_data.h"

namespace mp3 {

namespace {

// Lee's factorisation of the DCT: an N-point transform is two N/2-point ones, on
// the sums and on the weighted differences of the mirrored inputs.
struct DctFactors {
    float f32[16], f16[8], f8[4], f4[2], f2[1];
    DctFactors() {
        Fill(f32, 32);
        Fill(f16, 16);
        Fill(f8, 8);
        Fill(f4, 4);
        Fill(f2, 2);
    }
    static void Fill(float* f, int n) {
        for (int k = 0; k < n / 2; ++k)
            f[k] = float(0.5 / std::cos(M_PI * (2 * k + 1) / (2.0 * n)));
    }
};

const DctFactors& Factors() {
    static const DctFactors f;
    return f;
}

template <int N> const float* FactorsFor();
template <> const float* FactorsFor<32>() {
    return Factors().f32;
}
template <> const float* FactorsFor<16>() {
    return Factors().f16;
}
template <> const float* FactorsFor<8>() {
    return Factors().f8;
}
template <> const float* FactorsFor<4>() {
    return Factors().f4;
}
template <> const float* FactorsFor<2>() {
    return Factors().f2;
}

// Fully inlined: as calls, the small stages cost a third more.
template <int N> [[gnu::always_inline]] inline void Dct(const float* in, float* out) {
    constexpr int H = N / 2;
    const float* f = FactorsFor<N>();
    float a[H], b[H], ea[H], eb[H];
    for (int k = 0; k < H; ++k) {
        a[k] = in[k] + in[N - 1 - k];
        b[k] = (in[k] - in[N - 1 - k]) * f[k];
    }
    Dct<H>(a, ea);
    Dct<H>(b, eb);
    for (int r = 0; r < H - 1; ++r) {
        out[2 * r] = ea[r];
        out[2 * r + 1] = eb[r] + eb[r + 1];
    }
    out[N - 2] = ea[H - 1];
    out[N - 1] = eb[H - 1];
}

template <> [[gnu::always_inline]] inline void Dct<1>(const float* in, float* out) {
    out[0] = in[0];
}

// The window per slot age a (0 = newest) and output sample j, with the signs of the
// synthesis matrix's symmetric extension folded in, rearranged so that windowing
// walks the stored DCT outputs forwards (see Synthesize).
struct SignedWindow {
    // Even ages read X[16 + i]: for output i (lo) and output 32 - i (hi).
    float evenLo[8][16], evenHi[8][16];
    // Odd ages read X[m]: for output 16 - m (lo, m = 0..16) and 16 + m (hi).
    float oddLo[8][17], oddHi[8][16];
    SignedWindow() {
        float w[16][32];
        for (int a = 0; a < 16; ++a) {
            for (int j = 0; j < 32; ++j) {
                float d = float(data::kSynthesisWindow65536[j + 32 * a] / 65536.0);
                float sign;
                if (a % 2 == 0) {
                    sign = j < 16 ? 1.0f : (j == 16 ? 0.0f : -1.0f);
                } else {
                    sign = -1.0f;
                }
                w[a][j] = d * sign;
            }
        }
        for (int t = 0; t < 8; ++t) {
            const float* e = w[2 * t];
            const float* o = w[2 * t + 1];
            for (int i = 0; i < 16; ++i) {
                evenLo[t][i] = e[i];
                evenHi[t][i] = i == 0 ? 0.0f : e[32 - i];
                oddHi[t][i] = i == 0 ? 0.0f : o[16 + i];
            }
            for (int m = 0; m <= 16; ++m)
                oddLo[t][m] = o[16 - m];
        }
    }
};

const SignedWindow& Window() {
    static const SignedWindow w;
    return w;
}

} // namespace

void Dct32(const float* in, float* out) {
    Dct<32>(in, out);
}

void SynthesisFilter::Reset() {
    for (float& v : ring_)
        v = 0.0f;
    pos_ = 0;
}

// The standard's 64-value vector V of one slot is X[16..32], then -X[31..1] and
// -X[0..15] (X the DCT output). Windowing reads the first half of V for even slot
// ages and the second half for odd ages, so 32 stored values per slot suffice.
// Even ages give output i and 32 - i from X[16 + i]; odd ages give output 16 - m
// and 16 + m from X[m]. Accumulating in those two orders keeps every loop a plain
// forward walk; the four partial sums are put together once per slot.
void SynthesisFilter::Synthesize(const float* subbands, float* out) {
    pos_ = (pos_ - 32) & 511;
    Dct32(subbands, ring_ + pos_);
    const SignedWindow& win = Window();
    float evenLo[16] = {}, evenHi[16] = {}, oddLo[17] = {}, oddHi[16] = {};
    for (int t = 0; t < 8; ++t) {
        const float* x = ring_ + ((pos_ + 64 * t) & 511) + 16;
        const float* el = win.evenLo[t];
        const float* eh = win.evenHi[t];
        for (int i = 0; i < 16; ++i) {
            evenLo[i] += el[i] * x[i];
            evenHi[i] += eh[i] * x[i];
        }
        const float* y = ring_ + ((pos_ + 64 * t + 32) & 511);
        const float* ol = win.oddLo[t];
        const float* oh = win.oddHi[t];
        for (int m = 0; m < 16; ++m) {
            oddLo[m] += ol[m] * y[m];
            oddHi[m] += oh[m] * y[m];
        }
        oddLo[16] += ol[16] * y[16];
    }
    for (int i = 0; i < 16; ++i)
        out[i] = evenLo[i] + oddLo[16 - i];
    out[16] = oddLo[0];
    for (int i = 1; i < 16; ++i)
        out[32 - i] = evenHi[i] + oddHi[16 - i];
}

} // namespace mp3

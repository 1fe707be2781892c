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
        for (int k = 0; k < n / 2; ++k) f[k] = float(0.5 / std::cos(M_PI * (2 * k + 1) / (2.0 * n)));
    }
};

const DctFactors& Factors() {
    static const DctFactors f;
    return f;
}

template <int N> const float* FactorsFor();
template <> const float* FactorsFor<32>() { return Factors().f32; }
template <> const float* FactorsFor<16>() { return Factors().f16; }
template <> const float* FactorsFor<8>() { return Factors().f8; }
template <> const float* FactorsFor<4>() { return Factors().f4; }
template <> const float* FactorsFor<2>() { return Factors().f2; }

template <int N> inline void Dct(const float* in, float* out) {
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

template <> inline void Dct<1>(const float* in, float* out) { out[0] = in[0]; }

// The window per slot age a (0 = newest) and output sample j, with the signs of the
// synthesis matrix's symmetric extension folded in (see Synthesize).
struct SignedWindow {
    float w[16][32];
    SignedWindow() {
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
    }
};

const SignedWindow& Window() {
    static const SignedWindow w;
    return w;
}

} // namespace

void Dct32(const float* in, float* out) { Dct<32>(in, out); }

void SynthesisFilter::Reset() {
    for (float& v : ring_) v = 0.0f;
    pos_ = 0;
}

// The standard's 64-value vector V of one slot is X[16..32], then -X[31..1] and
// -X[0..15] (X the DCT output). Windowing reads the first half of V for even slot
// ages and the second half for odd ages, so 32 stored values per slot suffice.
void SynthesisFilter::Synthesize(const float* subbands, float* out) {
    pos_ = (pos_ - 32) & 511;
    Dct32(subbands, ring_ + pos_);
    const auto& win = Window().w;
    float acc[32] = {};
    for (int a = 0; a < 16; a += 2) {
        const float* x = ring_ + ((pos_ + 32 * a) & 511);
        const float* w = win[a];
        for (int j = 0; j < 16; ++j) acc[j] += w[j] * x[16 + j];
        for (int j = 17; j < 32; ++j) acc[j] += w[j] * x[48 - j];
        const float* y = ring_ + ((pos_ + 32 * (a + 1)) & 511);
        const float* v = win[a + 1];
        for (int j = 0; j <= 16; ++j) acc[j] += v[j] * y[16 - j];
        for (int j = 17; j < 32; ++j) acc[j] += v[j] * y[j - 16];
    }
    for (int j = 0; j < 32; ++j) out[j] = acc[j];
}

} // namespace mp3

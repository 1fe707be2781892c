// The Layer III stages and the synthesis filter, each against the standard's
// definition computed directly in double precision.
#include <doctest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "audio_decoder.h"
#include "layer3.h"
#include "synthesis.h"
#include "tables_data.h"
#include "test_support.h"

using namespace mp3;
using namespace mp3::layer3;

namespace {

const double kPi = 3.14159265358979323846;

std::vector<float> RandomValues(size_t n, float scale, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-scale, scale);
    std::vector<float> v(n);
    for (float& x : v)
        x = d(rng);
    return v;
}

} // namespace

TEST_CASE("32-point DCT matches its definition") {
    const auto in = RandomValues(32, 1000.0f, 1);
    float out[32];
    Dct32(in.data(), out);
    for (int m = 0; m < 32; ++m) {
        double ref = 0;
        for (int k = 0; k < 32; ++k)
            ref += in[k] * std::cos(kPi * m * (2 * k + 1) / 64.0);
        CHECK(out[m] == doctest::Approx(ref).epsilon(1e-5).scale(1000));
    }
}

TEST_CASE("synthesis filter matches the standard's shift-register form") {
    // The standard's literal algorithm: a 1,024-value V shifted by 64 per slot. The
    // filter is handed the slots in runs of every length it meets (a Layer III
    // granule, a Layer II frame, and runs that end inside a group of lanes).
    std::vector<double> v(1024, 0.0);
    SynthesisFilter filter;
    filter.Reset();
    int slot = 0;
    int worst = 0, loudest = 0;
    for (int run : {1, 2, 3, 5, 18, 36, 7, 4}) {
        std::vector<float> s;
        std::vector<int> ref;
        for (int r = 0; r < run; ++r, ++slot) {
            const auto sub = RandomValues(32, 1200.0f, 100 + unsigned(slot));
            s.insert(s.end(), sub.begin(), sub.end());
            for (int i = 1023; i >= 64; --i)
                v[size_t(i)] = v[size_t(i - 64)];
            for (int i = 0; i < 64; ++i) {
                double sum = 0;
                for (int k = 0; k < 32; ++k)
                    sum += std::cos((16 + i) * (2 * k + 1) * kPi / 64.0) * sub[size_t(k)];
                v[size_t(i)] = sum;
            }
            double u[512];
            for (int i = 0; i < 8; ++i) {
                for (int j = 0; j < 32; ++j) {
                    u[i * 64 + j] = v[size_t(i * 128 + j)];
                    u[i * 64 + 32 + j] = v[size_t(i * 128 + 96 + j)];
                }
            }
            for (int j = 0; j < 32; ++j) {
                double sum = 0;
                for (int i = 0; i < 16; ++i)
                    sum += u[j + 32 * i] * (data::kSynthesisWindow65536[j + 32 * i] / 65536.0);
                ref.push_back(int(std::lround(std::clamp(sum, -32768.0, 32767.0))));
            }
        }
        std::vector<int16_t> out(size_t(32 * run));
        filter.Synthesize(s.data(), run, out.data());
        for (size_t j = 0; j < out.size(); ++j) {
            worst = std::max(worst, std::abs(out[j] - ref[j]));
            loudest = std::max(loudest, std::abs(ref[j]));
        }
    }
    CHECK(loudest > 5000);
    CHECK(worst <= 1);
}

TEST_CASE("synthesis clamps loud and broken input") {
    SynthesisFilter filter;
    filter.Reset();
    std::vector<float> s(32 * 8, 0.0f);
    for (int slot = 0; slot < 8; ++slot)
        s[size_t(32 * slot)] = slot < 4 ? 1e9f : -1e9f; // a DC step far beyond full scale
    s[32 * 7 + 5] = std::nanf("");
    int16_t out[32 * 8];
    filter.Synthesize(s.data(), 8, out);
    // Past the filter's delay the positive run saturates at the top.
    bool sawTop = false;
    for (int j = 32 * 2; j < 32 * 4; ++j)
        sawTop |= out[j] == 32767;
    CHECK(sawTop);
    // NaN (a broken stream) gives the bottom value, never garbage (sample 16 of a
    // slot takes nothing from the slot's own subbands).
    for (int j = 0; j < 32; ++j)
        if (j != 16) CHECK(out[32 * 7 + j] == -32768);
}

namespace {

// The IMDCT of the standard for one subband, windowed (n = 36 or 12).
std::vector<double> ImdctDefinition(const float* in, int n) {
    std::vector<double> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int k = 0; k < n / 2; ++k)
            sum += in[k] * std::cos(kPi / (2.0 * n) * (2 * i + 1 + n / 2.0) * (2 * k + 1));
        x[size_t(i)] = sum;
    }
    return x;
}

double LongWindow(int type, int i) {
    const double base = std::sin(kPi / 36 * (i + 0.5));
    if (type == 1) {
        if (i >= 30) return 0;
        if (i >= 24) return std::sin(kPi / 12 * (i - 18 + 0.5));
        if (i >= 18) return 1;
    } else if (type == 3) {
        if (i < 6) return 0;
        if (i < 12) return std::sin(kPi / 12 * (i - 6 + 0.5));
        if (i < 18) return 1;
    }
    return base;
}

} // namespace

TEST_CASE("IMDCT with overlap-add for each block type, plain and mixed") {
    // A mixed block transforms its two lowest subbands with the normal window,
    // whatever the block type says for the rest.
    for (int mixed : {0, 1})
        for (int type : {0, 1, 2, 3}) {
            if (mixed && type == 0) continue;
            CAPTURE(type);
            CAPTURE(mixed);
            GranuleChannel gc;
            gc.windowSwitching = type != 0;
            gc.blockType = type;
            gc.mixedBlock = mixed;
            const auto a = RandomValues(576, 1000.0f, 7 + unsigned(type));
            const auto b = RandomValues(576, 1000.0f, 17 + unsigned(type));
            float overlap[576] = {};
            float out1[576], out2[576];
            InverseMdct(gc, a.data(), 32, overlap, out1);
            InverseMdct(gc, b.data(), 32, overlap, out2);
            for (int sb : {0, 1, 2, 5, 31}) {
                CAPTURE(sb);
                const int window = mixed && sb < 2 ? 0 : type;
                std::vector<double> z1(36, 0.0), z2(36, 0.0);
                if (window != 2) {
                    auto x1 = ImdctDefinition(a.data() + 18 * sb, 36);
                    auto x2 = ImdctDefinition(b.data() + 18 * sb, 36);
                    for (int i = 0; i < 36; ++i) {
                        z1[size_t(i)] = x1[size_t(i)] * LongWindow(window, i);
                        z2[size_t(i)] = x2[size_t(i)] * LongWindow(window, i);
                    }
                } else {
                    for (int w = 0; w < 3; ++w) {
                        float in1[6], in2[6];
                        for (int k = 0; k < 6; ++k) {
                            in1[k] = a[size_t(18 * sb + 3 * k + w)];
                            in2[k] = b[size_t(18 * sb + 3 * k + w)];
                        }
                        auto y1 = ImdctDefinition(in1, 12), y2 = ImdctDefinition(in2, 12);
                        for (int i = 0; i < 12; ++i) {
                            const double win = std::sin(kPi / 12 * (i + 0.5));
                            z1[size_t(6 + 6 * w + i)] += y1[size_t(i)] * win;
                            z2[size_t(6 + 6 * w + i)] += y2[size_t(i)] * win;
                        }
                    }
                }
                for (int t = 0; t < 18; ++t) {
                    CHECK(out1[t * 32 + sb] ==
                          doctest::Approx(z1[size_t(t)]).scale(1000).epsilon(1e-5));
                    CHECK(out2[t * 32 + sb] == doctest::Approx(z2[size_t(t)] + z1[size_t(18 + t)])
                                                   .scale(1000)
                                                   .epsilon(1e-5));
                    CHECK(overlap[32 * t + sb] ==
                          doctest::Approx(z2[size_t(18 + t)]).scale(1000).epsilon(1e-5));
                }
            }
        }
}

TEST_CASE("a mixed stop block over part of the subbands") {
    // Seven subbands with input: the kernels' lanes come out one short of a whole
    // group; subbands 0 and 1 take the normal window, 2 to 6 the stop window, and
    // the rest pass on the (zero) overlap.
    GranuleChannel gc;
    gc.windowSwitching = 1;
    gc.blockType = 3;
    gc.mixedBlock = 1;
    auto a = RandomValues(576, 1000.0f, 41);
    std::fill(a.begin() + 18 * 7, a.end(), 0.0f);
    float overlap[576] = {};
    float out[576];
    InverseMdct(gc, a.data(), 7, overlap, out);
    for (int sb : {0, 1, 2, 6}) {
        CAPTURE(sb);
        const auto x = ImdctDefinition(a.data() + 18 * sb, 36);
        const int window = sb < 2 ? 0 : 3;
        for (int t = 0; t < 18; ++t) {
            CHECK(out[32 * t + sb] ==
                  doctest::Approx(x[size_t(t)] * LongWindow(window, t)).scale(1000).epsilon(1e-5));
            CHECK(overlap[32 * t + sb] ==
                  doctest::Approx(x[size_t(18 + t)] * LongWindow(window, 18 + t))
                      .scale(1000)
                      .epsilon(1e-5));
        }
    }
    for (int t = 0; t < 18; ++t)
        for (int sb = 7; sb < 32; ++sb)
            CHECK(out[32 * t + sb] == 0.0f);
}

TEST_CASE("subbands without input pass the overlap on and clear it") {
    GranuleChannel gc;
    float xr[576] = {};
    float overlap[576];
    for (int i = 0; i < 576; ++i)
        overlap[i] = float(i);
    float out[576];
    InverseMdct(gc, xr, 0, overlap, out);
    CHECK(out[3 * 32 + 2] == 3 * 32 + 2);
    CHECK(overlap[100] == 0.0f);
}

TEST_CASE("frequency inversion negates odd samples of odd subbands") {
    float out[576];
    std::fill(out, out + 576, 1.0f);
    InvertFrequencies(out);
    CHECK(out[0 * 32 + 1] == 1.0f);
    CHECK(out[1 * 32 + 1] == -1.0f);
    CHECK(out[1 * 32 + 2] == 1.0f);
    CHECK(out[17 * 32 + 31] == -1.0f);
    CHECK(std::accumulate(out, out + 576, 0.0f) == 576 - 2 * 9 * 16);
}

TEST_CASE("alias reduction butterflies") {
    GranuleChannel gc;
    float xr[576] = {};
    xr[17] = 1.0f; // last line of subband 0
    xr[18] = 2.0f; // first line of subband 1
    ReduceAliasing(gc, xr, 32);
    const double c = data::kAliasCoefficients[0];
    const double cs = 1 / std::sqrt(1 + c * c), ca = c / std::sqrt(1 + c * c);
    CHECK(xr[17] == doctest::Approx(1 * cs - 2 * ca));
    CHECK(xr[18] == doctest::Approx(2 * cs + 1 * ca));
    // Pure short blocks are left alone; mixed blocks only between subbands 0 and 1.
    gc.windowSwitching = 1;
    gc.blockType = 2;
    float s[576] = {};
    s[17] = 1.0f, s[18] = 2.0f, s[35] = 3.0f, s[36] = 4.0f;
    ReduceAliasing(gc, s, 32);
    CHECK(s[17] == 1.0f);
    gc.mixedBlock = 1;
    ReduceAliasing(gc, s, 32);
    CHECK(s[17] != 1.0f);
    CHECK(s[35] == 3.0f);
    CHECK(s[36] == 4.0f);
}

TEST_CASE("short-block reordering") {
    const Bands bands = BandsFor(0); // 44.1 kHz
    GranuleChannel gc;
    gc.windowSwitching = 1;
    gc.blockType = 2;
    float xr[576];
    for (int i = 0; i < 576; ++i)
        xr[i] = float(i);
    ReorderShort(gc, bands, xr);
    // Band b, window w, line j moves to 3 * (s[b] + j) + w.
    for (int b = 0; b < 13; ++b) {
        const int width = bands.s[b + 1] - bands.s[b];
        for (int w = 0; w < 3; ++w)
            for (int j = 0; j < width; ++j)
                CHECK(xr[3 * (bands.s[b] + j) + w] == float(3 * bands.s[b] + w * width + j));
    }
    // Mixed: the long part (36 lines) stays.
    gc.mixedBlock = 1;
    for (int i = 0; i < 576; ++i)
        xr[i] = float(i);
    ReorderShort(gc, bands, xr);
    for (int i = 0; i < 36; ++i)
        CHECK(xr[i] == float(i));
    CHECK(xr[36 + 1] == float(36 + 4)); // band 3 (width 4), window 1, line 0
}

TEST_CASE("requantisation") {
    const Bands bands = BandsFor(0);
    GranuleChannel gc;
    gc.globalGain = 210;
    ScaleFactors sf;
    int32_t is[576] = {};
    float xr[576];
    is[0] = 8;
    is[1] = -8;
    is[bands.l[11]] = 1;
    Requantize(is, 576, gc, sf, bands, xr);
    CHECK(xr[0] == doctest::Approx(16.0 * 32768));
    CHECK(xr[1] == doctest::Approx(-16.0 * 32768));
    CHECK(xr[2] == 0.0f);
    SUBCASE("scale factors, scalefac_scale and pretab") {
        sf.l[0] = 1;
        gc.preflag = 1; // pretab[11] = 1
        Requantize(is, 576, gc, sf, bands, xr);
        CHECK(xr[0] == doctest::Approx(16.0 * 32768 * std::pow(2.0, -0.5)));
        CHECK(xr[bands.l[11]] == doctest::Approx(32768 * std::pow(2.0, -0.5)));
        gc.scalefacScale = 1;
        Requantize(is, 576, gc, sf, bands, xr);
        CHECK(xr[0] == doctest::Approx(16.0 * 32768 * 0.5));
    }
    SUBCASE("global gain and large values") {
        gc.globalGain = 214;
        is[0] = 8206;
        Requantize(is, 576, gc, sf, bands, xr);
        CHECK(xr[0] == doctest::Approx(std::pow(8206.0, 4.0 / 3.0) * 2 * 32768));
    }
    SUBCASE("short blocks: subblock gain and scale factor per window") {
        gc.windowSwitching = 1;
        gc.blockType = 2;
        gc.subblockGain[1] = 1;
        sf.s[0][2] = 2;
        std::fill(is, is + 576, 0);
        is[0] = 1, is[4] = 1, is[8] = 1; // band 0 (width 4), windows 0, 1, 2
        Requantize(is, 576, gc, sf, bands, xr);
        CHECK(xr[0] == doctest::Approx(32768));
        CHECK(xr[4] == doctest::Approx(32768 * 0.25));
        CHECK(xr[8] == doctest::Approx(32768 * 0.5));
    }
    SUBCASE("lines past the decoded count are zero") {
        std::fill(xr, xr + 576, 5.0f);
        Requantize(is, 1, gc, sf, bands, xr);
        CHECK(xr[1] == 0.0f);
        CHECK(xr[575] == 0.0f);
    }
}

TEST_CASE("stereo processing") {
    const Bands bands = BandsFor(0);
    float l[576] = {}, r[576] = {};
    SUBCASE("mid/side is scaled by 1/sqrt2") {
        l[0] = 1.0f, r[0] = 1.0f;
        ApplyMidSide(l, r, 0, 576);
        CHECK(l[0] == doctest::Approx(std::sqrt(2.0)));
        CHECK(r[0] == 0.0f);
    }
    GranuleChannel gc;
    ScaleFactors sf;
    std::memset(sf.isLimitL, 7, sizeof sf.isLimitL);
    StereoFrame f{true, false, &gc, &sf, &bands};
    SUBCASE("MPEG-1 intensity positions above the right channel's last line") {
        for (int i = 0; i < 576; ++i)
            l[i] = 1.0f;
        r[5] = 3.0f; // band 1: intensity starts at band 2
        sf.l[2] = 0; // all to the right
        sf.l[3] = 6; // all to the left
        sf.l[4] = 3; // half each
        sf.l[5] = 7; // illegal: left/right as coded
        ApplyIntensityStereo(f, l, r, 576);
        CHECK(r[5] == 3.0f);
        CHECK(l[bands.l[2]] == doctest::Approx(0.0));
        CHECK(r[bands.l[2]] == doctest::Approx(1.0));
        CHECK(l[bands.l[3]] == doctest::Approx(1.0));
        CHECK(r[bands.l[3]] == doctest::Approx(0.0));
        CHECK(l[bands.l[4]] == doctest::Approx(0.5));
        CHECK(r[bands.l[4]] == doctest::Approx(0.5));
        CHECK(l[bands.l[5]] == 1.0f);
        CHECK(r[bands.l[5]] == 0.0f);
        // Band 21 takes band 20's position.
        CHECK(r[575] == doctest::Approx(r[bands.l[20]]));
    }
    SUBCASE("the top band when the band below it is not intensity coded") {
        // Band 20 carries right-channel data, so only band 21 is intensity coded;
        // band 20's scale factor is no position for it.
        for (int i = 0; i < 576; ++i)
            l[i] = 1.0f;
        r[bands.l[20]] = 2.0f;
        sf.l[20] = 3;
        sf.isLimitL[20] = 3;
        ApplyIntensityStereo(f, l, r, 576);
        CHECK(r[bands.l[20]] == 2.0f);
        // MPEG-1: no position, the band stays as coded.
        CHECK(l[575] == 1.0f);
        CHECK(r[575] == 0.0f);
        f.mpeg1 = false;
        std::fill(r, r + 576, 0.0f);
        for (int i = 0; i < 576; ++i)
            l[i] = 1.0f;
        r[bands.l[20]] = 2.0f;
        ApplyIntensityStereo(f, l, r, 576);
        // MPEG-2: position 0, both channels at full level.
        CHECK(l[575] == 1.0f);
        CHECK(r[575] == 1.0f);
    }
    SUBCASE("short blocks: band 12 of a window whose band 11 is not intensity coded") {
        gc.windowSwitching = 1;
        gc.blockType = 2;
        f.mpeg1 = false;
        for (int i = 0; i < 576; ++i)
            l[i] = 1.0f;
        const int width11 = bands.s[12] - bands.s[11];
        const int width12 = bands.s[13] - bands.s[12];
        r[3 * bands.s[11] + 1 * width11] = 2.0f; // window 1, band 11
        for (int w = 0; w < 3; ++w)
            sf.s[11][w] = 1, sf.isLimitS[11] = 7;
        ApplyIntensityStereo(f, l, r, 576);
        const int top0 = 3 * bands.s[12];
        const int top1 = top0 + width12;
        // Window 0 shares band 11's position 1 (left * 2^-1/4); window 1 takes 0.
        CHECK(l[top0] == doctest::Approx(std::pow(2.0, -0.25)));
        CHECK(r[top0] == doctest::Approx(1.0));
        CHECK(l[top1] == 1.0f);
        CHECK(r[top1] == 1.0f);
    }
    SUBCASE("intensity bands are not scaled by mid/side") {
        for (int i = 0; i < 576; ++i)
            l[i] = 1.0f;
        f.midSide = true;
        sf.l[0] = 3;
        r[0] = 0.0f;
        ApplyIntensityStereo(f, l, r, 576);
        CHECK(l[0] == doctest::Approx(0.5));
        CHECK(r[0] == doctest::Approx(0.5));
    }
    SUBCASE("MPEG-2 intensity ratios and the illegal position") {
        f.mpeg1 = false;
        for (int i = 0; i < 576; ++i)
            l[i] = 1.0f;
        std::memset(sf.isLimitL, 15, sizeof sf.isLimitL);
        sf.intensityScale = 0;
        sf.l[0] = 1;  // left * 2^-1/4
        sf.l[1] = 2;  // right * 2^-1/4
        sf.l[2] = 15; // illegal
        ApplyIntensityStereo(f, l, r, 576);
        CHECK(l[0] == doctest::Approx(std::pow(2.0, -0.25)));
        CHECK(r[0] == doctest::Approx(1.0));
        CHECK(l[bands.l[1]] == doctest::Approx(1.0));
        CHECK(r[bands.l[1]] == doctest::Approx(std::pow(2.0, -0.25)));
        CHECK(l[bands.l[2]] == 1.0f);
        CHECK(r[bands.l[2]] == 0.0f);
    }
}

TEST_CASE("MPEG-1 scale factors and scfsi reuse") {
    const Bands bands = BandsFor(0);
    GranuleChannel gc;
    gc.scalefacCompress = 15; // slen 4, 3
    mp3test::BitWriter w;
    for (int b = 0; b < 21; ++b)
        w.Put(uint32_t(b % 8), b < 11 ? 4 : 3);
    // granule 1 with scfsi for groups 0 and 2: bands 6-10 and 16-20 are read
    for (int b = 6; b < 11; ++b)
        w.Put(9, 4);
    for (int b = 16; b < 21; ++b)
        w.Put(1, 3);
    auto bytes = w.Bytes(w.Bits() / 8 + 16);
    BitReader br(bytes.data(), bytes.size() - 8);
    ScaleFactors sf;
    const int scfsi0[4] = {}, scfsi1[4] = {1, 0, 1, 0};
    ReadScaleFactorsMpeg1(br, gc, scfsi0, 0, bands, &sf);
    CHECK(br.Position() == 11 * 4 + 10 * 3);
    CHECK(sf.l[7] == 7);
    CHECK(sf.l[20] == 4);
    ReadScaleFactorsMpeg1(br, gc, scfsi1, 1, bands, &sf);
    CHECK(br.Position() == w.Bits());
    CHECK(sf.l[3] == 3);  // kept
    CHECK(sf.l[7] == 9);  // read again
    CHECK(sf.l[12] == 4); // kept
    CHECK(sf.l[18] == 1); // read again
    CHECK(sf.l[21] == 0);
}

TEST_CASE("MPEG-2 scale-factor partitions") {
    const Bands bands = BandsFor(3);
    GranuleChannel gc;
    SUBCASE("long blocks, s < 400") {
        gc.scalefacCompress = 4 * 80 + 3 * 16 + 2 * 4 + 1; // slen 4, 3, 2, 1
        mp3test::BitWriter w;
        const int n[4] = {6, 5, 5, 5}, bits[4] = {4, 3, 2, 1};
        for (int p = 0; p < 4; ++p)
            for (int i = 0; i < n[p]; ++i)
                w.Put(uint32_t((1 << bits[p]) - 1 - (i == 0)), bits[p]);
        auto bytes = w.Bytes(w.Bits() / 8 + 16);
        BitReader br(bytes.data(), bytes.size() - 8);
        ScaleFactors sf;
        ReadScaleFactorsMpeg2(br, gc, false, bands, &sf);
        CHECK(br.Position() == 6 * 4 + 5 * 3 + 5 * 2 + 5);
        CHECK(sf.l[0] == 14);
        CHECK(sf.l[1] == 15);
        CHECK(sf.l[6] == 6);
        CHECK(sf.l[20] == 1);
        CHECK(sf.isLimitL[0] == 15);
        CHECK(sf.isLimitL[20] == 1);
        CHECK(sf.preflag == 0);
    }
    SUBCASE("s >= 500 sets preflag") {
        gc.scalefacCompress = 500 + 2 * 3 + 1; // slen 2, 1
        std::vector<uint8_t> bytes(32, 0xFF);
        BitReader br(bytes.data(), 24);
        ScaleFactors sf;
        ReadScaleFactorsMpeg2(br, gc, false, bands, &sf);
        CHECK(br.Position() == 11 * 2 + 10 * 1);
        CHECK(sf.preflag == 1);
        CHECK(sf.l[10] == 3);
        CHECK(sf.l[11] == 1);
    }
    SUBCASE("right channel of an intensity frame, short blocks") {
        gc.windowSwitching = 1;
        gc.blockType = 2;
        gc.scalefacCompress = 2 * (2 * 36 + 3 * 6 + 4) + 1; // slen 2, 3, 4; scale 1
        std::vector<uint8_t> bytes(64, 0xFF);
        BitReader br(bytes.data(), 56);
        ScaleFactors sf;
        ReadScaleFactorsMpeg2(br, gc, true, bands, &sf);
        CHECK(sf.intensityScale == 1);
        CHECK(br.Position() == 12 * 2 + 12 * 3 + 12 * 4); // partitions 12, 12, 12
        CHECK(sf.s[3][2] == 3);
        CHECK(sf.s[4][0] == 7);
        CHECK(sf.s[11][2] == 15);
        CHECK(sf.isLimitS[11] == 15);
        CHECK(sf.isLimitS[12] == 15);
    }
}

TEST_CASE("output conversion rounds to nearest and clamps") {
    CHECK(ToPcm16(0.0f) == 0);
    CHECK(ToPcm16(1.4f) == 1);
    CHECK(ToPcm16(1.6f) == 2);
    CHECK(ToPcm16(-1.6f) == -2);
    CHECK(ToPcm16(-0.4f) == 0);
    CHECK(ToPcm16(32766.7f) == 32767);
    CHECK(ToPcm16(40000.0f) == 32767);
    CHECK(ToPcm16(-32768.4f) == -32768);
    CHECK(ToPcm16(-1e9f) == -32768);
    CHECK(ToPcm16(std::nanf("")) == -32768);
}

// The SSE2 and AVX builds of the kernels against the baseline build, on this processor:
// the same sound within one step of 16 bits (32-bit x86 compares SSE2 with x87).
#include <doctest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "layer3.h"
#include "simd.h"
#include "synthesis.h"

using namespace mp3;

namespace {

// A wider build against the baseline over a loud signal: the same on
// x86-64; on 32-bit x86 the baseline rounds on the x87 stack, so within
// rounding of the loudest value.
void CheckAgreement(float largest, float differs) {
    CHECK(largest > 1000.0f);
#if defined(__x86_64__)
    CHECK(differs == 0.0f);
#else
    CHECK(differs <= largest * 1e-5f);
#endif
}

} // namespace

TEST_CASE("the SSE2 and baseline kernels agree") {
    const Kernels* sse2 = Sse2Kernels();
    if (!sse2) {
        MESSAGE("no SSE2 kernels on this processor: baseline only");
        CHECK(&ActiveKernels() == &BaselineKernels());
        return;
    }
    // The widest build the processor runs is the one in use.
    CHECK(&ActiveKernels() == (AvxKernels() ? AvxKernels() : sse2));
    // Each wider build against the baseline.
    for (const Kernels* fast : {sse2, AvxKernels()}) {
        if (!fast) continue;
        const std::string name = fast->name;
        CAPTURE(name);
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> d(-9000.0f, 9000.0f);
        // Whole groups of slots, partial ones and single slots, as frames and tests
        // hand them over.
        alignas(16) float ringA[16 * 36 + 4] = {}, ringB[16 * 36 + 4] = {};
        unsigned posA = 0, posB = 0;
        int worst = 0, loudest = 0;
        for (int slots : {36, 18, 1, 3, 5, 2, 7, 36, 4, 18}) {
            std::vector<float> in(size_t(32 * slots));
            for (float& v : in)
                v = d(rng);
            std::vector<int16_t> a(in.size()), b(in.size());
            BaselineKernels().synthesize(ringA, &posA, in.data(), slots, a.data());
            fast->synthesize(ringB, &posB, in.data(), slots, b.data());
            for (size_t j = 0; j < a.size(); ++j) {
                worst = std::max(worst, std::abs(a[j] - b[j]));
                loudest = std::max(loudest, std::abs(int(a[j])));
            }
        }
        CHECK(posA == posB);
        CHECK(loudest > 10000);
#if defined(__x86_64__)
        // Both builds use SSE arithmetic here, in the same order on every lane.
        CHECK(worst == 0);
#else
        CHECK(worst <= 1);
#endif

        // Interleaving, including a tail shorter than a vector.
        int16_t left[21], right[21], both[42], ref[42];
        for (int i = 0; i < 21; ++i) {
            left[i] = int16_t(i * 1000 - 9000);
            right[i] = int16_t(-i * 7 - 1);
            ref[2 * i] = left[i];
            ref[2 * i + 1] = right[i];
        }
        fast->interleave(left, right, 21, both);
        CHECK(std::equal(both, both + 42, ref));

        // The IMDCTs, every window, over a few granules of overlap; 7 subbands make a
        // whole group of lanes and a part of one.
        std::vector<float> overlapA(576, 0.0f), overlapB(576, 0.0f);
        float largest = 0.0f, differs = 0.0f;
        for (int granule = 0; granule < 40; ++granule) {
            std::vector<float> in(18 * 7), a(576), b(576);
            for (float& v : in)
                v = d(rng);
            const int type = granule % 4;
            if (type == 2) {
                BaselineKernels().shortImdcts(in.data(), 7, overlapA.data(), a.data());
                fast->shortImdcts(in.data(), 7, overlapB.data(), b.data());
            } else {
                BaselineKernels().longImdcts(in.data(), 7, type, overlapA.data(), a.data());
                fast->longImdcts(in.data(), 7, type, overlapB.data(), b.data());
            }
            for (int i = 0; i < 18; ++i) {
                for (int sb = 0; sb < 7; ++sb) {
                    largest = std::max(largest, std::abs(a[32 * i + sb]));
                    differs = std::max(differs, std::abs(a[32 * i + sb] - b[32 * i + sb]));
                }
            }
        }
        CheckAgreement(largest, differs);
    }
}

TEST_CASE(
    "mid/side, alias butterflies, Layer III requantisation and Layer II scaling in both builds") {
    const Kernels* sse2 = Sse2Kernels();
    if (!sse2) {
        MESSAGE("no SSE2 kernels on this processor: baseline only");
        return;
    }
    for (const Kernels* fast : {sse2, AvxKernels()}) {
        if (!fast) continue;
        const std::string name = fast->name;
        CAPTURE(name);
        std::mt19937 rng(9);
        std::uniform_real_distribution<float> d(-20000.0f, 20000.0f);
        // Each kernel against the formula in double, and the builds against each other:
        // the same on x86-64, within float rounding where the baseline is x87.
        auto close = [](float a, double b) { return std::abs(a - b) <= 1e-6 * (std::abs(b) + 1); };
#if defined(__x86_64__)
        auto same = [](float a, float b) { return a == b; };
#else
        // x87 rounds differently where terms cancel: within float steps at the data's scale.
        auto same = [](float a, float b) { return std::abs(a - b) <= 0.02f; };
#endif

        std::vector<float> l(37), r(37);
        for (size_t i = 0; i < l.size(); ++i)
            l[i] = d(rng), r[i] = d(rng);
        auto la = l, ra = r, lb = l, rb = r;
        BaselineKernels().midSide(la.data(), ra.data(), 37);
        fast->midSide(lb.data(), rb.data(), 37);
        int bad = 0;
        for (size_t i = 0; i < l.size(); ++i) {
            bad += !close(la[i], (double(l[i]) + r[i]) / std::sqrt(2.0));
            bad += !close(ra[i], (double(l[i]) - r[i]) / std::sqrt(2.0));
            bad += !same(la[i], lb[i]) + !same(ra[i], rb[i]);
        }
        CHECK(bad == 0);

        std::vector<float> xr(576);
        for (float& v : xr)
            v = d(rng);
        auto xa = xr, xb = xr;
        BaselineKernels().aliasButterflies(xa.data(), 5);
        fast->aliasButterflies(xb.data(), 5);
        bad = 0;
        for (size_t i = 0; i < xr.size(); ++i)
            bad += !same(xa[i], xb[i]);
        CHECK(bad == 0);
        CHECK(xa[17] != xr[17]);                 // subbands 0 and 1 meet
        CHECK(xa[18 * 5] == xr[18 * 5]);         // subband 5 is past the limit
        CHECK(xa[18 * 5 - 9] == xr[18 * 5 - 9]); // the butterflies reach 8 lines each way

        // Requantisation: a table of 2 * 100 + 1 values indexed from -100, values
        // past it clamped to its ends. One float product each, so the same bits in
        // every build, x87 included.
        constexpr int32_t kLimit = 100;
        std::vector<float> pow43(2 * kLimit + 1);
        for (int32_t v = -kLimit; v <= kLimit; ++v)
            pow43[size_t(v + kLimit)] =
                float((v < 0 ? -1 : 1) * std::pow(std::abs(double(v)), 4.0 / 3.0));
        std::vector<int32_t> values(37);
        for (int32_t& v : values)
            v = int32_t(rng() % 301) - 150; // a third of them past the table
        const float gain = d(rng) / 20000.0f;
        std::vector<float> sa(37, -1.0f), sb(37, -1.0f);
        BaselineKernels().scaleLines(values.data() + 1, pow43.data() + kLimit, kLimit, gain, 35,
                                     sa.data() + 1);
        fast->scaleLines(values.data() + 1, pow43.data() + kLimit, kLimit, gain, 35, sb.data() + 1);
        bad = 0;
        for (size_t i = 1; i < 36; ++i) {
            const int32_t v = std::clamp(values[i], -kLimit, kLimit);
            const double expect =
                (v < 0 ? -1 : 1) * std::pow(std::abs(double(v)), 4.0 / 3.0) * gain;
            bad += !close(sa[i], expect);
            bad += sa[i] != sb[i];
        }
        CHECK(bad == 0);
        CHECK(sa[0] == -1.0f); // nothing written outside the run
        CHECK(sa[36] == -1.0f);
        CHECK(sb[0] == -1.0f);
        CHECK(sb[36] == -1.0f);

        std::vector<int32_t> codes(36 * 32);
        alignas(16) float mul[3][32], add[3][32];
        for (int32_t& c : codes)
            c = int32_t(rng() % 65536);
        for (int p = 0; p < 3; ++p)
            for (int sb = 0; sb < 32; ++sb)
                mul[p][sb] = d(rng) / 65536.0f, add[p][sb] = d(rng);
        std::vector<float> oa(36 * 32), ob(36 * 32);
        BaselineKernels().dequantize(codes.data(), mul[0], add[0], oa.data());
        fast->dequantize(codes.data(), mul[0], add[0], ob.data());
        bad = 0;
        for (int s = 0; s < 36; ++s) {
            for (int sb = 0; sb < 32; ++sb) {
                const size_t i = size_t(32 * s + sb);
                const double expect = double(codes[i]) * mul[s / 12][sb] + add[s / 12][sb];
                bad += std::abs(oa[i] - expect) > 1e-3 * (std::abs(expect) + 1);
                bad += !same(oa[i], ob[i]);
            }
        }
        CHECK(bad == 0);
    }
}

TEST_CASE("zero fills clear exactly the words asked for, in every build") {
    // Runs of every length up to a few vectors and a granule's, from every word
    // offset of a vector: the last words go by an overlapping store, which must not
    // reach before the run or past it.
    for (const Kernels* k : {&BaselineKernels(), Sse2Kernels(), AvxKernels()}) {
        if (!k) continue;
        const std::string name = k->name;
        CAPTURE(name);
        int bad = 0;
        for (int offset = 0; offset < 4; ++offset) {
            for (int count = 0; count <= 576; count += count < 20 ? 1 : 139) {
                std::vector<int32_t> words(size_t(offset + count + 5), -1);
                k->clearWords(words.data() + offset, count);
                for (size_t i = 0; i < words.size(); ++i) {
                    const bool inside = int(i) >= offset && int(i) < offset + count;
                    bad += words[i] != (inside ? 0 : -1);
                }
            }
        }
        CHECK(bad == 0);
    }
}

TEST_CASE("the Layer III float stages agree between builds, block type by block type") {
    // One granule pair through every stage in each build: long blocks, start and stop
    // blocks, short blocks, mixed ones (at 8000 Hz too, where lines between the long
    // part and short band 3 belong to no band), with intensity stereo (MPEG-1 and
    // MPEG-2 positions) and mid/side below it. Requantisation, intensity scaling,
    // reordering and inversion are one rounding each or none: the same bits in every
    // build. Sums (mid/side, butterflies, transforms) may differ by x87 rounding.
    for (const Kernels* fast : {Sse2Kernels(), AvxKernels()}) {
        if (!fast) continue;
        const Kernels& base = BaselineKernels();
        const std::string name = fast->name;
        CAPTURE(name);
        std::mt19937 rng(23);
        // Long, start, stop, short, mixed start, mixed short (the last at 8000 Hz).
        const int kinds[6][3] = {{0, 0, 0}, {1, 1, 0}, {1, 3, 0}, {1, 2, 0}, {1, 1, 1}, {1, 2, 1}};
        for (int config = 0; config < 12; ++config) {
            CAPTURE(config);
            const bool mpeg1 = config % 2 == 0 && config < 10;
            const layer3::Bands bands = layer3::BandsFor(config >= 10 ? 8 : (mpeg1 ? 0 : 3));
            layer3::GranuleChannel gc;
            const int* kind = kinds[config / 2];
            gc.windowSwitching = kind[0], gc.blockType = kind[1], gc.mixedBlock = kind[2];
            gc.globalGain = 180 + int(rng() % 30);
            gc.scalefacScale = config % 3 == 0;
            gc.preflag = config == 0;
            for (int& g : gc.subblockGain)
                g = int(rng() % 4);
            layer3::ScaleFactors sf;
            for (int b = 0; b < 21; ++b)
                sf.l[b] = uint8_t(rng() % 8), sf.isLimitL[b] = 7;
            for (int b = 0; b < 12; ++b) {
                sf.isLimitS[b] = 7;
                for (auto& v : sf.s[b])
                    v = uint8_t(rng() % 8);
            }
            sf.intensityScale = config % 4 == 1;
            std::vector<int32_t> is[2] = {std::vector<int32_t>(576), std::vector<int32_t>(576)};
            const int lines[2] = {400 + int(rng() % 176), 200 + int(rng() % 100)};
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < lines[ch]; ++i)
                    is[ch][size_t(i)] = int32_t(rng() % 61) - 30;

            std::vector<float> xa[2], xb[2], oa[2], ob[2], ha[2], hb[2];
            for (int ch = 0; ch < 2; ++ch) {
                xa[ch] = xb[ch] = std::vector<float>(576, 7.0f); // stale values must go
                base.requantize(is[ch].data(), lines[ch], gc, sf, bands, xa[ch].data());
                fast->requantize(is[ch].data(), lines[ch], gc, sf, bands, xb[ch].data());
                CHECK(xa[ch] == xb[ch]);
                CHECK(xa[ch][575] == 0.0f);
            }
            const layer3::StereoFrame f{mpeg1, config % 3 != 2, &gc, &sf, &bands};
            base.intensityStereo(f, xa[0].data(), xa[1].data());
            fast->intensityStereo(f, xb[0].data(), xb[1].data());
            float largest = 0.0f, differs = 0.0f;
            auto compare = [&](const std::vector<float>& a, const std::vector<float>& b) {
                for (size_t i = 0; i < a.size(); ++i) {
                    largest = std::max(largest, std::abs(a[i]));
                    differs = std::max(differs, std::abs(a[i] - b[i]));
                }
            };
            for (int ch = 0; ch < 2; ++ch) {
                compare(xa[ch], xb[ch]);
                base.reorderShort(gc, bands, xa[ch].data());
                fast->reorderShort(gc, bands, xb[ch].data());
                base.reduceAliasing(gc, xa[ch].data(), 32);
                fast->reduceAliasing(gc, xb[ch].data(), 32);
                compare(xa[ch], xb[ch]);
                // Two granules, the second with fewer subbands: the rest pass the
                // overlap on.
                oa[ch] = ob[ch] = std::vector<float>(576, 0.0f);
                ha[ch] = hb[ch] = std::vector<float>(576);
                for (int sbUsed : {32, 9}) {
                    base.inverseMdct(gc, xa[ch].data(), sbUsed, oa[ch].data(), ha[ch].data());
                    fast->inverseMdct(gc, xb[ch].data(), sbUsed, ob[ch].data(), hb[ch].data());
                    base.invertFrequencies(ha[ch].data());
                    fast->invertFrequencies(hb[ch].data());
                    compare(ha[ch], hb[ch]);
                }
                compare(oa[ch], ob[ch]);
            }
            CheckAgreement(largest, differs);
        }
    }
}

// The SSE2 build of the kernels against the baseline build, on this processor:
// the same sound within one step of 16 bits (32-bit x86 compares SSE2 with x87).
#include <doctest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "simd.h"
#include "synthesis.h"

using namespace mp3;

TEST_CASE("the SSE2 and baseline kernels agree") {
    const Kernels* sse2 = Sse2Kernels();
    if (!sse2) {
        MESSAGE("no SSE2 kernels on this processor: baseline only");
        CHECK(&ActiveKernels() == &BaselineKernels());
        return;
    }
    CHECK(&ActiveKernels() == sse2);
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
        sse2->synthesize(ringB, &posB, in.data(), slots, b.data());
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
    sse2->interleave(left, right, 21, both);
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
            sse2->shortImdcts(in.data(), 7, overlapB.data(), b.data());
        } else {
            BaselineKernels().longImdcts(in.data(), 7, type, overlapA.data(), a.data());
            sse2->longImdcts(in.data(), 7, type, overlapB.data(), b.data());
        }
        for (int i = 0; i < 18; ++i) {
            for (int sb = 0; sb < 7; ++sb) {
                largest = std::max(largest, std::abs(a[32 * i + sb]));
                differs = std::max(differs, std::abs(a[32 * i + sb] - b[32 * i + sb]));
            }
        }
    }
    CHECK(largest > 1000.0f);
#if defined(__x86_64__)
    CHECK(differs == 0.0f);
#else
    CHECK(differs <= largest * 1e-5f);
#endif
}

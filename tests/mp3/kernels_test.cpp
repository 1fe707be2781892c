// The SSE2 build of the kernels against the baseline build, on this processor:
// the same sound within one step of 16 bits (32-bit x86 compares SSE2 with x87).
#include <doctest.h>

#include <random>

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
    float ringA[512] = {}, ringB[512] = {};
    unsigned pos = 0;
    int worst = 0;
    for (int slot = 0; slot < 400; ++slot) {
        float in[32];
        for (float& v : in)
            v = d(rng);
        pos = (pos - 32) & 511;
        float a[32], b[32];
        BaselineKernels().synthesizeSlot(ringA, pos, in, a);
        sse2->synthesizeSlot(ringB, pos, in, b);
        for (int j = 0; j < 32; ++j)
            worst = std::max(worst, std::abs(ToPcm16(a[j]) - ToPcm16(b[j])));
    }
    CHECK(worst <= 1);

    // The IMDCTs, every window, over a few granules of overlap.
    float overlapA[18] = {}, overlapB[18] = {};
    float largest = 0.0f, differs = 0.0f;
    for (int granule = 0; granule < 40; ++granule) {
        float in[18], a[18 * 32], b[18 * 32];
        for (float& v : in)
            v = d(rng);
        const int type = granule % 4;
        if (type == 2) {
            BaselineKernels().shortImdct(in, overlapA, a);
            sse2->shortImdct(in, overlapB, b);
        } else {
            BaselineKernels().longImdct(in, type, overlapA, a);
            sse2->longImdct(in, type, overlapB, b);
        }
        for (int i = 0; i < 18; ++i) {
            largest = std::max(largest, std::abs(a[32 * i]));
            differs = std::max(differs, std::abs(a[32 * i] - b[32 * i]));
        }
    }
    CHECK(largest > 1000.0f);
    CHECK(differs <= largest * 1e-5f);
}

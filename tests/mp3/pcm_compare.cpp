// pcm_compare: compares two raw 16-bit little-endian PCM files sample by sample.
//
//   pcm_compare TEST REFERENCE CHANNELS SKIP [MIN_PSNR MAX_DIFF]
//
// SKIP sample frames are dropped from the start of TEST first (our decoder plays a
// LAME Info frame as a frame of silence, the reference drops it). Prints PSNR
// (10 log10(32767^2 / MSE)), the largest difference and both lengths; with
// thresholds, the exit status says whether they hold and the lengths agree.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

static std::vector<int16_t> Load(const char* name) {
    std::vector<int16_t> v;
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return v;
    uint8_t b[2];
    while (std::fread(b, 1, 2, f) == 2)
        v.push_back(int16_t(uint16_t(b[0] | b[1] << 8)));
    std::fclose(f);
    return v;
}

int main(int argc, char** argv) {
    if (argc != 5 && argc != 7) {
        std::fprintf(stderr,
                     "usage: pcm_compare TEST REFERENCE CHANNELS SKIP [MIN_PSNR MAX_DIFF]\n");
        return 2;
    }
    std::vector<int16_t> test = Load(argv[1]);
    const std::vector<int16_t> ref = Load(argv[2]);
    const long channels = std::atol(argv[3]);
    const size_t skip = size_t(std::atol(argv[4]) * channels);
    if (test.size() < skip) {
        std::printf("test output shorter than the skip\n");
        return 1;
    }
    test.erase(test.begin(), test.begin() + long(skip));
    const size_t n = test.size() < ref.size() ? test.size() : ref.size();
    double sum = 0;
    long maxDiff = 0;
    for (size_t i = 0; i < n; ++i) {
        const long d = std::labs(long(test[i]) - long(ref[i]));
        sum += double(d) * double(d);
        if (d > maxDiff) maxDiff = d;
    }
    const double mse = n ? sum / double(n) : 0.0;
    const double psnr = mse > 0 ? 10.0 * std::log10(32767.0 * 32767.0 / mse) : INFINITY;
    std::printf("samples %zu/%zu psnr %.2f dB max-diff %ld\n", test.size(), ref.size(), psnr,
                maxDiff);
    if (argc == 7) {
        const bool ok = n > 0 && test.size() == ref.size() && psnr >= std::atof(argv[5]) &&
                        maxDiff <= std::atol(argv[6]);
        return ok ? 0 : 1;
    }
    return 0;
}

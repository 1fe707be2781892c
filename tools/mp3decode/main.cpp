// mp3decode: decodes an MP3 file with the player's own stream parser and decoder.
//
//   mp3decode [--wav] INPUT OUTPUT   raw 16-bit little-endian interleaved PCM, or WAV
//   --kernels baseline|sse2|avx      decodes with that build of the hot loops
//   mp3decode --info INPUT [OUTPUT]  also prints what the stream is
//   --time [--repeat N]              prints the time the decoding loop took (stderr):
//                                    wall and CPU seconds, start-up and opening excluded;
//                                    with --repeat the file is decoded N times in all (the
//                                    output written once), the times are the sums, and
//                                    the wall time of the fastest pass follows
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "audio_decoder.h"
#include "simd.h"
#include "file_source.h"
#include "frame_stream.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <ctime>
#endif

namespace {

static_assert(std::endian::native == std::endian::little, "PCM is written as it is in memory");

const char* OpenErrorText(int code) {
    switch (code) {
    case mp3::kErrNoSuchFile:
        return "no such file";
    case mp3::kErrAccessDenied:
        return "access denied";
    case mp3::kErrInvalidName:
        return "invalid file name";
    case mp3::kErrTooManyFiles:
        return "too many open files";
    default:
        return "cannot be opened or read";
    }
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void WavHeader(uint8_t* h, int channels, int rate, uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, uint16_t(channels));
    Put32(h + 24, uint32_t(rate));
    Put32(h + 28, uint32_t(rate * channels * 2));
    Put16(h + 32, uint16_t(channels * 2));
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

// CPU seconds this thread has used. (Windows counts in scheduler ticks: coarse, which
// is why --time also gives the wall time.)
double ThreadCpuSeconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0.0;
    auto ticks = [](const FILETIME& f) {
        return double((uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 1e-7;
#else
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
#endif
}

double WallSeconds() {
#ifdef _WIN32
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
#else
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
#endif
}

// Decodes the file once more, output discarded, adding the loop's times to *wall and
// *cpu and lowering *fastest to its wall time when below. False when it cannot be
// opened or set up again.
bool DecodeAgain(const char* input, int channels, double* wall, double* cpu, double* fastest) {
    mp3::OpenFile file;
    if (mp3::OpenMp3File(input, &file) != mp3::kOk) return false;
    mp3::FileInput in(file.file, std::max<int64_t>(0, file.playableSize - file.readStart));
    mp3::FrameStream stream(in);
    auto decoder = std::make_unique<mp3::AudioDecoder>();
    bool ok = stream.FindStream() == mp3::kOk;
    if (ok) {
        stream.SetOutputChannels(channels);
        ok = stream.SetUpDecoder(*decoder) == mp3::kOk;
    }
    if (ok) {
        static int16_t pcm[mp3::AudioDecoder::kMaxOutputBytes / 2];
        // The wall clock inside the CPU-time reads: under Wine a CPU-time read is a
        // system call that reads /proc, far slower than the clock.
        const double cpuStart = ThreadCpuSeconds();
        const double wallStart = WallSeconds();
        int produced = 0;
        while (stream.Step(*decoder, pcm, &produced) == mp3::kOk) {
        }
        const double passWall = WallSeconds() - wallStart;
        *cpu += ThreadCpuSeconds() - cpuStart;
        *wall += passWall;
        *fastest = std::min(*fastest, passWall);
    }
    std::fclose(file.file);
    return ok;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: mp3decode [--wav] [--time [--repeat N]] [--kernels NAME] INPUT OUTPUT\n"
                 "       mp3decode --info INPUT [OUTPUT]\n"
                 "  --kernels baseline|sse2|avx: that build of the decoder's loops\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    bool wav = false;
    bool info = false;
    bool timed = false;
    int repeat = 1;
    const char* input = nullptr;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wav") == 0) {
            wav = true;
        } else if (std::strcmp(argv[i], "--info") == 0) {
            info = true;
        } else if (std::strcmp(argv[i], "--time") == 0) {
            timed = true;
        } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
            if (repeat < 1) return Usage();
        } else if (std::strcmp(argv[i], "--kernels") == 0 && i + 1 < argc) {
            if (!mp3::ChooseKernels(argv[++i])) {
                std::fprintf(stderr, "mp3decode: no %s build of the kernels here\n", argv[i]);
                return 2;
            }
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            return Usage();
        } else if (!input) {
            input = argv[i];
        } else if (!output) {
            output = argv[i];
        } else {
            return Usage();
        }
    }
    if (!input || (!output && !info)) return Usage();

    mp3::OpenFile file;
    int rc = mp3::OpenMp3File(input, &file);
    if (rc != mp3::kOk) {
        std::fprintf(stderr, "mp3decode: %s: %s (error %d)\n", input, OpenErrorText(rc), rc);
        return 1;
    }
    // The tags at the end are not audio: the input stops before them.
    mp3::FileInput in(file.file, std::max<int64_t>(0, file.playableSize - file.readStart));
    mp3::FrameStream stream(in);
    rc = stream.FindStream();
    if (rc == mp3::kOk) rc = stream.SetUpDecoder(*std::make_unique<mp3::AudioDecoder>());
    if (rc == mp3::kOk && stream.OutputChannels() == 1) {
        // The first frames are mono: a look over the whole file says whether a
        // two-channel frame comes later, which makes the output two-channel.
        mp3::OpenFile again;
        if (mp3::OpenMp3File(input, &again) == mp3::kOk) {
            mp3::FileInput look(again.file,
                                std::max<int64_t>(0, again.playableSize - again.readStart));
            stream.SetOutputChannels(
                mp3::StreamChannels(look, stream.First(), stream.FrameLength()));
            std::fclose(again.file);
        }
    }
    if (rc != mp3::kOk) {
        std::fclose(file.file);
        if (in.ReadError()) {
            std::fprintf(stderr, "mp3decode: %s: read error\n", input);
        } else if (rc == mp3::kErrDecoderRefused) {
            std::fprintf(stderr, "mp3decode: %s: MPEG audio stream not supported (error %d)\n",
                         input, rc);
        } else {
            std::fprintf(stderr,
                         "mp3decode: %s: no MPEG audio Layer II/III stream found (error %d)\n",
                         input, rc);
        }
        return 1;
    }
    stream.Measure(file.playableSize);

    auto decoder = std::make_unique<mp3::AudioDecoder>();
    stream.SetUpDecoder(*decoder);
    int32_t format[6];
    decoder->DecodeInfo(format);
    const int channels = format[0];
    const int rate = format[2];

    std::FILE* out = nullptr;
    if (output) {
        out = std::fopen(output, "wb");
        if (!out) {
            std::fprintf(stderr, "mp3decode: %s: cannot create output file\n", output);
            std::fclose(file.file);
            return 1;
        }
    }
    uint8_t header[44] = {};
    if (out && wav) std::fwrite(header, 1, sizeof header, out);

    static int16_t pcm[mp3::AudioDecoder::kMaxOutputBytes / 2];
    uint64_t bytes = 0;
    bool writeFailed = false;
    const double cpuStart = ThreadCpuSeconds(); // (outside the wall clock, as below)
    const double wallStart = WallSeconds();
    for (;;) {
        int produced = 0;
        rc = stream.Step(*decoder, pcm, &produced);
        if (rc != mp3::kOk) break;
        if (out && std::fwrite(pcm, 1, size_t(produced), out) != size_t(produced)) {
            writeFailed = true;
            break;
        }
        bytes += uint64_t(produced);
    }
    double wallSeconds = WallSeconds() - wallStart;
    double cpuSeconds = ThreadCpuSeconds() - cpuStart;
    const bool readFailed = in.ReadError();
    std::fclose(file.file);
    if (out && wav && !writeFailed) {
        WavHeader(header, channels, rate, uint32_t(bytes));
        writeFailed = std::fseek(out, 0, SEEK_SET) != 0 ||
                      std::fwrite(header, 1, sizeof header, out) != sizeof header;
    }
    if (out && std::fclose(out) != 0) writeFailed = true;
    if (writeFailed) {
        std::fprintf(stderr, "mp3decode: %s: write error\n", output);
        return 1;
    }
    if (readFailed) {
        std::fprintf(stderr, "mp3decode: %s: read error\n", input);
        return 1;
    }

    if (timed) {
        // The passes after the first write nothing: the fastest of them is the
        // decoder's own cost, with the least of the rest of the machine in it.
        double fastest = repeat > 1 ? 1e300 : wallSeconds;
        for (int pass = 1; pass < repeat; ++pass) {
            if (!DecodeAgain(input, channels, &wallSeconds, &cpuSeconds, &fastest)) {
                std::fprintf(stderr, "mp3decode: %s: cannot be decoded again\n", input);
                return 1;
            }
        }
        std::fprintf(stderr,
                     "decode time: %.6f s wall, %.6f s cpu, fastest pass %.6f s wall, kernels %s\n",
                     wallSeconds, cpuSeconds, fastest, mp3::ActiveKernels().name);
    }
    if (info) {
        const mp3::FrameHeader& h = stream.First();
        const char* version = h.versionBit ? "MPEG-1" : (h.syncKind == 2 ? "MPEG-2.5" : "MPEG-2");
        const uint64_t samples = bytes / 2 / uint64_t(channels);
        std::printf("version: %s\n", version);
        std::printf("layer: %s\n", mp3::Layer(h) == 3 ? "III" : "II");
        std::printf("sample rate: %d Hz\n", rate);
        std::printf("channels: %d\n", channels);
        std::printf("bitrate: %s%d kbit/s\n", h.bitrateIndex == 0 ? "free format, " : "",
                    stream.Bitrate() / 1000);
        std::printf("frames: %ld\n", long(stream.FramesDecoded()));
        std::printf("duration: %.3f s\n", double(samples) / rate);
        if (stream.Vbr() && (stream.Vbr()->flags & mp3::kXingFrames))
            std::printf("xing frames: %lu\n", static_cast<unsigned long>(stream.Vbr()->frames));
    }
    return 0;
}

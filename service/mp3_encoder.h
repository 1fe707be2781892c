// Streaming MP3 encoder for mono 16-bit PCM: constant bit rate, no tag frame,
// so the result is a plain sequence of equal-rate frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct lame_global_struct;

namespace speech {

inline constexpr int kMp3Bitrate = 48; // kbit/s

class Mp3Encoder {
  public:
    Mp3Encoder(int sampleRate, int kbps = kMp3Bitrate); // throws std::runtime_error
    ~Mp3Encoder();
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    void Add(const std::int16_t* samples, std::size_t count);
    // Flushes the encoder and hands over the whole file.
    std::string Finish();

    std::size_t SamplesAdded() const { return samples_; }

  private:
    lame_global_struct* lame_;
    std::string out_;
    std::size_t samples_ = 0;
};

} // namespace speech

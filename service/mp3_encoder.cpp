#include "mp3_encoder.h"

#include <lame.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace speech {

Mp3Encoder::Mp3Encoder(int sampleRate, int kbps) : lame_(lame_init()) {
    if (!lame_) throw std::runtime_error("lame_init failed");
    lame_set_num_channels(lame_, 1);
    lame_set_in_samplerate(lame_, sampleRate);
    lame_set_out_samplerate(lame_, sampleRate);
    lame_set_mode(lame_, MONO);
    lame_set_VBR(lame_, vbr_off);
    lame_set_brate(lame_, kbps);
    lame_set_quality(lame_, 5);
    // The tag frame would have to be patched in after the fact; without it the
    // file is frames only, which every decoder takes.
    lame_set_bWriteVbrTag(lame_, 0);
    if (lame_init_params(lame_) < 0) {
        lame_close(lame_);
        throw std::runtime_error("LAME rejected the encoder settings");
    }
}

Mp3Encoder::~Mp3Encoder() {
    lame_close(lame_);
}

void Mp3Encoder::Add(const std::int16_t* samples, std::size_t count) {
    // Chunks keep the worst-case output buffer (1.25 n + 7200) small.
    constexpr std::size_t kChunk = 8192;
    std::vector<unsigned char> buffer(kChunk + kChunk / 4 + 7200);
    while (count > 0) {
        std::size_t n = std::min(count, kChunk);
        int written = lame_encode_buffer(lame_, samples, samples, static_cast<int>(n),
                                         buffer.data(), static_cast<int>(buffer.size()));
        if (written < 0) throw std::runtime_error("LAME encoding failed");
        out_.append(reinterpret_cast<const char*>(buffer.data()),
                    static_cast<std::size_t>(written));
        samples += n;
        count -= n;
        samples_ += n;
    }
}

std::string Mp3Encoder::Finish() {
    unsigned char buffer[7200];
    int written = lame_encode_flush(lame_, buffer, sizeof buffer);
    if (written < 0) throw std::runtime_error("LAME flush failed");
    out_.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(written));
    return std::move(out_);
}

} // namespace speech

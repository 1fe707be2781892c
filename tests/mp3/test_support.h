// Helpers for building MPEG audio bit streams by hand in tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "frame_header.h"

namespace mp3test {

class BitWriter {
  public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (pos_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= uint8_t(0x80 >> (pos_ % 8));
            ++pos_;
        }
    }
    // The written bytes followed by zero padding up to at least `size` bytes.
    std::vector<uint8_t> Bytes(size_t size = 0) const {
        std::vector<uint8_t> b = bytes_;
        if (b.size() < size) b.resize(size, 0);
        return b;
    }
    size_t Bits() const { return pos_; }

  private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};

struct HeaderFields {
    int version = 3;   // two-bit field: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layerCode = 1; // 1 Layer III, 2 Layer II, 3 Layer I
    int protection = 1;
    int bitrateIndex = 9;
    int rateIndex = 0;
    int padding = 0;
    int mode = 0;
    int modeExtension = 0;
};

inline std::vector<uint8_t> HeaderBytes(const HeaderFields& f) {
    BitWriter w;
    w.Put(0x7FF, 11);
    w.Put(uint32_t(f.version), 2);
    w.Put(uint32_t(f.layerCode), 2);
    w.Put(uint32_t(f.protection), 1);
    w.Put(uint32_t(f.bitrateIndex), 4);
    w.Put(uint32_t(f.rateIndex), 2);
    w.Put(uint32_t(f.padding), 1);
    w.Put(0, 1);
    w.Put(uint32_t(f.mode), 2);
    w.Put(uint32_t(f.modeExtension), 2);
    w.Put(0, 4);
    return w.Bytes();
}

inline mp3::FrameHeader Header(const HeaderFields& f) {
    std::vector<uint8_t> b = HeaderBytes(f);
    mp3::FrameHeader h;
    mp3::ReadFrameHeader(b.data(), b.size(), &h);
    return h;
}

// A complete frame with all-zero side information and main data (it decodes to
// silence), of the length its bitrate gives.
inline std::vector<uint8_t> SilentFrame(const HeaderFields& f) {
    std::vector<uint8_t> frame = HeaderBytes(f);
    const mp3::FrameHeader h = Header(f);
    frame.resize(size_t(mp3::FrameLengthFromBitrate(h) + mp3::PaddingBytes(h)), 0);
    return frame;
}

inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// A silent frame with a "Xing" tag at byte `offset`, holding the fields whose flags
// are set: the frame count, 567,890 bytes, the table of contents i * 255 / 99 and
// quality 78.
inline std::vector<uint8_t> XingFrame(const HeaderFields& f, size_t offset, uint32_t flags,
                                      uint32_t frames = 1234) {
    std::vector<uint8_t> frame = SilentFrame(f);
    BitWriter w;
    w.Put('X', 8), w.Put('i', 8), w.Put('n', 8), w.Put('g', 8);
    w.Put(flags, 32);
    if (flags & mp3::kXingFrames) w.Put(frames, 32);
    if (flags & mp3::kXingBytes) w.Put(567890, 32);
    if (flags & mp3::kXingToc)
        for (int i = 0; i < 100; ++i)
            w.Put(uint32_t(i * 255 / 99), 8);
    if (flags & mp3::kXingQuality) w.Put(78, 32);
    const std::vector<uint8_t> tag = w.Bytes();
    std::copy(tag.begin(), tag.end(), frame.begin() + long(offset));
    return frame;
}

} // namespace mp3test

namespace mp3test {

// Layer III side information for hand-made frames. A granule/channel either is
// empty (part2_3_length 0) or carries one spectral line of value 1 at line 0
// (table 1, code "01", sign 0: three bits of main data).
struct Layer3Content {
    int mainDataBegin = 0;
    bool line[2][2] = {}; // [granule][channel]
    int globalGain = 210;
};

inline std::vector<uint8_t> Layer3Frame(const HeaderFields& f, const Layer3Content& c,
                                        const std::vector<uint8_t>& mainData) {
    const bool mpeg1 = f.version == 3;
    const int channels = f.mode == 3 ? 1 : 2;
    BitWriter w;
    w.Put(uint32_t(c.mainDataBegin), mpeg1 ? 9 : 8);
    w.Put(0, mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2));
    if (mpeg1) w.Put(0, 4 * channels);
    for (int gr = 0; gr < (mpeg1 ? 2 : 1); ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            const bool on = c.line[gr][ch];
            w.Put(on ? 3 : 0, 12); // part2_3_length
            w.Put(on ? 1 : 0, 9);  // big_values
            w.Put(uint32_t(c.globalGain), 8);
            w.Put(0, mpeg1 ? 4 : 9); // scalefac_compress: no scale-factor bits
            w.Put(0, 1);             // window switching
            w.Put(on ? 1 : 0, 5);    // table_select[0]
            w.Put(0, 10);
            w.Put(0, 4 + 3); // region counts
            w.Put(0, mpeg1 ? 3 : 2);
        }
    }
    std::vector<uint8_t> frame = HeaderBytes(f);
    Append(frame, w.Bytes());
    const mp3::FrameHeader h = Header(f);
    const size_t length = size_t(mp3::FrameLengthFromBitrate(h) + mp3::PaddingBytes(h));
    std::vector<uint8_t> main = mainData;
    main.resize(length - frame.size(), 0);
    Append(frame, main);
    return frame;
}

// Main data whose granule/channel parts each hold the three bits "010".
inline std::vector<uint8_t> LineBits(int parts) {
    BitWriter w;
    for (int i = 0; i < parts; ++i)
        w.Put(2, 3);
    return w.Bytes();
}

} // namespace mp3test

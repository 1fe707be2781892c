// Reads bits most significant first from a byte buffer. The buffer must carry at
// least kBitReaderSlack readable bytes beyond its end (zeros), so that peeking never
// needs a bounds check; running past the end is detected by the caller through
// Position() against its own limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mp3 {

constexpr size_t kBitReaderSlack = 8;

class BitReader {
  public:
    BitReader() = default;
    BitReader(const uint8_t* data, size_t sizeBytes) : data_(data), limit_(sizeBytes * 8) {}

    // The next 32 bits, left-aligned (without consuming). Bits past the end read as
    // zero as long as the position stays within the slack.
    uint32_t Peek32() const {
        size_t pos = pos_ < limit_ ? pos_ : limit_;
        uint64_t v;
        std::memcpy(&v, data_ + (pos >> 3), 8);
        v = ToBigEndian(v);
        return uint32_t((v << (pos & 7)) >> 32);
    }
    void Skip(unsigned bits) { pos_ += bits; }
    uint32_t Read(unsigned bits) {
        if (bits == 0) return 0;
        uint32_t v = Peek32() >> (32 - bits);
        pos_ += bits;
        return v;
    }
    uint32_t Bit() { return Read(1); }

    size_t Position() const { return pos_; }
    void SetPosition(size_t pos) { pos_ = pos; }
    size_t Limit() const { return limit_; }
    bool Overrun() const { return pos_ > limit_; }

  private:
    static uint64_t ToBigEndian(uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        return v;
#else
        return __builtin_bswap64(v);
#endif
    }

    const uint8_t* data_ = nullptr;
    size_t pos_ = 0;
    size_t limit_ = 0;
};

} // namespace mp3

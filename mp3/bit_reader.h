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

inline uint32_t ToBigEndian32(uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return v;
#else
    return __builtin_bswap32(v);
#endif
}

inline uint64_t ToBigEndian64(uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return v;
#else
    return __builtin_bswap64(v);
#endif
}

// The 32 bits from bit position pos on, left-aligned; reads up to five bytes
// (eight on 64-bit targets) from the byte that holds pos.
inline uint32_t Load32At(const uint8_t* data, size_t pos) {
#if UINTPTR_MAX > 0xFFFFFFFFu
    uint64_t v;
    std::memcpy(&v, data + (pos >> 3), 8);
    v = ToBigEndian64(v);
    return uint32_t((v << (pos & 7)) >> 32);
#else
    // 32-bit targets: four bytes and the bits wanted of a fifth, without 64-bit
    // shifts.
    const uint8_t* p = data + (pos >> 3);
    const unsigned shift = unsigned(pos & 7);
    uint32_t v;
    std::memcpy(&v, p, 4);
    return ToBigEndian32(v) << shift | uint32_t(p[4]) << shift >> 8;
#endif
}

class BitReader {
  public:
    BitReader() = default;
    BitReader(const uint8_t* data, size_t sizeBytes) : data_(data), limit_(sizeBytes * 8) {}

    // The next 32 bits, left-aligned (without consuming). Bits past the end read as
    // zero as long as the position stays within the slack.
    uint32_t Peek32() const { return Load32At(data_, pos_ < limit_ ? pos_ : limit_); }
    void Skip(unsigned bits) { pos_ += bits; }
    uint32_t Read(unsigned bits) {
        if (bits == 0) return 0;
        uint32_t v = Peek32() >> (32 - bits);
        pos_ += bits;
        return v;
    }
    uint32_t Bit() { return Read(1); }

    size_t Position() const { return pos_; }
    const uint8_t* Data() const { return data_; }
    void SetPosition(size_t pos) { pos_ = pos; }
    size_t Limit() const { return limit_; }
    bool Overrun() const { return pos_ > limit_; }

  private:
    const uint8_t* data_ = nullptr;
    size_t pos_ = 0;
    size_t limit_ = 0;
};

// The same bits through a cache, for loops that read many short fields (Huffman code
// words). Made from a BitReader at its position; Finish puts the position back.
// After Refill at least kReady bits are ready; a caller refills before every group
// of fields that together need no more than that.
#if UINTPTR_MAX > 0xFFFFFFFFu
// 64-bit targets: a 64-bit cache topped up with a 32-bit load per 32 bits consumed.
class CachedBits {
  public:
    static constexpr unsigned kReady = 32;

    explicit CachedBits(const BitReader& br)
        : data_(br.Data()), lastLoad_(br.Limit() / 8 + kBitReaderSlack - 4) {
        const size_t pos = br.Position();
        next_ = pos >> 3;
        Refill();
        Skip(unsigned(pos & 7));
    }
    // At least 32 bits ready afterwards. Past the end of the data (and its slack)
    // the bits read as zero.
    // Unchecked: only while Position() < UncheckedUntil().
    template <bool kChecked = true> void Refill() {
        if (count_ >= 32) return;
        uint32_t w = 0;
        if (!kChecked || next_ <= lastLoad_) {
            std::memcpy(&w, data_ + next_, 4);
            w = ToBigEndian32(w);
        }
        cache_ |= uint64_t(w) << (32 - count_);
        next_ += 4;
        count_ += 32;
    }
    // A Refill at a position before this one reads within the data and its slack.
    size_t UncheckedUntil() const { return 8 * lastLoad_ - 31; }
    // The next 32 bits, left-aligned (valid after Refill).
    uint32_t Peek32() const { return uint32_t(cache_ >> 32); }
    void Skip(unsigned bits) {
        cache_ <<= bits;
        count_ -= int(bits);
    }
    // 1..32 bits (ready after Refill).
    uint32_t Read(unsigned bits) {
        const uint32_t v = uint32_t(cache_ >> (64 - bits));
        Skip(bits);
        return v;
    }
    size_t Position() const { return next_ * 8 - size_t(count_); }
    void Finish(BitReader& br) const { br.SetPosition(Position()); }

  private:
    const uint8_t* data_;
    size_t lastLoad_; // last byte offset a 4-byte load may start at
    size_t next_ = 0; // byte offset of the next load
    uint64_t cache_ = 0;
    int count_ = 0;
};
#else
// 32-bit targets, where 64-bit shifts and a 64-bit cache cost several registers and
// instructions each: the cache is one 32-bit word, reloaded from the bit position
// at every Refill (an unaligned load, a byte swap and a shift), which leaves at
// least 25 bits ready.
class CachedBits {
  public:
    static constexpr unsigned kReady = 25;

    explicit CachedBits(const BitReader& br)
        : data_(br.Data()), lastLoad_(br.Limit() / 8 + kBitReaderSlack - 4), pos_(br.Position()) {
        Refill();
    }
    // At least 25 bits ready afterwards. Past the end of the data (and its slack)
    // the bits read as zero.
    // Unchecked: only while Position() < UncheckedUntil().
    template <bool kChecked = true> void Refill() {
        const size_t byte = pos_ >> 3;
        uint32_t w = 0;
        if (!kChecked || byte <= lastLoad_) {
            std::memcpy(&w, data_ + byte, 4);
            w = ToBigEndian32(w);
        }
        cache_ = w << (pos_ & 7);
    }
    // A Refill at a position before this one reads within the data and its slack.
    size_t UncheckedUntil() const { return 8 * (lastLoad_ + 1); }
    // The next bits, left-aligned: kReady of them valid after Refill.
    uint32_t Peek32() const { return cache_; }
    // Up to kReady bits.
    void Skip(unsigned bits) {
        cache_ <<= bits;
        pos_ += bits;
    }
    // 1..kReady bits (ready after Refill).
    uint32_t Read(unsigned bits) {
        const uint32_t v = cache_ >> (32 - bits);
        Skip(bits);
        return v;
    }
    size_t Position() const { return pos_; }
    void Finish(BitReader& br) const { br.SetPosition(pos_); }

  private:
    const uint8_t* data_;
    size_t lastLoad_; // last byte offset a 4-byte load may start at
    size_t pos_;      // bit position of the cache's first bit
    uint32_t cache_ = 0;
};
#endif

} // namespace mp3

// The frame decoder's view of its input: a contiguous window of bytes at the read
// position, consumed as frames are used. The playback chain provides it over its
// input ring; the tools and tests over a file or a block of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace mp3 {

enum ResultCode : int {
    kOk = 0,
    kErrOpenOther = 1,
    kErrNoMemory = 8,
    kErrAccessDenied = 9,
    kErrInvalidName = 11,
    kErrNoSuchFile = 12,
    kErrTooManyFiles = 13,
    kErrSeek = 25,
    kErrClosing = 28,
    kErrEndOfStream = 33,
    kErrNoStream = 1001,
    kErrDecoderRefused = 1002,
};

class InputWindow {
  public:
    virtual ~InputWindow() = default;
    // A contiguous run of n bytes at the read position, waiting for data as needed.
    // 0: *data holds n bytes (*size = n). kErrEndOfStream: the input has ended with
    // fewer than n bytes left; *data and *size still describe what is left (possibly
    // nothing). kErrClosing, or another ring code, when the input cannot go on.
    virtual int Read(size_t n, const uint8_t** data, size_t* size) = 0;
    // Marks n bytes of the last window as used.
    virtual void Consume(size_t n) = 0;
};

// A block of memory held by the caller.
class MemoryInput : public InputWindow {
  public:
    MemoryInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int Read(size_t n, const uint8_t** data, size_t* size) override;
    void Consume(size_t n) override;
    size_t Position() const { return pos_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// An open file read in 8,192-byte pieces, as the player's file source does, up to
// `limit` bytes from where it stands (-1: to its end).
class FileInput : public InputWindow {
  public:
    explicit FileInput(std::FILE* file, int64_t limit = -1) : file_(file), left_(limit) {}
    int Read(size_t n, const uint8_t** data, size_t* size) override;
    void Consume(size_t n) override;
    bool ReadError() const { return readError_; }

  private:
    std::FILE* file_;
    std::vector<uint8_t> buffer_;
    size_t start_ = 0; // read position in buffer_
    int64_t left_;     // bytes still to read; negative: no limit
    bool ended_ = false;
    bool readError_ = false;
};

} // namespace mp3

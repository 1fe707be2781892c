#include "input_window.h"

#include <algorithm>

namespace mp3 {

int MemoryInput::Read(size_t n, const uint8_t** data, size_t* size) {
    const size_t left = size_ - pos_;
    *data = data_ + pos_;
    *size = std::min(n, left);
    return left >= n ? kOk : kErrEndOfStream;
}

void MemoryInput::Consume(size_t n) {
    pos_ += std::min(n, size_ - pos_);
}

int FileInput::Read(size_t n, const uint8_t** data, size_t* size) {
    constexpr size_t kPiece = 8192;
    while (buffer_.size() - start_ < n && !ended_) {
        if (start_ > 0) {
            buffer_.erase(buffer_.begin(), buffer_.begin() + ptrdiff_t(start_));
            start_ = 0;
        }
        const size_t piece = left_ >= 0 && left_ < int64_t(kPiece) ? size_t(left_) : kPiece;
        const size_t old = buffer_.size();
        buffer_.resize(old + piece);
        const size_t got = std::fread(buffer_.data() + old, 1, piece, file_);
        buffer_.resize(old + got);
        if (left_ >= 0) left_ -= int64_t(got);
        if (got < piece || left_ == 0) {
            ended_ = true;
            readError_ = std::ferror(file_) != 0;
        }
    }
    const size_t left = buffer_.size() - start_;
    *data = buffer_.data() + start_;
    *size = std::min(n, left);
    return left >= n ? kOk : kErrEndOfStream;
}

void FileInput::Consume(size_t n) {
    start_ += std::min(n, buffer_.size() - start_);
}

} // namespace mp3

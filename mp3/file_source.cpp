#include "file_source.h"

#include <cerrno>
#include <cstring>

#include "input_window.h"

namespace mp3 {

int64_t Id3v2ReadStart(const uint8_t* head, size_t size) {
    if (size < 10) return int64_t(size);
    if (std::memcmp(head, "ID3", 3) != 0) return 0;
    if (head[3] != 3) return 10;
    const int64_t tagSize = int64_t(head[6] & 0x7F) << 21 | int64_t(head[7] & 0x7F) << 14 |
                            int64_t(head[8] & 0x7F) << 7 | int64_t(head[9] & 0x7F);
    return 10 + tagSize;
}

bool IsId3v1Tag(const uint8_t* tail, size_t size) {
    return size == 128 && std::memcmp(tail, "TAG", 3) == 0;
}

int MapOpenError(int error) {
    switch (error) {
    case ENOENT:
        return kErrNoSuchFile;
    case EACCES:
        return kErrAccessDenied;
    case EINVAL:
        return kErrInvalidName;
    case EMFILE:
    case ENFILE:
        return kErrTooManyFiles;
    default:
        return kErrOpenOther;
    }
}

int OpenMp3File(const char* name, OpenFile* result) {
    errno = 0;
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return MapOpenError(errno);
    int64_t size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (size < 0) size = 0;
    int64_t playable = size;
    uint8_t buf[128];
    if (size >= 128 && std::fseek(f, -128, SEEK_END) == 0 && std::fread(buf, 1, 128, f) == 128 &&
        IsId3v1Tag(buf, 128)) {
        playable -= 128;
    }
    std::fseek(f, 0, SEEK_SET);
    const size_t got = std::fread(buf, 1, 10, f);
    int64_t start = Id3v2ReadStart(buf, got);
    if (start > size) start = size;
    // Reading a directory "succeeds" at fopen on some systems and fails here.
    if (std::ferror(f) || std::fseek(f, long(start), SEEK_SET) != 0) {
        std::fclose(f);
        return kErrOpenOther;
    }
    result->file = f;
    result->playableSize = playable;
    result->readStart = start;
    return kOk;
}

} // namespace mp3

#include "file_source.h"

#include <cerrno>
#include <cstring>

#include "input_window.h"

namespace mp3 {

int64_t Id3v2ReadStart(const uint8_t* head, size_t size) {
    constexpr int kFooterFlag = 0x10;
    if (size < 10) return int64_t(size);
    if (std::memcmp(head, "ID3", 3) != 0) return 0;
    const int major = head[3];
    const bool sizeValid = ((head[6] | head[7] | head[8] | head[9]) & 0x80) == 0;
    if (major < 2 || major > 4 || head[4] == 0xFF || !sizeValid) return 10;
    const int64_t tagSize =
        int64_t(head[6]) << 21 | int64_t(head[7]) << 14 | int64_t(head[8]) << 7 | int64_t(head[9]);
    const int64_t footer = major == 4 && (head[5] & kFooterFlag) ? 10 : 0;
    return 10 + tagSize + footer;
}

bool IsId3v1Tag(const uint8_t* tail, size_t size) {
    return size == 128 && std::memcmp(tail, "TAG", 3) == 0;
}

int64_t ApeTagBytes(const uint8_t* footer, size_t size) {
    constexpr uint32_t kHasHeader = 0x80000000u;
    constexpr int64_t kFooterBytes = 32;
    if (size < 32 || std::memcmp(footer, "APETAGEX", 8) != 0) return 0;
    auto little32 = [&](int at) {
        return uint32_t(footer[at]) | uint32_t(footer[at + 1]) << 8 |
               uint32_t(footer[at + 2]) << 16 | uint32_t(footer[at + 3]) << 24;
    };
    const int64_t tagSize = little32(12); // items and footer
    if (tagSize < kFooterBytes) return 0;
    return tagSize + (little32(20) & kHasHeader ? kFooterBytes : 0);
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
    // An APE tag sits before the ID3 version 1 tag when both are there.
    if (playable >= 32 && std::fseek(f, long(playable - 32), SEEK_SET) == 0 &&
        std::fread(buf, 1, 32, f) == 32) {
        const int64_t ape = ApeTagBytes(buf, 32);
        if (ape <= playable) playable -= ape;
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

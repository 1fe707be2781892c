// Opening an MP3 file the way the player's file source does: error mapping, the
// playable size (without the ID3 version 1 and APE tags at the end) and skipping
// the ID3 version 2 tag at the start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace mp3 {

// Where reading starts after the first 10 bytes of a file: past an ID3 version
// 2.2, 2.3 or 2.4 tag (the size covers any extended header and padding; a 2.4
// footer adds 10 bytes), at byte 10 for a header that is no valid tag (the frame
// search passes over it), else at 0. Skipping the tag matters: a picture in it
// holds enough false syncs to make the frame search give up.
int64_t Id3v2ReadStart(const uint8_t* head, size_t size);

// Whether the last 128 bytes of a file are an ID3 version 1 tag.
bool IsId3v1Tag(const uint8_t* tail, size_t size);

// The bytes an APE tag takes when the 32 bytes at `footer` are its footer (header
// included when it has one), else 0.
int64_t ApeTagBytes(const uint8_t* footer, size_t size);

// Maps errno after a failed open to the player's codes (12, 9, 11, 13 or 1).
int MapOpenError(int error);

struct OpenFile {
    std::FILE* file = nullptr;
    int64_t playableSize = 0; // where the audio ends: the file less the tags at its end
    int64_t readStart = 0;
};

// Opens name for binary reading positioned at the first byte to play. 0 or an open
// error code; on success the caller closes result->file.
int OpenMp3File(const char* name, OpenFile* result);

} // namespace mp3

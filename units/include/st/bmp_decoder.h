// A small decoder for the background pictures of windows: Windows bitmap
// files (1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed or with bit
// fields). Anything else, and anything malformed, does not decode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace st {

struct DecodedPicture {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels; // rows top to bottom, 0x00RRGGBB
};

// False (and out left empty) when the bytes are not a bitmap we can read.
bool DecodeBmp(const uint8_t* data, size_t size, DecodedPicture& out);

} // namespace st

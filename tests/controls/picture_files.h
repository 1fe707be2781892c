// Small picture files made in memory for the picture properties.
#pragma once

#include <cstdint>
#include <vector>

namespace testpictures {

inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// BITMAPINFOHEADER of a 32-bit image; height doubled for icon images (colour
// and mask).
inline void InfoHeader(std::vector<uint8_t>& b, int32_t side, bool icon) {
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(side));
    Put32(b, static_cast<uint32_t>(icon ? side * 2 : side));
    Put16(b, 1);
    Put16(b, 32);
    for (int i = 0; i < 6; ++i)
        Put32(b, 0);
}

// A 4 x 4 bitmap file, 32 bits per pixel.
inline std::vector<uint8_t> Bitmap() {
    std::vector<uint8_t> b = {'B', 'M'};
    Put32(b, 14 + 40 + 64);
    Put32(b, 0);
    Put32(b, 14 + 40);
    InfoHeader(b, 4, false);
    for (int i = 0; i < 16; ++i)
        Put32(b, 0x00336699);
    return b;
}

// A 16 x 16 icon file (or, with cursor, a cursor file with hot spot 3, 4).
inline std::vector<uint8_t> Icon(bool cursor) {
    std::vector<uint8_t> image;
    InfoHeader(image, 16, true);
    for (int i = 0; i < 256; ++i)
        Put32(image, 0xFF2080C0);
    image.resize(image.size() + 16 * 4, 0); // AND mask: all shown
    std::vector<uint8_t> b;
    Put16(b, 0);
    Put16(b, cursor ? 2 : 1);
    Put16(b, 1);
    b.push_back(16);
    b.push_back(16);
    b.push_back(0);
    b.push_back(0);
    Put16(b, cursor ? 3 : 1);  // planes, or the hot spot's x
    Put16(b, cursor ? 4 : 32); // bits per pixel, or the hot spot's y
    Put32(b, static_cast<uint32_t>(image.size()));
    Put32(b, 22);
    b.insert(b.end(), image.begin(), image.end());
    return b;
}

} // namespace testpictures

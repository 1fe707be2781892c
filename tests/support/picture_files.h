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

// A 24-bit bitmap file, w x h, every pixel from colour(x, y) (0x00RRGGBB),
// rows stored bottom-up or top-down and padded to four bytes.
template <typename F>
std::vector<uint8_t> Bitmap24(int32_t w, int32_t h, F colour, bool topDown = false) {
    const uint32_t stride = ((static_cast<uint32_t>(w) * 24 + 31) / 32) * 4;
    std::vector<uint8_t> b = {'B', 'M'};
    Put32(b, 54 + stride * static_cast<uint32_t>(h));
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(w));
    Put32(b, static_cast<uint32_t>(topDown ? -h : h));
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i)
        Put32(b, 0);
    for (int32_t row = 0; row < h; ++row) {
        const int32_t y = topDown ? row : h - 1 - row;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = colour(x, y);
            b.push_back(static_cast<uint8_t>(c));
            b.push_back(static_cast<uint8_t>(c >> 8));
            b.push_back(static_cast<uint8_t>(c >> 16));
        }
        b.resize(b.size() + (stride - 3 * static_cast<uint32_t>(w)));
    }
    return b;
}

// A small bitmap file of one colour.
inline std::vector<uint8_t> Bitmap() {
    return Bitmap24(4, 4, [](int32_t, int32_t) { return 0x00336699u; });
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

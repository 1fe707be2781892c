#include "st/bmp_decoder.h"

#include <cstring>

namespace st {

namespace {

constexpr int64_t kMaxPixels = 32 * 1024 * 1024; // far above any window background
constexpr int32_t kMaxSide = 32767;

uint32_t Read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// One colour channel described by a bit mask, scaled to 0-255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t m = 0) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1))
            ++shift;
        max = m >> shift;
    }
    uint32_t Get(uint32_t v) const {
        if (!mask) return 0;
        uint32_t raw = (v & mask) >> shift;
        return max ? static_cast<uint32_t>((uint64_t(raw) * 255 + max / 2) / max) : 0;
    }
};

} // namespace

bool DecodeBmp(const uint8_t* data, size_t size, DecodedPicture& out) {
    out = DecodedPicture{};
    if (!data || size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return false;
    const uint32_t pixelOffset = Read32(data + 10);
    const uint32_t headerSize = Read32(data + 14);
    if (headerSize < 12 || headerSize > size - 14) return false;
    const uint8_t* h = data + 14;

    int64_t width, height;
    uint32_t bits, compression = 0, coloursUsed = 0;
    size_t paletteEntry = 4;
    if (headerSize == 12) { // the old core header
        width = Read16(h + 4);
        height = static_cast<int16_t>(Read16(h + 6));
        bits = Read16(h + 10);
        paletteEntry = 3;
    } else {
        if (headerSize < 40) return false;
        width = static_cast<int32_t>(Read32(h + 4));
        height = static_cast<int32_t>(Read32(h + 8));
        bits = Read16(h + 14);
        compression = Read32(h + 16);
        coloursUsed = Read32(h + 32);
        if (Read16(h + 12) != 1) return false; // planes
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        width * height > kMaxPixels)
        return false;

    // Colour masks for 16 and 32 bits.
    Channel red, green, blue;
    size_t afterHeader = 14 + headerSize;
    if (compression == 3) { // BI_BITFIELDS
        if (bits != 16 && bits != 32) return false;
        const uint8_t* masks = h + 40;
        if (headerSize < 52) {
            if (size - afterHeader < 12) return false;
            masks = data + afterHeader;
            afterHeader += 12;
        }
        red = Channel(Read32(masks));
        green = Channel(Read32(masks + 4));
        blue = Channel(Read32(masks + 8));
    } else if (compression != 0) {
        return false; // run-length and embedded formats are not ours
    } else if (bits == 16) {
        red = Channel(0x7C00), green = Channel(0x03E0), blue = Channel(0x001F);
    } else if (bits == 32) {
        red = Channel(0xFF0000), green = Channel(0xFF00), blue = Channel(0xFF);
    }

    std::vector<uint32_t> palette;
    if (bits == 1 || bits == 4 || bits == 8) {
        uint32_t count = coloursUsed == 0 || coloursUsed > (1u << bits) ? 1u << bits : coloursUsed;
        if ((size - afterHeader) / paletteEntry < count) return false;
        palette.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = data + afterHeader + i * paletteEntry;
            palette[i] = uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0];
        }
    } else if (bits != 16 && bits != 24 && bits != 32) {
        return false;
    }

    const uint64_t stride = ((uint64_t(width) * bits + 31) / 32) * 4;
    if (pixelOffset > size || (size - pixelOffset) / stride < uint64_t(height)) return false;

    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    out.pixels.resize(static_cast<size_t>(width * height));
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* row = data + pixelOffset + stride * uint64_t(topDown ? y : height - 1 - y);
        uint32_t* dest = out.pixels.data() + y * width;
        for (int64_t x = 0; x < width; ++x) {
            uint32_t pixel;
            switch (bits) {
            case 1:
            case 4:
            case 8: {
                uint64_t bit = uint64_t(x) * bits;
                uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                pixel = index < palette.size() ? palette[index] : 0;
                break;
            }
            case 16: {
                uint32_t v = Read16(row + x * 2);
                pixel = red.Get(v) << 16 | green.Get(v) << 8 | blue.Get(v);
                break;
            }
            case 24:
                pixel = uint32_t(row[x * 3 + 2]) << 16 | uint32_t(row[x * 3 + 1]) << 8 | row[x * 3];
                break;
            default: {
                uint32_t v = Read32(row + x * 4);
                pixel = red.Get(v) << 16 | green.Get(v) << 8 | blue.Get(v);
                break;
            }
            }
            dest[x] = pixel;
        }
    }
    return true;
}

} // namespace st

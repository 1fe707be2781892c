// Pictures of buttons and check boxes, recognised from their bytes.
#include "st/unit_picture.h"

#include <cstring>

#include "st/bmp_decoder.h"
#include "st/window_unit.h" // MakeIcons

namespace st {

namespace {

constexpr uint16_t kIconFile = 1, kCursorFile = 2;
constexpr size_t kDirectoryEntry = 16, kDirectoryHeader = 6;

uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The file's resource kind from its directory header, or 0.
uint16_t IconFileKind(const std::vector<uint8_t>& b) {
    if (b.size() < kDirectoryHeader || Read16(b.data()) != 0) return 0;
    const uint16_t kind = Read16(b.data() + 2);
    return kind == kIconFile || kind == kCursorFile ? kind : 0;
}

// The first image of a cursor file, with its hot spot.
HICON CursorFromFile(const std::vector<uint8_t>& b) {
    if (b.size() < kDirectoryHeader + kDirectoryEntry || Read16(b.data() + 4) == 0) return nullptr;
    const uint8_t* entry = b.data() + kDirectoryHeader;
    const uint32_t size = Read32(entry + 8), offset = Read32(entry + 12);
    if (offset > b.size() || size > b.size() - offset || size < sizeof(BITMAPINFOHEADER))
        return nullptr;
    // A cursor resource is the image preceded by its hot spot (two words).
    std::vector<uint8_t> resource(4 + size);
    std::memcpy(resource.data(), entry + 4, 4);
    std::memcpy(resource.data() + 4, b.data() + offset, size);
    return CreateIconFromResourceEx(resource.data(), static_cast<DWORD>(resource.size()), FALSE,
                                    0x00030000, 0, 0, LR_DEFAULTCOLOR);
}

HBITMAP BitmapFromFile(const std::vector<uint8_t>& b) {
    DecodedPicture picture;
    if (!DecodeBmp(b.data(), b.size(), picture)) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height; // rows top to bottom, as decoded
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    OwnedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return nullptr;
    // 0x00RRGGBB is the byte order B, G, R, 0 of a 32-bit DIB.
    std::memcpy(bits, picture.pixels.data(), picture.pixels.size() * sizeof(uint32_t));
    return bitmap.release();
}

} // namespace

UnitPicture::UnitPicture(const std::vector<uint8_t>& bytes) {
    switch (IconFileKind(bytes)) {
    case kIconFile: {
        HICON big = nullptr, small = nullptr;
        if (MakeIcons(bytes, big, small)) {
            icon_.reset(big);
            OwnedIcon unused(small);
        }
        return;
    }
    case kCursorFile:
        cursor_.reset(CursorFromFile(bytes));
        return;
    default:
        bitmap_.reset(BitmapFromFile(bytes));
        return;
    }
}

} // namespace st

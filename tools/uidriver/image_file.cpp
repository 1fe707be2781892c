#include "image_file.h"

#include <cstring>

namespace uidriver {
namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (bigEndian ? 24 - 8 * i : 8 * i)));
}

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
    static uint32_t table[256];
    if (!table[1])
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
    crc = ~crc;
    for (size_t i = 0; i < n; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void Chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data) {
    Put32(out, static_cast<uint32_t>(data.size()), true);
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, Crc32(out.data() + start, out.size() - start), true);
}

} // namespace

bool CaptureScreen(const RECT& area, Image& out) {
    out.width = area.right - area.left;
    out.height = area.bottom - area.top;
    if (out.width <= 0 || out.height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, out.width, out.height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    bool ok = BitBlt(memory, 0, 0, out.width, out.height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = out.width;
    info.bmiHeader.biHeight = -out.height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint8_t> bgra(static_cast<size_t>(out.width) * out.height * 4);
    ok = ok &&
         GetDIBits(memory, bitmap, 0, out.height, bgra.data(), &info, DIB_RGB_COLORS) == out.height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
    for (size_t i = 0, n = out.rgb.size() / 3; i < n; ++i) {
        out.rgb[3 * i] = bgra[4 * i + 2];
        out.rgb[3 * i + 1] = bgra[4 * i + 1];
        out.rgb[3 * i + 2] = bgra[4 * i];
    }
    return ok;
}

std::vector<uint8_t> BmpBytes(const Image& image) {
    const uint32_t stride = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
    const uint32_t pixels = stride * static_cast<uint32_t>(image.height);
    std::vector<uint8_t> out = {'B', 'M'};
    Put32(out, 54 + pixels, false);
    Put32(out, 0, false);
    Put32(out, 54, false);
    Put32(out, 40, false);
    Put32(out, static_cast<uint32_t>(image.width), false);
    Put32(out, static_cast<uint32_t>(image.height), false); // bottom row first
    Put16(out, 1);
    Put16(out, 24);
    for (uint32_t v : {0u, pixels, 2835u, 2835u, 0u, 0u})
        Put32(out, v, false);
    for (int y = image.height - 1; y >= 0; --y) {
        const uint8_t* row = image.rgb.data() + static_cast<size_t>(y) * image.width * 3;
        for (int x = 0; x < image.width; ++x) {
            out.push_back(row[3 * x + 2]);
            out.push_back(row[3 * x + 1]);
            out.push_back(row[3 * x]);
        }
        out.resize(out.size() + (stride - static_cast<uint32_t>(image.width) * 3), 0);
    }
    return out;
}

// Stored (uncompressed) deflate blocks: big files, but nothing to get wrong.
std::vector<uint8_t> PngBytes(const Image& image) {
    std::vector<uint8_t> raw;
    const size_t rowBytes = static_cast<size_t>(image.width) * 3;
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0); // filter: none
        const uint8_t* row = image.rgb.data() + y * rowBytes;
        raw.insert(raw.end(), row, row + rowBytes);
    }
    std::vector<uint8_t> zlib = {0x78, 0x01};
    constexpr size_t kBlock = 65535;
    for (size_t at = 0; at < raw.size() || at == 0; at += kBlock) {
        const size_t n = std::min(kBlock, raw.size() - at);
        zlib.push_back(at + n >= raw.size() ? 1 : 0);
        Put16(zlib, static_cast<uint16_t>(n));
        Put16(zlib, static_cast<uint16_t>(~n));
        zlib.insert(zlib.end(), raw.begin() + at, raw.begin() + at + n);
        if (raw.empty()) break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    Put32(zlib, (b << 16) | a, true);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    Put32(header, static_cast<uint32_t>(image.width), true);
    Put32(header, static_cast<uint32_t>(image.height), true);
    for (uint8_t v : {8, 2, 0, 0, 0}) // 8 bits, RGB, deflate, no filter choice, no interlace
        header.push_back(v);
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", zlib);
    Chunk(out, "IEND", {});
    return out;
}

bool SaveImage(const Image& image, const std::wstring& path) {
    const bool png = path.size() >= 4 && _wcsicmp(path.c_str() + path.size() - 4, L".png") == 0;
    std::vector<uint8_t> bytes = png ? PngBytes(image) : BmpBytes(image);
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    return CloseHandle(f) && ok;
}

} // namespace uidriver

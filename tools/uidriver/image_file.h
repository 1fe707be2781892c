// Screen pictures for uidriver: read a rectangle of the screen, write it as
// BMP or PNG (chosen by the file name's extension).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace uidriver {

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // top row first, three bytes per pixel
};

bool CaptureScreen(const RECT& area, Image& out);

// ".png" (any case) writes PNG, anything else BMP.
bool SaveImage(const Image& image, const std::wstring& path);

// The file formats, kept apart from the screen for testing.
std::vector<uint8_t> BmpBytes(const Image& image);
std::vector<uint8_t> PngBytes(const Image& image);

} // namespace uidriver

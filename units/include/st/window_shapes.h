// Window shapes: 0 rectangle, 1 ellipse, 2 rounded rectangle, 3 ring, and
// 4-29 the outlines of WindowShapeTable, scaled to the window.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace st {

// 26 outlines one after another: (x, y) pairs on a 0-32767 scale, each
// outline ended by 0xFFFF.
extern const uint16_t WindowShapeTable[];
extern const size_t WindowShapeTableLength; // in 16-bit words

inline constexpr int32_t ShapeCount = 30;

// The outline of shape 4-29 in table units; empty for any other shape.
std::vector<POINT> ShapeOutline(int32_t shape);

// The region of a shape for a window of width w and height h; null for shape
// 0 (no region) and for shapes outside 0-29.
HRGN MakeShapeRegion(int32_t shape, int32_t w, int32_t h);

} // namespace st

// The window template segment in memory: one record per window with its unit
// list, read once from the program image. Plain C++, no system calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace st {

inline constexpr bool IsValidId(uint32_t id) {
    return (id & 0x00FFFFFFu) != 0 && ((id >> 24) & 0xFu) != 0;
}
inline constexpr bool IsMenuItem(uint32_t id) {
    return ((id >> 24) & 0xFu) == 6 && (id >> 28) == 2;
}

// A window's units: ids and records (the bytes after each record's length
// word), as stored but with the handler offsets fixed up. Record 0 is the
// window itself.
struct UnitList {
    std::vector<uint32_t> ids;
    std::vector<std::vector<uint8_t>> records;

    // Index of a unit, or -1; an invalid id is never found.
    int32_t Find(uint32_t id) const;
};

struct WindowRecord {
    uint32_t id = 0;
    uint32_t wordA = 0, wordB = 0;
    std::string text1, text2;
    UnitList units;
    // Run time: the unit list as it was when the window was last created.
    UnitList saved;
    bool hasSaved = false;
};

using WindowList = std::vector<std::unique_ptr<WindowRecord>>;

// Reads a whole segment (through a 4096-byte buffer), fixing up each handler
// offset: -1 becomes 0 (no handler), anything else code base + offset. False
// on any framing failure (data ending early, a record that cannot be walked
// to its handlers, sizes beyond what remains); out is then unchanged.
bool ReadTemplateSegment(const void* start, uint32_t length, uint32_t codeBase, WindowList& out);

// Replaces the handler offsets of one stored record by entry points.
bool FixUpHandlers(uint32_t id, std::vector<uint8_t>& record, uint32_t codeBase);

// Index of a window in a list by the same search rule, or -1.
int32_t FindWindowIndex(const WindowList& windows, uint32_t id);

} // namespace st

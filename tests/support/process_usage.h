// What a process holds, counted in ways that work where the system's own
// counters answer 0 (Wine has no handle count and no private-bytes figure):
// kernel handles by asking each possible value, private memory region by
// region, GDI objects through the handle table when the count is missing.
#pragma once

#include <windows.h>

#include <cstdint>

namespace test_support {

inline DWORD KernelHandles() {
    DWORD n = 0, flags = 0;
    for (uintptr_t value = 4; value < 0x10000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++n;
    return n;
}

inline SIZE_T PrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

inline DWORD GdiObjects() {
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return n;
    DWORD n = 0;
    for (uintptr_t index = 1; index < 0x10000; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index))) ++n;
    return n;
}

} // namespace test_support

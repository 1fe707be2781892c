// The runtime heap: the process heap, with constant data recognised by address.
#include <cstdio>
#include <cstring>
#include <new>

#include "runtime_state.h"

namespace st {

void StaticBlockList::Add(const void* start, uint32_t length) {
    auto s = reinterpret_cast<uintptr_t>(start);
    ranges_.push_back({s, s + length});
}

uintptr_t StaticBlockList::Find(const void* p) const {
    auto a = reinterpret_cast<uintptr_t>(p);
    for (const Range& r : ranges_)
        if (a >= r.start && a < r.end) return r.end;
    return 0;
}

static HANDLE Heap() {
    HANDLE h = Runtime().heap;
    // Before StartRuntime (static constructors, tests) the process heap serves.
    return h ? h : GetProcessHeap();
}

void MemoryFailure(int32_t size) {
    char text[100];
    std::snprintf(text, sizeof text, "分配 %d 字节内存失败!", static_cast<int>(size));
    RuntimeError(text, 0);
}

// A C++ allocation (a container of the runtime or of a unit) that fails ends
// the program with the same report as the program's own allocations.
[[noreturn]] static void NewFailure() {
    RuntimeError("分配内存失败!", 0);
}

void ReportNewFailures() {
    std::set_new_handler(&NewFailure);
}

void* AllocMemory(int32_t size) {
    // A negative size would be a huge unsigned request; it cannot succeed either.
    void* p = size < 0 ? nullptr : HeapAlloc(Heap(), 0, static_cast<SIZE_T>(size));
    if (!p) MemoryFailure(size);
    return p;
}

void* ReallocMemory(void* block, int32_t size) {
    if (!block) return AllocMemory(size);
    uintptr_t end = Runtime().staticBlocks.Find(block);
    if (end == 0) {
        void* p = size < 0 ? nullptr : HeapReAlloc(Heap(), 0, block, static_cast<SIZE_T>(size));
        if (!p) MemoryFailure(size);
        return p;
    }
    // Constant data stays where it is: the caller gets a heap copy of what
    // remains of its range, as far as the new size reaches.
    void* p = AllocMemory(size);
    int32_t available = static_cast<int32_t>(end - reinterpret_cast<uintptr_t>(block));
    int32_t n = size < available ? size : available;
    if (n > 0) std::memcpy(p, block, static_cast<size_t>(n));
    return p;
}

void FreeMemory(void* block) {
    if (!block || Runtime().staticBlocks.Find(block)) return;
    HeapFree(Heap(), 0, block);
}

} // namespace st

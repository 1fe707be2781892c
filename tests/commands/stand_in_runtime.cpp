// Stand-in for the runtime's memory services and error reporting, so the
// commands can be tested before they are linked into the runtime proper.
#include "st/values.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace st {

const char EmptyText[1] = {0};
const int32_t EmptyBlock[2] = {1, 0};

static bool IsConstant(const void* p) {
    return p == EmptyText || p == EmptyBlock;
}

void* AllocMemory(int32_t size) {
    return HeapAlloc(GetProcessHeap(), 0, size > 0 ? size : 1);
}
void* ReallocMemory(void* block, int32_t size) {
    if (!block) return AllocMemory(size);
    return HeapReAlloc(GetProcessHeap(), 0, block, size > 0 ? size : 1);
}
void FreeMemory(void* block) {
    if (block && !IsConstant(block)) HeapFree(GetProcessHeap(), 0, block);
}
void RaiseError(int32_t number) {
    std::fprintf(stderr, "run-time error %d\n", static_cast<int>(number));
    std::exit(-1);
}
void RuntimeError(const char* text, int32_t code) {
    std::fprintf(stderr, "run-time error %d: %s\n", static_cast<int>(code), text ? text : "");
    std::exit(-1);
}

} // namespace st

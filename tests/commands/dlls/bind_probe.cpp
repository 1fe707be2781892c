// A small library for the binding tests: one well-behaved function, one that
// leaves its arguments on the stack, and a conversion that always fails.
#include <cstdint>

extern "C" {

int32_t __stdcall ProbeAdd(int32_t a, int32_t b) {
    return a + b;
}

// Declared cdecl on purpose: called with the standard calling convention it
// removes nothing, so the caller finds 8 bytes too many on its stack.
int32_t __cdecl ProbeUnbalanced(int32_t a, int32_t b) {
    return a - b;
}

// Shaped like MultiByteToWideChar; reports failure for every text.
int32_t __stdcall ProbeFailingConversion(uint32_t, uint32_t, const char*, int32_t, void*, int32_t) {
    return 0;
}
}

// Stands in for the system's wininet.dll in the program directory: binding
// must take it before the one on the system's search path.
#include <cstdint>

extern "C" uint32_t __stdcall InternetOpenA(const char*, uint32_t, const char*, const char*,
                                            uint32_t) {
    return 0x5EED0001;
}

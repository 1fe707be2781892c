// The unit types' parts of the core library's type table, for the table
// itself (which must not see <windows.h>: its macros rename commands).
#pragma once

#include <cstdint>

namespace st {

struct PropertyEntry;

// The window type (0x00010001).
void* WindowUnitInterface(int32_t entry);
extern const PropertyEntry WindowPropertyEntries[32];

} // namespace st

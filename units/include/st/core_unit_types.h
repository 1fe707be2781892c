// The unit types' parts of the core library's type table, for the table
// itself (which must not see <windows.h>: its macros rename commands).
#pragma once

#include <cstdint>

namespace st {

struct PropertyEntry;

// The window type (0x00010001).
void* WindowUnitInterface(int32_t entry);
extern const PropertyEntry WindowPropertyEntries[32];

// The edit box type (0x00010005).
void* EditBoxUnitInterface(int32_t entry);
extern const PropertyEntry* const EditBoxPropertyEntries; // 29 entries

} // namespace st

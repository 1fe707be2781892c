// The unit types' parts of the core library's type table, for the table
// itself (which must not see <windows.h>: its macros rename commands).
#pragma once

#include <cstdint>

#include "st/window_properties.h"

namespace st {

struct PropertyEntry;

#define ST_COUNT_PROPERTY(...) +1

// The window type (0x00010001): the eight common properties, then its own.
void* WindowUnitInterface(int32_t entry);
inline constexpr int32_t WindowPropertyCount = 8 ST_WINDOW_PROPERTIES(ST_COUNT_PROPERTY);
extern const PropertyEntry WindowPropertyEntries[WindowPropertyCount];

#undef ST_COUNT_PROPERTY

// The edit box type (0x00010005).
void* EditBoxUnitInterface(int32_t entry);
extern const PropertyEntry* const EditBoxPropertyEntries; // 29 entries

} // namespace st

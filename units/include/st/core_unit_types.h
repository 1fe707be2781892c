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

// The button (0x0001000B) and the check box (0x0001000C).
void* ButtonUnitInterface(int32_t entry);
extern const PropertyEntry* const ButtonPropertyEntries; // 14 entries
void* CheckBoxUnitInterface(int32_t entry);
extern const PropertyEntry* const CheckBoxPropertyEntries; // 21 entries

// The hyperlink box (0x0001001D).
void* HyperlinkUnitInterface(int32_t entry);
extern const PropertyEntry* const HyperlinkPropertyEntries; // 18 entries

// The common dialog (0x0001001F) and the command that runs it.
void* CommonDialogUnitInterface(int32_t entry);
extern const PropertyEntry* const CommonDialogPropertyEntries; // 30 entries
struct ArgRecord;
void OpenCommonDialog(ArgRecord* result, int32_t count, ArgRecord* args);

} // namespace st

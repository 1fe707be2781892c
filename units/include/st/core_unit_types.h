// The unit types' parts of the core library's type table, for the table
// itself (which must not see <windows.h>: its macros rename commands).
#pragma once

#include <cstdint>

namespace st {

struct PropertyEntry;

// The window type (0x00010001).
void* WindowUnitInterface(int32_t entry);
extern const PropertyEntry WindowPropertyEntries[32];

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

// The unit types' parts of the core library's type table, for the table
// itself (which must not see <windows.h>: its macros rename commands).
#pragma once

#include <cstdint>

#include "st/button_properties.h"
#include "st/common_dialog_properties.h"
#include "st/edit_box_properties.h"
#include "st/hyperlink_properties.h"
#include "st/window_properties.h"

namespace st {

struct PropertyEntry;

#define ST_COUNT_PROPERTY(...) +1

// The window type (0x00010001): the eight common properties, then its own.
void* WindowUnitInterface(int32_t entry);
inline constexpr int32_t WindowPropertyCount = 8 ST_WINDOW_PROPERTIES(ST_COUNT_PROPERTY);
extern const PropertyEntry WindowPropertyEntries[WindowPropertyCount];

// The edit box type (0x00010005).
void* EditBoxUnitInterface(int32_t entry);
inline constexpr int32_t EditBoxPropertyCount = 8 ST_EDIT_BOX_PROPERTIES(ST_COUNT_PROPERTY);
extern const PropertyEntry EditBoxPropertyEntries[EditBoxPropertyCount];

// The button (0x0001000B) and the check box (0x0001000C).
void* ButtonUnitInterface(int32_t entry);
inline constexpr int32_t ButtonPropertyCount = 8 ST_BUTTON_PROPERTIES(ST_COUNT_PROPERTY);
extern const PropertyEntry ButtonPropertyEntries[ButtonPropertyCount];
void* CheckBoxUnitInterface(int32_t entry);
inline constexpr int32_t CheckBoxPropertyCount = 8 ST_CHECK_BOX_PROPERTIES(ST_COUNT_PROPERTY);
extern const PropertyEntry CheckBoxPropertyEntries[CheckBoxPropertyCount];

// The hyperlink box (0x0001001D).
void* HyperlinkUnitInterface(int32_t entry);
inline constexpr int32_t HyperlinkPropertyCount = 8 ST_HYPERLINK_PROPERTIES(ST_COUNT_PROPERTY);
extern const PropertyEntry HyperlinkPropertyEntries[HyperlinkPropertyCount];

// The common dialog (0x0001001F) and the command that runs it.
void* CommonDialogUnitInterface(int32_t entry);
inline constexpr int32_t CommonDialogPropertyCount =
    8 ST_COMMON_DIALOG_PROPERTIES(ST_COUNT_PROPERTY);
extern const PropertyEntry CommonDialogPropertyEntries[CommonDialogPropertyCount];
struct ArgRecord;
void OpenCommonDialog(ArgRecord* result, int32_t count, ArgRecord* args);

#undef ST_COUNT_PROPERTY

} // namespace st

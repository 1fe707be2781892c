// The edit box's own properties, one row each, in the order of its property
// table (after the eight common ones). See st/property_table.h for the
// columns; the core library's type table counts it. No includes: it is only
// a list.
//
// Notes on the fields: colours are COLORREFs (the background may be
// DefaultColour); the font is a 60-byte LOGFONTA or nothing; maxLength is in
// bytes, 0 = no limit; scrollBars 0 none, 1 horizontal, 2 vertical, 3 both;
// alignment 0 left, 1 centre, 2 right; letterCase 0 as typed, 1 lower,
// 2 upper; upDown 0 none, 1 automatic, 2 raises event 1; passwordChar is
// one character or none (stored as i16). The selection and selectedText
// read the live control; selectedText is never stored: setting it replaces
// the selection.
#pragma once

// clang-format off
#define ST_EDIT_BOX_PROPERTIES(ROW)                                                                          \
    ROW(content,         Text,            0x8000, {},                     0, 0,                    &EditBoxUnit::ApplyContent,        Live)            \
    ROW(border,          Choice,          0x8000, 1,                      0, 5,                    &EditBoxUnit::ApplyBorder,         Live)            \
    ROW(textColour,      Colour,          0x8000, 0x000000,               0, 0,                    &EditBoxUnit::Repaint,             Live)            \
    ROW(background,      ColourOrDefault, 0x8000, 0xFFFFFF,               0, 0,                    &EditBoxUnit::ApplyBackground,     Live)            \
    ROW(font,            Font,            0x8000, {},                     0, 0,                    &EditBoxUnit::ApplyFontAndHeight,  Live)            \
    ROW(hideSelection,   Logical,         0x8000, 1,                      0, 0,                    nullptr,                           RebuildOnChange) \
    ROW(maxLength,       Integer,         0x8000, 0,                      0, INT32_MAX,            &EditBoxUnit::ApplyMaxLength,      Live)            \
    ROW(multiLine,       Logical,         0x8000, 0,                      0, 0,                    nullptr,                           RebuildOnChange) \
    ROW(scrollBars,      Choice,          0x8000, 0,                      0, 3,                    nullptr,                           RebuildOnChange) \
    ROW(alignment,       Choice,          0x8000, 0,                      0, 2,                    nullptr,                           RebuildOnChange) \
    ROW(inputMode,       Choice,          0x8000, edit::InputMode::Normal, 0, edit::InputMode::Last, &EditBoxUnit::ApplyInputMode,    Live)            \
    ROW(passwordChar,    Text,            0x8001, "*",                    0, 0,                    &EditBoxUnit::ApplyPasswordCharChange, Live)        \
    ROW(letterCase,      Choice,          0x8000, 0,                      0, 2,                    nullptr,                           RebuildOnChange) \
    ROW(upDown,          Choice,          0x8000, 0,                      0, 2,                    nullptr,                           RebuildOnChange) \
    ROW(lower,           Integer,         0x8001, 0,                      0, 0,                    &EditBoxUnit::ApplyRange,          Live)            \
    ROW(upper,           Integer,         0x8001, 100,                    0, 0,                    &EditBoxUnit::ApplyRange,          Live)            \
    ROW(selectionStart,  Integer,         0x8000, 0,                      0, INT32_MAX,            nullptr,                           Live)            \
    ROW(selectionLength, Integer,         0x8000, 0,                      0, INT32_MAX,            nullptr,                           Live)            \
    ROW(selectedText,    Text,            0x8008, {},                     0, 0,                    &EditBoxUnit::ApplySelectedText,   Live)            \
    ROW(dataSource,      DataSource,      0x8000, {},                     0, 0,                    nullptr,                           Live)            \
    ROW(dataColumn,      DataColumn,      0x8000, {},                     0, 0,                    nullptr,                           Live)
// clang-format on

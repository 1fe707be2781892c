// The button's and the check box's own properties, one row each, in the
// order of their property tables (after the eight common ones). See
// st/property_table.h for the columns; the core library's type table counts
// them. No includes: these are only lists.
#pragma once

// clang-format off
#define ST_BUTTON_PROPERTIES(ROW)                                                                          \
    ROW(picture,    Picture, 0x8000, {},     0, 0, nullptr,                      Rebuild) \
    ROW(type,       Choice,  0x8000, 0,      0, 1, &ButtonUnit::ApplyStyle,      Live)    \
    ROW(caption,    Text,    0x8000, "按钮", 0, 0, &ButtonUnit::ApplyCaption,    Live)    \
    ROW(horizontal, Choice,  0x8000, 1,      0, 2, &ButtonUnit::ApplyStyle,      Live)    \
    ROW(vertical,   Choice,  0x8000, 1,      0, 2, &ButtonUnit::ApplyStyle,      Live)    \
    ROW(font,       Font,    0x8000, {},     0, 0, &ButtonUnit::ApplyFontBytes,  Live)

#define ST_CHECK_BOX_PROPERTIES(ROW)                                                                       \
    ROW(picture,    Picture,         0x8000, {},            0, 0, nullptr,                       Rebuild) \
    ROW(pushLike,   Logical,         0x8000, 0,             0, 0, &CheckBoxUnit::ApplyStyle,     Live)    \
    ROW(flat,       Logical,         0x8000, 0,             0, 0, &CheckBoxUnit::ApplyStyle,     Live)    \
    ROW(caption,    Text,            0x8000, "选择框",      0, 0, &CheckBoxUnit::ApplyCaption,   Live)    \
    ROW(leftText,   Logical,         0x8000, 0,             0, 0, &CheckBoxUnit::ApplyStyle,     Live)    \
    ROW(horizontal, Choice,          0x8000, 0,             0, 2, &CheckBoxUnit::ApplyStyle,     Live)    \
    ROW(vertical,   Choice,          0x8000, 1,             0, 2, &CheckBoxUnit::ApplyStyle,     Live)    \
    ROW(textColour, Colour,          0x8000, 0,             0, 0, &CheckBoxUnit::Repaint,        Live)    \
    ROW(background, ColourOrDefault, 0x8000, DefaultColour, 0, 0, &CheckBoxUnit::ApplyBrush,     Live)    \
    ROW(font,       Font,            0x8000, {},            0, 0, &CheckBoxUnit::ApplyFontBytes, Live)    \
    ROW(checked,    Logical,         0x8000, 0,             0, 0, &CheckBoxUnit::ApplyCheck,     Live)    \
    ROW(dataSource, DataSource,      0x8000, {},            0, 0, nullptr,                       Live)    \
    ROW(dataColumn, DataColumn,      0x8000, {},            0, 0, nullptr,                       Live)
// clang-format on

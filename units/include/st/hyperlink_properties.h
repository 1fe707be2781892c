// The hyperlink box's own properties, one row each, in the order of its
// property table (after the eight common ones). See st/property_table.h for
// the columns; the core library's type table counts it. No includes: it is
// only a list. kind: 0 e-mail address, 1 web address.
#pragma once

// clang-format off
#define ST_HYPERLINK_PROPERTIES(ROW)                                                                       \
    ROW(caption,      Text,            0x8000, {},                         0, 0, &HyperlinkUnit::ApplyCaption,   Live) \
    ROW(kind,         Choice,          0x8000, 0,                          0, 1, &HyperlinkUnit::Repaint,        Live) \
    ROW(email,        Text,            0x8001, {},                         0, 0, &HyperlinkUnit::ApplyAddress,   Live) \
    ROW(web,          Text,            0x8001, {},                         0, 0, &HyperlinkUnit::ApplyAddress,   Live) \
    ROW(textColour,   Colour,          0x8000, 0xFF0000,                   0, 0, &HyperlinkUnit::Repaint,        Live) \
    ROW(openedColour, Colour,          0x8000, 0x000080,                   0, 0, &HyperlinkUnit::Repaint,        Live) \
    ROW(hoverColour,  Colour,          0x8000, GetSysColor(COLOR_HIGHLIGHT), 0, 0, &HyperlinkUnit::Repaint,      Live) \
    ROW(background,   ColourOrDefault, 0x8000, DefaultColour,              0, 0, &HyperlinkUnit::Repaint,        Live) \
    ROW(border,       Choice,          0x8000, 0,                          0, 5, &HyperlinkUnit::ApplyBorder,    Live) \
    ROW(font,         Font,            0x8000, {},                         0, 0, &HyperlinkUnit::ApplyFontBytes, Live)
// clang-format on

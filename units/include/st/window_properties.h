// The window unit's own properties, one row each, in the order of its
// property table (after the eight common ones). See st/property_table.h for
// the columns and for what is made of this list; the core library's type
// table counts it. No includes: it is only a list.
#pragma once

// clang-format off
#define ST_WINDOW_PROPERTIES(ROW)                                                                         \
    ROW(caption,          Text,            0x8000, {},            0, 0,              &WindowUnit::ApplyCaption,   Live) \
    ROW(border,           Choice,          0x8000, 2,             0, 6,              &WindowUnit::ApplyBorder,    Live) \
    ROW(background,       ColourOrDefault, 0x8000, DefaultColour, 0, 0,              &WindowUnit::Repaint,        Live) \
    ROW(picture,          Picture,         0x8000, {},            0, 0,              &WindowUnit::ApplyPicture,   Live) \
    ROW(layout,           Choice,          0x8001, 1,             0, 3,              &WindowUnit::Repaint,        Live) \
    ROW(music,            Sound,           0x8000, {},            0, 0,              nullptr,                     Live) \
    ROW(musicMode,        Choice,          0x8001, 0,             0, 2,              nullptr,                     Live) \
    ROW(controlBox,       Logical,         0x8000, 1,             0, 0,              &WindowUnit::ApplyTitleBar,  Live) \
    ROW(maximizeBox,      Logical,         0x8001, 0,             0, 0,              &WindowUnit::ApplyTitleBar,  Live) \
    ROW(minimizeBox,      Logical,         0x8001, 0,             0, 0,              &WindowUnit::ApplyTitleBar,  Live) \
    ROW(position,         Choice,          0x8000, 1,             0, 3,              &WindowUnit::ApplyPosition,  Live) \
    ROW(movable,          Logical,         0x8000, 1,             0, 0,              &WindowUnit::ApplyMovable,   Live) \
    ROW(icon,             Icon,            0x8000, {},            0, 0,              &WindowUnit::ApplyIcons,     Live) \
    ROW(enterMovesFocus,  Logical,         0x8000, 0,             0, 0,              nullptr,                     Live) \
    ROW(escCloses,        Logical,         0x8000, 1,             0, 0,              nullptr,                     Live) \
    ROW(f1Help,           Logical,         0x8000, 0,             0, 0,              nullptr,                     Live) \
    ROW(helpFile,         FileName,        0x8001, {},            0, 0,              nullptr,                     Live) \
    ROW(helpTopic,        Integer,         0x8001, 0,             0, 0,              nullptr,                     Live) \
    ROW(inTaskbar,        Logical,         0x8000, 1,             0, 0,              nullptr,                     Live) \
    ROW(dragMoves,        Logical,         0x8000, 0,             0, 0,              nullptr,                     Live) \
    ROW(shape,            Choice,          0x8000, 0,             0, ShapeCount - 1, &WindowUnit::ApplyShape,     Live) \
    ROW(topmost,          Logical,         0x8000, 0,             0, 0,              &WindowUnit::ApplyTopmostChange, Live) \
    ROW(titleStaysActive, Logical,         0x8000, 0,             0, 0,              nullptr,                     Live) \
    ROW(className,        Text,            0x8000, {},            0, 0,              nullptr,                     Live)
// clang-format on

// The common dialog's own properties, one row each, in the order of its
// property table (after the eight common ones). Setting one only stores it:
// the next run uses the values. See st/property_table.h for the columns;
// the core library's type table counts it. No includes: it is only a list.
// mode: 0 open, 1 save, 2 font, 3 help.
#pragma once

// clang-format off
#define ST_COMMON_DIALOG_PROPERTIES(ROW)                                            \
    ROW(mode,             Choice,  0x8002, 0, 0, 3,         nullptr, Live)          \
    ROW(title,            Text,    0x8000, {}, 0, 0,        nullptr, Live)          \
    ROW(fileName,         Text,    0x8000, {}, 0, 0,        nullptr, Live)          \
    ROW(filter,           Text,    0x8000, {}, 0, 0,        nullptr, Live)          \
    ROW(initialFilter,    Integer, 0x8001, 0, 0, INT32_MAX, nullptr, Live)          \
    ROW(initialFolder,    Text,    0x8000, {}, 0, 0,        nullptr, Live)          \
    ROW(defaultExtension, Text,    0x8000, {}, 0, 0,        nullptr, Live)          \
    ROW(createPrompt,     Logical, 0x8000, 0, 0, 0,         nullptr, Live)          \
    ROW(fileMustExist,    Logical, 0x8000, 1, 0, 0,         nullptr, Live)          \
    ROW(overwritePrompt,  Logical, 0x8000, 1, 0, 0,         nullptr, Live)          \
    ROW(pathMustExist,    Logical, 0x8000, 1, 0, 0,         nullptr, Live)          \
    ROW(keepDirectory,    Logical, 0x8002, 0, 0, 0,         nullptr, Live)          \
    ROW(fontColour,       Colour,  0x8000, 0, 0, 0,         nullptr, Live)          \
    ROW(bold,             Logical, 0x8000, 0, 0, 0,         nullptr, Live)          \
    ROW(italic,           Logical, 0x8000, 0, 0, 0,         nullptr, Live)          \
    ROW(strikeOut,        Logical, 0x8000, 0, 0, 0,         nullptr, Live)          \
    ROW(underline,        Logical, 0x8000, 0, 0, 0,         nullptr, Live)          \
    ROW(faceName,         Text,    0x8000, {}, 0, 0,        nullptr, Live)          \
    ROW(fontSize,         Integer, 0x8002, 0, 0, INT32_MAX, nullptr, Live)          \
    ROW(helpFile,         Text,    0x8000, {}, 0, 0,        nullptr, Live)          \
    ROW(helpCommand,      Choice,  0x8000, 0, 0, 5,         nullptr, Live)          \
    ROW(helpTopic,        Integer, 0x8001, 0, 0, 0,         nullptr, Live)
// clang-format on

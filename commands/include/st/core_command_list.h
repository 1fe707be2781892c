// The core library's commands, in table order: a command's place in this
// list is its number. ST_CORE_COMMAND(name, space) names each command and the
// namespace its routine lives in; the routines' declarations
// (library_commands.h), the library's table (core_library.cpp) and the
// application's command numbers (app/command_access.h) all come from here.
#pragma once

#include <cstdint>

#define ST_CORE_COMMANDS(X)                                                                        \
    /* Text and conversion. */                                                                     \
    X(TextLength, st::cmd)                                                                         \
    X(ByteSetLength, st::cmd)                                                                      \
    X(TextLeft, st::cmd)                                                                           \
    X(TextRight, st::cmd)                                                                          \
    X(TextMiddle, st::cmd)                                                                         \
    X(CharFromCode, st::cmd)                                                                       \
    X(CharCode, st::cmd)                                                                           \
    X(FindText, st::cmd)                                                                           \
    X(ToUpper, st::cmd)                                                                            \
    X(ToLower, st::cmd)                                                                            \
    X(ToNumber, st::cmd)                                                                           \
    X(ToInteger, st::cmd)                                                                          \
    X(RemoveAllSpaces, st::cmd)                                                                    \
    X(ReplaceText, st::cmd)                                                                        \
    X(ToByteSet, st::cmd)                                                                          \
    X(SpaceText, st::cmd)                                                                          \
    X(ByteSetLeft, st::cmd)                                                                        \
    X(ZeroByteSet, st::cmd)                                                                        \
    X(ToText, st::cmd)                                                                             \
    X(ToHexText, st::cmd)                                                                          \
    /* Files, directories and the system. */                                                       \
    X(RunDirectory, st::cmd)                                                                       \
    X(Now, st::cmd)                                                                                \
    X(MakeDirectory, st::cmd)                                                                      \
    X(FileExists, st::cmd)                                                                         \
    X(ReadWholeFile, st::cmd)                                                                      \
    X(WriteWholeFile, st::cmd)                                                                     \
    X(OpenMemoryFile, st::cmd)                                                                     \
    X(CloseFile, st::cmd)                                                                          \
    X(SeekToStart, st::cmd)                                                                        \
    X(ReadData, st::cmd)                                                                           \
    X(ReadLine, st::cmd)                                                                           \
    X(WriteData, st::cmd)                                                                          \
    X(WriteText, st::cmd)                                                                          \
    X(IsEndOfFile, st::cmd)                                                                        \
    X(FileLength, st::cmd)                                                                         \
    X(ShowMessage, st::cmd)                                                                        \
    X(ProcessEvents, st::cmd)                                                                      \
    /* The common dialog unit's command, and playing MP3 files. */                                 \
    X(OpenCommonDialog, st)                                                                        \
    X(PlayMp3, st::cmd)

// <commdlg.h>, part of <windows.h>, makes FindText and ReplaceText macros for
// its find and replace dialogs; here the names are the commands'.
#ifdef FindText
#undef FindText
#endif
#ifdef ReplaceText
#undef ReplaceText
#endif

namespace st::CoreCommand {
#define ST_COMMAND_NUMBER(name, space) name,
enum : int32_t { ST_CORE_COMMANDS(ST_COMMAND_NUMBER) Count };
#undef ST_COMMAND_NUMBER
} // namespace st::CoreCommand

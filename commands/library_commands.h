// The text, conversion, file and system commands of the core library. Each is
// a LibraryCommand: (zeroed result record, argument count, ArgRecord array).
#pragma once

#include "st/values.h"

// <commdlg.h>, part of <windows.h>, makes FindText and ReplaceText macros for
// its find and replace dialogs; here the names are the commands'.
#ifdef FindText
#undef FindText
#endif
#ifdef ReplaceText
#undef ReplaceText
#endif

namespace st::cmd {

#define ST_COMMAND(name) void name(ArgRecord* result, int32_t count, ArgRecord* args)

// Text and conversion commands.
ST_COMMAND(TextLength);
ST_COMMAND(ByteSetLength);
ST_COMMAND(TextLeft);
ST_COMMAND(TextRight);
ST_COMMAND(TextMiddle);
ST_COMMAND(CharFromCode);
ST_COMMAND(CharCode);
ST_COMMAND(FindText);
ST_COMMAND(ToUpper);
ST_COMMAND(ToLower);
ST_COMMAND(ToNumber);
ST_COMMAND(ToInteger);
ST_COMMAND(RemoveAllSpaces);
ST_COMMAND(ReplaceText);
ST_COMMAND(ToByteSet);
ST_COMMAND(SpaceText);
ST_COMMAND(ByteSetLeft);
ST_COMMAND(ZeroByteSet);
ST_COMMAND(ToText);
ST_COMMAND(ToHexText);

// File, directory and system commands.
ST_COMMAND(RunDirectory);
ST_COMMAND(Now);
ST_COMMAND(MakeDirectory);
ST_COMMAND(FileExists);
ST_COMMAND(ReadWholeFile);
ST_COMMAND(WriteWholeFile);
ST_COMMAND(OpenMemoryFile);
ST_COMMAND(CloseFile);
ST_COMMAND(SeekToStart);
ST_COMMAND(ReadData);
ST_COMMAND(ReadLine);
ST_COMMAND(WriteData);
ST_COMMAND(WriteText);
ST_COMMAND(IsEndOfFile);
ST_COMMAND(FileLength);
ST_COMMAND(ShowMessage);
ST_COMMAND(ProcessEvents);

// The play-MP3 command.
ST_COMMAND(PlayMp3);

#undef ST_COMMAND

} // namespace st::cmd

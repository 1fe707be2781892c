// The core command library: its data types, its commands and its
// notification entry. Types and commands are filled in as they are built.
#include "library_commands.h"
#include "st/services.h"
#include "st/core_unit_types.h"

namespace st {

namespace {

int32_t CoreNotify(int32_t code, uint32_t value1, uint32_t) {
    if (code == LibraryCode::SetCallback) {
        SetCoreRuntimeCallback(reinterpret_cast<RuntimeCallbackFn>(value1));
        return 0;
    }
    return -1;
}

// Types are numbered from 1; only the records of the types in use are filled.
const TypeRecord coreTypes[CoreTypeCount] = {
    {"窗口", "window", "", 0, nullptr, 0x800000D0, nullptr, 0, nullptr, WindowPropertyCount,
     WindowPropertyEntries, WindowUnitInterface, 0, nullptr},
    {}, // 2
    {}, // 3
    {}, // 4
    {"编辑框", "EditBox", "", 0, nullptr, 0x80000040, nullptr, 0, nullptr, 29,
     EditBoxPropertyEntries, EditBoxUnitInterface, 0, nullptr},
};
const LibraryCommand coreCommands[CoreCommandCount] = {
    cmd::TextLength,      cmd::ByteSetLength,
    cmd::TextLeft,        cmd::TextRight,
    cmd::TextMiddle,      cmd::CharFromCode,
    cmd::CharCode,        cmd::FindText,
    cmd::ToUpper,         cmd::ToLower,
    cmd::ToNumber,        cmd::ToInteger,
    cmd::RemoveAllSpaces, cmd::ReplaceText,
    cmd::ToByteSet,       cmd::SpaceText,
    cmd::ByteSetLeft,     cmd::ZeroByteSet,
    cmd::ToText,          cmd::ToHexText,
    cmd::RunDirectory,    cmd::Now,
    cmd::MakeDirectory,   cmd::FileExists,
    cmd::ReadWholeFile,   cmd::WriteWholeFile,
    cmd::OpenMemoryFile,  cmd::CloseFile,
    cmd::SeekToStart,     cmd::ReadData,
    cmd::ReadLine,        cmd::WriteData,
    cmd::WriteText,       cmd::IsEndOfFile,
    cmd::FileLength,      cmd::ShowMessage,
    cmd::ProcessEvents,   cmd::PlayMp3,
};

} // namespace

const LibraryRecord CoreLibrary = {
    "core", "核心支持库", CoreTypeCount, coreTypes, CoreCommandCount, coreCommands, CoreNotify,
};

} // namespace st

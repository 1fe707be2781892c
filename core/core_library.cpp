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
    {"编辑框", "EditBox", "", 0, nullptr, 0x80000040, nullptr, 0, nullptr, EditBoxPropertyCount,
     EditBoxPropertyEntries, EditBoxUnitInterface, 0, nullptr},
    {}, // 6
    {}, // 7
    {}, // 8
    {}, // 9
    {}, // 10
    {"按钮", "Button", "", 0, nullptr, 0x80000840, nullptr, 0, nullptr, ButtonPropertyCount,
     ButtonPropertyEntries,
     ButtonUnitInterface, 0, nullptr},
    {"选择框", "CheckBox", "", 0, nullptr, 0x80001040, nullptr, 0, nullptr, CheckBoxPropertyCount,
     CheckBoxPropertyEntries, CheckBoxUnitInterface, 0, nullptr},
    {}, // 13
    {}, // 14
    {}, // 15
    {}, // 16
    {}, // 17
    {}, // 18
    {}, // 19
    {}, // 20
    {}, // 21
    {}, // 22
    {}, // 23
    {}, // 24
    {}, // 25
    {}, // 26
    {}, // 27
    {}, // 28
    {"超级链接框", "HyperLinker", "", 0, nullptr, 0x80010040, nullptr, 0, nullptr, HyperlinkPropertyCount,
     HyperlinkPropertyEntries, HyperlinkUnitInterface, 0, nullptr},
    {}, // 30
    {"通用对话框", "CommonDlg", "", 0, nullptr, 0x80008040, nullptr, 0, nullptr, CommonDialogPropertyCount,
     CommonDialogPropertyEntries, CommonDialogUnitInterface, 0, nullptr},
};
#define ST_COMMAND_ENTRY(name, space) space::name,
const LibraryCommand coreCommands[] = {ST_CORE_COMMANDS(ST_COMMAND_ENTRY)};
#undef ST_COMMAND_ENTRY

} // namespace

const LibraryRecord CoreLibrary = {
    "core", "核心支持库", CoreTypeCount, coreTypes, CoreCommand::Count, coreCommands, CoreNotify,
};

} // namespace st

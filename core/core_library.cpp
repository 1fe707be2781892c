// The core command library: its data types, its commands and its
// notification entry. Types and commands are filled in as they are built.
#include "st/library_commands.h"
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
    {.name = "窗口",
     .englishName = "window",
     .explanation = "",
     .flags = 0x800000D0,
     .propertyCount = WindowPropertyCount,
     .properties = WindowPropertyEntries,
     .unitInterface = WindowUnitInterface},
    {}, // 2
    {}, // 3
    {}, // 4
    {.name = "编辑框",
     .englishName = "EditBox",
     .explanation = "",
     .flags = 0x80000040,
     .propertyCount = EditBoxPropertyCount,
     .properties = EditBoxPropertyEntries,
     .unitInterface = EditBoxUnitInterface},
    {}, // 6
    {}, // 7
    {}, // 8
    {}, // 9
    {}, // 10
    {.name = "按钮",
     .englishName = "Button",
     .explanation = "",
     .flags = 0x80000840,
     .propertyCount = ButtonPropertyCount,
     .properties = ButtonPropertyEntries,
     .unitInterface = ButtonUnitInterface},
    {.name = "选择框",
     .englishName = "CheckBox",
     .explanation = "",
     .flags = 0x80001040,
     .propertyCount = CheckBoxPropertyCount,
     .properties = CheckBoxPropertyEntries,
     .unitInterface = CheckBoxUnitInterface},
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
    {.name = "超级链接框",
     .englishName = "HyperLinker",
     .explanation = "",
     .flags = 0x80010040,
     .propertyCount = HyperlinkPropertyCount,
     .properties = HyperlinkPropertyEntries,
     .unitInterface = HyperlinkUnitInterface},
    {}, // 30
    {.name = "通用对话框",
     .englishName = "CommonDlg",
     .explanation = "",
     .flags = 0x80008040,
     .propertyCount = CommonDialogPropertyCount,
     .properties = CommonDialogPropertyEntries,
     .unitInterface = CommonDialogUnitInterface},
};
#define ST_COMMAND_ENTRY(name, space) space::name,
const LibraryCommand coreCommands[] = {ST_CORE_COMMANDS(ST_COMMAND_ENTRY)};
#undef ST_COMMAND_ENTRY

} // namespace

const LibraryRecord CoreLibrary = {
    .identifier = "core",
    .name = "核心支持库",
    .typeCount = CoreTypeCount,
    .types = coreTypes,
    .commandCount = CoreCommand::Count,
    .commands = coreCommands,
    .notify = CoreNotify,
};

} // namespace st

// The start-up record of the runtime's test programs: a constant segment,
// the core library, no windows, no external functions.
#include "program_header.h"

ST_CONSTANT extern const char TestConstantText[] = "测试常量文本";
static const st::LibraryRecord* const kLibraries[] = {&st::CoreLibrary};

extern "C" const st::ProgramHeader ProgramHeaderRecord =
    testing::ProgramHeaderOf({.libraries = kLibraries});

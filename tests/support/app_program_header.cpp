// The start-up record of a test program that calls the tool's routines
// without its window: the core library and the tool's external functions,
// no handlers and no template.
#include "external_functions.h"
#include "program_header.h"

namespace {
const st::LibraryRecord* const kLibraries[] = {&st::CoreLibrary};
} // namespace

extern "C" const st::ProgramHeader ProgramHeaderRecord =
    testing::ProgramHeaderOf({.libraries = kLibraries,
                              .externalCount = app::kExternalCount,
                              .externalLibraries = app::kExternalLibraries,
                              .externalExports = app::kExternalExports});

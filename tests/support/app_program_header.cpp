// The start-up record of a test program that calls the tool's routines
// without its window: the core library and the tool's external functions,
// no handlers and no template.
#include "external_functions.h"
#include "st/services.h"

namespace {
const st::LibraryRecord* const kLibraries[] = {&st::CoreLibrary};
} // namespace

extern "C" const st::ProgramHeader ProgramHeaderRecord = {
    .build = {3, 0, 65891},
    .codeBase = nullptr,
    .constantStart = st::ConstantSegmentBegin,
    .constantLength = st::ConstantSegmentLength(),
    .templateStart = nullptr,
    .templateLength = 0,
    .libraryCount = 1,
    .libraries = kLibraries,
    .externalCount = app::kExternalCount,
    .externalLibraries = app::kExternalLibraries,
    .externalExports = app::kExternalExports,
};

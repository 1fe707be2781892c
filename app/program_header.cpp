// The program's start-up record: the code base, the constant segment, the
// main window's template, the core library and the external functions.
#include "external_functions.h"
#include "handler_table.h"
#include "main_window.h"
#include "st/services.h"

namespace {
const st::LibraryRecord* const kLibraries[] = {&st::CoreLibrary};
} // namespace

// The constant segment's length is the distance between its two markers,
// which only the linker knows, and the template segment is built from its
// description: both are filled in by the start-up code before anything runs.
extern "C" const st::ProgramHeader ProgramHeaderRecord = {
    .build = {3, 0, 65891},
    .codeBase = HandlerTable,
    .constantStart = st::ConstantSegmentBegin,
    .constantLength = st::ConstantSegmentLength(),
    .templateStart = app::MainWindowSegment().data(),
    .templateLength = static_cast<uint32_t>(app::MainWindowSegment().size()),
    .libraryCount = 1,
    .libraries = kLibraries,
    .externalCount = app::kExternalCount,
    .externalLibraries = app::kExternalLibraries,
    .externalExports = app::kExternalExports,
};

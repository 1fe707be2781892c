// The start-up record of the registry's test programs: the core library,
// the test unit library as library 2, and templates made by the builder.
#include "program_header.h"
#include "test_units.h"
#include "test_windows.h"

extern "C" IMAGE_DOS_HEADER __ImageBase; // the code base: every handler lies above it

namespace {
const st::LibraryRecord* const kLibraries[] = {&st::CoreLibrary, &testunits::Library};
// Built before the header that points at it (same file, so in this order).
const std::vector<uint8_t> kSegment = st::BuildTemplateSegment(testwindows::Windows(&__ImageBase));
} // namespace

extern "C" const st::ProgramHeader ProgramHeaderRecord = testing::ProgramHeaderOf(
    {.codeBase = &__ImageBase, .windows = &kSegment, .libraries = kLibraries});

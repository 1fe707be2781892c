// The start-up record of the programs that show the test windows: the core
// library, the stand-in unit types as library 2, the test windows' templates.
#include "program_header.h"
#include "test_windows.h"

namespace {
// Built before the header that points at it (same file, so in this order).
const std::vector<uint8_t> kSegment = st::BuildTemplateSegment(testwindows::TestWindows());
} // namespace

extern "C" const st::ProgramHeader ProgramHeaderRecord = testing::ProgramHeaderOf(
    {.codeBase = reinterpret_cast<const void*>(&testwindows::TestWindowsCodeBase),
     .windows = &kSegment,
     .libraries = testwindows::kLibraries});

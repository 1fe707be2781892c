// The program's start-up record, its entry routine and its end routine.
#include "globals.h"
#include "handler_table.h"
#include "external_functions.h"
#include "st/services.h"

namespace app {

namespace {

constexpr uint32_t kMainWindow = 0x52010001;

const st::LibraryRecord* const kLibraries[] = {&st::CoreLibrary};

void EndRoutine() {
    st::Services.FreeMemory(currentAudioPath);
    st::Services.FreeMemory(currentAudioBytes);
    currentAudioPath = nullptr;
    currentAudioBytes = nullptr;
}

} // namespace
} // namespace app

// The constant segment's length is the distance between its two markers,
// which only the linker knows: this one word is filled in by the start-up
// code before anything runs, the rest is constant.
extern "C" const st::ProgramHeader ProgramHeaderRecord = {
    {3, 0, 65891},
    HandlerTable,
    st::ConstantSegmentBegin,
    st::ConstantSegmentLength(),
    nullptr, // window templates: none yet
    0,
    1,
    app::kLibraries,
    app::kExternalCount,
    app::kExternalLibraries,
    app::kExternalExports,
};

extern "C" int ProgramEntry() {
    st::Services.Notify(st::NotifyCode::StartRuntime);
    asm volatile("fninit"); // the floating-point unit's default control state
    app::InitialiseGlobals();
    st::Services.Notify(st::NotifyCode::SetEndRoutine, app::EndRoutine);
    st::Services.LoadStartWindow(app::kMainWindow);
    st::Services.RunMessageLoop();
    return 0;
}

// The program's entry routine and its end routine.
#include "globals.h"
#include "main_window.h"
#include "st/services.h"

namespace app {
namespace {

void EndRoutine() {
    st::Services.FreeMemory(currentAudioPath);
    st::Services.FreeMemory(currentAudioBytes);
    currentAudioPath = nullptr;
    currentAudioBytes = nullptr;
}

} // namespace
} // namespace app

extern "C" int ProgramEntry() {
    st::Services.Notify(st::NotifyCode::StartRuntime);
    asm volatile("fninit"); // the floating-point unit's default control state
    app::InitialiseGlobals();
    st::Services.Notify(st::NotifyCode::SetEndRoutine, app::EndRoutine);
    st::Services.LoadStartWindow(app::kMainWindow);
    st::Services.RunMessageLoop();
    return 0;
}

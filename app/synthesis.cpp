// Speech synthesis: the synthesis button's handler and the reset of the
// audio state when the text changes.
#include "globals.h"
#include "handler_table.h"
#include "main_window.h"
#include "st/services.h"

extern "C" void OnSynthesizeClick() {
    // Bound in the template; the request itself comes with its own change.
}

// The text no longer matches the audio: Play and Save As wait for the next
// synthesis. The bytes stay until then; only the path is forgotten.
extern "C" void ResetAudioState() {
    for (uint32_t button : {app::unit::PlayButton, app::unit::SaveAsButton})
        st::Services.SetProperty(app::kMainWindow, button, app::property::Disabled, -1, 1, 0);
    st::Services.FreeMemory(app::currentAudioPath);
    app::currentAudioPath = nullptr;
}

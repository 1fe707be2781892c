// The program's global variables.
#pragma once

#include "st/values.h"

namespace app {

extern st::TextValue currentAudioPath; // the last downloaded MP3, or null
extern void* currentAudioBytes;        // its bytes as read after the download, or null

// Gives the globals their starting values (all empty: nothing to do).
void InitialiseGlobals();

} // namespace app

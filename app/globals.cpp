#include "globals.h"

namespace app {

st::TextValue currentAudioPath = nullptr;
void* currentAudioBytes = nullptr;

void InitialiseGlobals() {}

} // namespace app

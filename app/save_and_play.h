// Playing and saving the last synthesised audio.
#pragma once

namespace app {

// Writes the bytes (a byte set, null = none) to path. An existing file there
// is replaced only by a completely written new one: the bytes go to a fresh
// file beside it first, which then takes its name. False when anything fails;
// the target is then as it was and no temporary file is left behind.
bool SaveAudioFile(const char* path, const void* bytes);

} // namespace app

// The MP3 player as a module reached by entry-point name: the names, the
// routines' types, and the three routines by which the runtime registers it.
#pragma once

#include <cstdint>

namespace mp3 {

// A handle is an Mp3Player; every entry but CreatePlayer ignores a null one.
using CreatePlayerFn = void* (*)(const char* files, int32_t loops);
using NewPlayFn = void (*)(void* handle, void* window, int32_t startPercent);
using PlayFn = void (*)(void* handle);
using GetPlayStateFn = int32_t (*)(void* handle);
using SetPauseStateFn = void (*)(void* handle, int32_t pause);
using RemovePlayerFn = void (*)(void* handle);

// The module routines: initialise (nonzero when usable), lookup by name, shutdown.
int32_t PlayerInitialise();
void* PlayerLookup(const char* name);
void PlayerShutdown();

} // namespace mp3

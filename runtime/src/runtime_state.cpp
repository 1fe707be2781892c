#include "playback/player_entries.h"
#include "registry.h"

namespace st {

bool WindowRegistry::LoadTemplates(const void*, uint32_t, const void*) {
    return false;
}
bool WindowRegistry::LoadWindow(uint32_t, bool, bool, HWND) {
    return false;
}
uint64_t WindowRegistry::GetProperty(uint32_t, uint32_t, int32_t, int32_t) {
    RuntimeError("未载入欲访问窗口组件所在的窗口", 0);
}
void WindowRegistry::SetProperty(uint32_t, uint32_t, int32_t, int32_t, uint32_t, uint32_t) {
    RuntimeError("未载入欲访问窗口组件所在的窗口", 0);
}
uint64_t WindowRegistry::Callback(int32_t, uint32_t, uint32_t) {
    return 0;
}

RuntimeState::RuntimeState() : windows(&Registry()) {}

RuntimeState& Runtime() {
    // Constructed on first use, so that static constructors of other units
    // (and tests) may already allocate through it.
    static RuntimeState state;
    return state;
}

void RuntimeState::SplitModulePath() {
    char path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n >= MAX_PATH) n = 0;
    path[n] = 0;
    const std::string module(path);
    const size_t slash = module.find_last_of('\\');
    if (slash == std::string::npos) {
        programDirectory.clear();
        programFileName = module;
        moduleDirectory.clear();
    } else {
        programDirectory = module.substr(0, slash);
        programFileName = module.substr(slash + 1);
        moduleDirectory = module.substr(0, slash + 1);
    }
}

bool RuntimeState::InitInstance() {
    // The entry routine ran the program's own loop, or gave up before it:
    // either way the framework runs none (with no window nothing would ever
    // end it) and the program ends with the routine's status.
    entryStatus = entryRoutine ? entryRoutine() : 0;
    return false;
}

int RuntimeState::ExitInstance() {
    ShutDown(entryStatus);
    return entryStatus;
}

void PlayerProvider::Register(int32_t (*init)(), void* (*find)(const char*), void (*done)()) {
    if (!initialise && shutdown) shutdown();
    if (init && find) {
        initialise = init;
        lookup = find;
        shutdown = done;
    } else {
        initialise = nullptr;
        lookup = nullptr;
        shutdown = nullptr;
    }
}

void* PlayerProvider::Lookup(const char* name) {
    if (initialise) {
        if (initialise() == 0) {
            lookup = nullptr;
            shutdown = nullptr;
        }
        initialise = nullptr;
    }
    return lookup ? lookup(name) : nullptr;
}

// Named here, so that the linker keeps the player; a test may put another
// module in its place before StartRuntime.
PlayerModuleRoutines PlayerModule = {
    .initialise = mp3::PlayerInitialise,
    .lookup = mp3::PlayerLookup,
    .shutdown = mp3::PlayerShutdown,
};

} // namespace st

// The end of the program: one shut-down sequence, always on the main thread.
#include <ole2.h>

#include "dll_binding.h"
#include "runtime_state.h"

namespace st {

void ShutDown(int32_t code) {
    RuntimeState& rt = Runtime();
    InterlockedIncrement(&rt.errorDepth); // no handler runs from here on

    if (rt.mainThread != 0 && GetCurrentThreadId() != rt.mainThread) {
        // Hand the end to the main thread; it ends the process while we wait.
        // If it does not take it over (no window, or it is already on its way
        // out), the end must still happen: the caller ends the process.
        if (rt.messageWindow)
            SendMessageA(rt.messageWindow, WM_RUNTIME_END, static_cast<WPARAM>(code), 0);
        if (!rt.shuttingDown) ExitProcess(static_cast<UINT>(code));
        return;
    }

    rt.shuttingDown = true;
    rt.idleHooks.clear();

    rt.windows->DestroyAll();

    // Each step forgets what it releases first, so that a nested EndProgram
    // (an EndRoutine ending the program itself) never repeats it.
    if (EndRoutineFn end = rt.endRoutine) {
        rt.endRoutine = nullptr;
        end();
    }

    std::vector<const LibraryRecord*> libraries;
    libraries.swap(rt.libraries);
    std::vector<uint32_t> states;
    states.swap(rt.libraryStates);
    for (size_t i = 0; i < libraries.size(); ++i)
        if (libraries[i]->notify)
            libraries[i]->notify(LibraryCode::Ending, i < states.size() ? states[i] : 0, 0);

    ReleaseExternalFunctions();

    rt.largeIcon.reset();
    rt.smallIcon.reset();
    if (HWND window = rt.messageWindow) {
        rt.messageWindow = nullptr;
        DestroyWindow(window);
    }

    if (void* handle = rt.player.handle) {
        rt.player.handle = nullptr;
        if (auto remove = reinterpret_cast<void (*)(void*)>(rt.player.Lookup("RemovePlayer")))
            remove(handle);
    }

    if (rt.oleInitialised) {
        rt.oleInitialised = false;
        OleUninitialize();
    }
}

void EndProgram(int32_t code) {
    ShutDown(code);
    ExitProcess(static_cast<UINT>(code));
}

} // namespace st

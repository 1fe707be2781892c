// The runtime's message loop: idle list and framework idle work between messages.
#include "runtime_state.h"

namespace st {

void RuntimeState::AddIdleHook(HWND window, IdleRoutine routine, uintptr_t argument) {
    if (!window || !routine || !IsWindow(window)) return;
    for (const IdleHook& h : idleHooks)
        if (h.window == window) return;
    idleHooks.push_back({window, routine, argument});
}

void RuntimeState::RemoveIdleHook(HWND window) {
    for (size_t i = 0; i < idleHooks.size(); ++i)
        if (idleHooks[i].window == window) {
            idleHooks.erase(idleHooks.begin() + static_cast<ptrdiff_t>(i));
            return;
        }
}

void RuntimeState::RunIdleHooks() {
    // Last to first, by index: a routine may add or remove entries.
    for (size_t i = idleHooks.size(); i-- > 0;) {
        if (i >= idleHooks.size()) continue;
        IdleHook h = idleHooks[i];
        if (IsWindow(h.window))
            h.routine(h.argument);
        else
            idleHooks.erase(idleHooks.begin() + static_cast<ptrdiff_t>(i));
    }
}

// One message through the framework's pump. After the outermost dispatch no
// window procedure is running, and released unit objects may go.
static bool PumpOne(RuntimeState& rt) {
    static int32_t nesting = 0;
    ++nesting;
    const bool more = rt.PumpMessage();
    --nesting;
    if (nesting == 0) rt.windows->AfterDispatch();
    return more;
}

void RunMessageLoop(bool modal) {
    RuntimeState& rt = Runtime();
    rt.loopEntered = true;
    if (!rt.windows->AnyWindowAlive()) return;

    bool idle = true;
    long count = 0;
    for (;;) {
        MSG peek;
        while (idle && !PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
            rt.RunIdleHooks();
            if (!rt.OnIdle(count++)) idle = false;
        }
        do {
            if (!PumpOne(rt)) {
                // A modal loop leaves WM_QUIT for the loop that owns the program.
                if (modal) PostQuitMessage(static_cast<int>(rt.LastMessage().wParam));
                return;
            }
            if (modal && rt.windows->ModalWindow() == 0) return;
            if (rt.IsIdleMessage(rt.LastMessage())) {
                idle = true;
                count = 0;
            }
        } while (PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE));
    }
}

void RunMessageLoop() {
    RunMessageLoop(false);
}

void ProcessPendingMessages() {
    RuntimeState& rt = Runtime();
    MSG peek;
    while (PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE) && peek.message != WM_QUIT)
        PumpOne(rt);
}

} // namespace st

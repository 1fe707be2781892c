// Reaching the units of a window loaded on the real runtime from a test, the
// way the units themselves reach the runtime: through its callback. (A
// window's text: testing::WindowText in child_process.h.)
#pragma once

#include <windows.h>

#include <cstdint>

#include "st/services.h"
#include "st/unit_base.h"

namespace testing {

// Starts the runtime on the program's start-up record, once per program.
inline void StartRuntimeOnce() {
    static const bool started = [] {
        st::Services.Notify(st::NotifyCode::StartRuntime);
        return true;
    }();
    (void)started;
}

// The runtime's pump: every waiting message but WM_QUIT.
inline void Pump() {
    st::CallRuntime(st::CallbackCode::ProcessMessages);
}

// The live object of a loaded window's unit (unit 0 is the window), or null.
inline st::UnitBase* UnitObject(uint32_t window, uint32_t unit) {
    return reinterpret_cast<st::UnitBase*>(
        static_cast<uintptr_t>(st::CallRuntime(st::CallbackCode::FindUnitObject, window, unit)));
}

inline HWND UnitHandle(uint32_t window, uint32_t unit) {
    st::UnitBase* u = UnitObject(window, unit);
    return u ? u->hwnd : nullptr;
}

// The unit whose control has the focus (0 when it is none of ours).
inline uint32_t FocusedUnit() {
    st::Unit* u = st::Unit::FromHandle(GetFocus());
    return u ? u->unitId : 0;
}

} // namespace testing

// Reaching the units of a window loaded on the real runtime from a test, the
// way the units themselves reach the runtime: through its callback. (A
// window's text: testing::WindowText in child_process.h.)
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "st/services.h"
#include "runtime_started.h"
#include "st/unit_base.h"

namespace testing {

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

// Loads one of the program's windows as its start window (the runtime
// started first); its handle, or null.
inline HWND LoadStartWindow(uint32_t window) {
    StartRuntimeOnce();
    st::Services.LoadStartWindow(window);
    Pump();
    return UnitHandle(window, 0);
}

// Closes a window left open by a test; its units go with it.
inline void CloseWindow(HWND window) {
    if (IsWindow(window)) DestroyWindow(window);
    Pump();
}

// A unit's property as application code reads and writes it (the unit's
// numbering: common properties first); a text read is a copy, freed here.
inline uint32_t GetProperty(uint32_t window, uint32_t unit, int32_t index) {
    return static_cast<uint32_t>(st::Services.GetProperty(window, unit, index, -1));
}
inline void SetProperty(uint32_t window, uint32_t unit, int32_t index, uint32_t value) {
    st::Services.SetProperty(window, unit, index, -1, value, 0);
}
inline std::string GetTextProperty(uint32_t window, uint32_t unit, int32_t index) {
    char* text = reinterpret_cast<char*>(static_cast<uintptr_t>(GetProperty(window, unit, index)));
    std::string s = text ? text : "";
    st::Services.FreeMemory(text);
    return s;
}
inline void SetTextProperty(uint32_t window, uint32_t unit, int32_t index, const char* text) {
    SetProperty(window, unit, index, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text)));
}

// The unit whose control has the focus (0 when it is none of ours).
inline uint32_t FocusedUnit() {
    st::Unit* u = st::Unit::FromHandle(GetFocus());
    return u ? u->unitId : 0;
}

} // namespace testing

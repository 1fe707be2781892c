// The window unit's view of the registry: its unit records with their live
// objects and types, and the loaded windows.
#pragma once

#include <vector>

#include "st/window_unit.h"

namespace st {

struct UnitSlot {
    int32_t index = 0; // in the window's unit list
    UnitRecordView record;
    UnitBase* object = nullptr;
    const TypeRecord* type = nullptr;
    uint32_t typeFlags = 0;

    bool Live() const { return object && object->hwnd && IsWindow(object->hwnd); }
};

TemplateRegistry* UnitsRegistry();
const TypeRecord* TypeRecordOf(uint32_t type);
// The window's units in record order (the window itself and menu items left out).
std::vector<UnitSlot> WindowUnits(uint32_t window);
// The focus candidates in focus order.
std::vector<UnitSlot> FocusOrder(uint32_t window);
// Windows of the registry whose own unit is live.
std::vector<WindowUnit*> LoadedWindows();

// --- Window styles from the properties (window_properties.cpp) ---------------------------

inline constexpr DWORD kTitleBits = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
// Borders 1, 3 and 5 can be resized.
bool Resizable(int32_t border);
DWORD FrameStyle(int32_t border);
DWORD FrameExStyle(int32_t border);
// Caption, system menu and title-bar buttons as the properties ask for them.
DWORD TitleBarStyle(const WindowProperties& p);

} // namespace st

// The window unit: creation, the tray icon, activation, closing and the end
// of the program. Its properties are in window_properties.cpp, its painting
// in window_painting.cpp, keyboard navigation in window_navigation.cpp.
#include "st/window_unit.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "window_internal.h"

namespace st {

namespace {

const char kDefaultClass[] = "RZWindow";

bool activationGuard = false; // set while an activation event is raised

} // namespace

// --- Windows of the registry -----------------------------------------------------------

TemplateRegistry* UnitsRegistry() {
    return reinterpret_cast<TemplateRegistry*>(
        static_cast<uintptr_t>(CallRuntime(CallbackCode::Registry)));
}

const TypeRecord* TypeRecordOf(uint32_t type) {
    return reinterpret_cast<const TypeRecord*>(
        static_cast<uintptr_t>(CallRuntime(CallbackCode::TypeRecordOf, type)));
}

std::vector<UnitSlot> WindowUnits(uint32_t window) {
    std::vector<UnitSlot> units;
    TemplateRegistry* registry = UnitsRegistry();
    if (!registry) return units;
    int32_t count = registry->UnitCount(window);
    for (int32_t i = 1; i < count; ++i) {
        UnitSlot slot;
        if (!registry->UnitAt(window, i, slot.record) || slot.record.type == UnitType::Menu)
            continue;
        slot.index = i;
        slot.object = slot.record.Object();
        slot.type = TypeRecordOf(slot.record.type);
        slot.typeFlags = slot.type ? slot.type->flags : 0;
        units.push_back(slot);
    }
    return units;
}

std::vector<WindowUnit*> LoadedWindows() {
    std::vector<WindowUnit*> windows;
    TemplateRegistry* registry = UnitsRegistry();
    if (!registry) return windows;
    for (int32_t i = 0, n = registry->WindowCount(); i < n; ++i) {
        UnitRecordView own;
        if (!registry->UnitAt(registry->WindowIdAt(i), 0, own)) continue;
        if (auto* window = dynamic_cast<WindowUnit*>(own.Object()); window && window->hwnd)
            windows.push_back(window);
    }
    return windows;
}

// --- Creation ------------------------------------------------------------------------------

bool WindowUnit::Build(const UnitPlacement& at) {
    const uint32_t style = at.style;
    HWND parent = at.parent;
    HMENU menu = at.menu;
    int32_t left = at.left, top = at.top, width = at.width, height = at.height;
    const char* className = props.className.empty() ? kDefaultClass : props.className.c_str();
    if (!RegisterUnitClass(className, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS)) return false;
    // WS_TABSTOP and WS_GROUP from the unit record mean the title-bar
    // buttons on a top-level window; those come from the properties.
    DWORD windowStyle = (style & ~(kTitleBits | WS_TABSTOP | WS_GROUP | WS_VISIBLE | WS_CHILD)) |
                        WS_CLIPCHILDREN | FrameStyle(props.border) | TitleBarStyle(props);
    DWORD exStyle = FrameExStyle(props.border);
    int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    switch (props.position) {
    case 1:
        left = (screenWidth - width) / 2;
        top = (screenHeight - height) / 2;
        break;
    case 2:
        windowStyle |= WS_MINIMIZE;
        break;
    case 3:
        if (Resizable(props.border)) {
            windowStyle |= WS_MAXIMIZE;
        } else {
            left = top = 0;
            width = screenWidth;
            height = screenHeight;
        }
        break;
    default:
        break;
    }
    HWND owner = parent;
    if (parent) {
        windowStyle |= WS_POPUP;
    } else if ((!props.inTaskbar || CallRuntime(CallbackCode::LoadingModally) != 0) &&
               CallRuntime(CallbackCode::FirstBuildWord) != 0) {
        // Owned by the runtime's hidden window: no taskbar button.
        owner = reinterpret_cast<HWND>(
            static_cast<uintptr_t>(CallRuntime(CallbackCode::MessageWindow)));
    }
    if (!CreateUnitWindow(exStyle, className, props.caption.c_str(), windowStyle, left, top, width,
                          height, owner, menu))
        return false;
    ApplyTitleBar();
    RECT created;
    GetWindowRect(hwnd, &created);
    if (!(windowStyle & (WS_MINIMIZE | WS_MAXIMIZE)) &&
        (created.right - created.left != width || created.bottom - created.top != height))
        SetWindowPos(hwnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyIcons();
    if (props.shape != 0) ApplyShape();
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    if (props.topmost) ApplyTopmost(false);
    if (!props.movable) ApplyMovable();
    // Background music needs the runtime's MIDI and WAV players, which this
    // runtime does not carry; the bytes are kept for the property only.
    return true;
}

// --- Tray icon ------------------------------------------------------------------------------

void WindowUnit::SetTrayIcon(HICON icon, const char* tip) {
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = hwnd;
    data.uID = TrayIconId;
    if (!icon) {
        if (trayIcon_) {
            Shell_NotifyIconA(NIM_DELETE, &data);
            trayIcon_.reset();
        }
        return;
    }
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = TrayIconMessage;
    data.hIcon = icon;
    // At most 62 bytes, never half a double-byte character.
    size_t n = 0;
    for (const char* p = tip ? tip : ""; p[n] && n < 62;) {
        size_t step = IsDBCSLeadByteEx(936, static_cast<BYTE>(p[n])) && p[n + 1] ? 2 : 1;
        if (n + step > 62) break;
        n += step;
    }
    if (tip) std::memcpy(data.szTip, tip, n);
    data.szTip[n] = 0;
    Shell_NotifyIconA(trayIcon_ ? NIM_MODIFY : NIM_ADD, &data);
    if (trayIcon_.get() != icon) trayIcon_.reset(icon);
}

// --- Messages ---------------------------------------------------------------------------------

bool WindowUnit::IdleEvent(uint32_t milliseconds) {
    std::optional<uint32_t> answer = RaiseEvent(WindowEvent::Idle, {milliseconds});
    return answer && *answer != 0;
}

void WindowUnit::EndModalState() {
    loadState_.modal = false;
    std::vector<HWND> disabled;
    disabled.swap(loadState_.disabledForModal);
    for (HWND w : disabled)
        if (IsWindow(w)) EnableWindow(w, TRUE);
}

void WindowUnit::OnActivate(WPARAM wParam) {
    const bool active = LOWORD(wParam) != WA_INACTIVE;
    HWND self = hwnd;
    if (active && activatedOnce_ && !IsWindowEnabled(self) &&
        CallRuntime(CallbackCode::FirstBuildWord) != 0) {
        // A modal window is open: it takes the activation.
        for (WindowUnit* w : LoadedWindows())
            if (w->loadState_.modal && IsWindowVisible(w->hwnd) && IsWindowEnabled(w->hwnd) &&
                !(GetWindowLongA(w->hwnd, GWL_STYLE) & WS_CHILD)) {
                SetActiveWindow(w->hwnd);
                return;
            }
    }
    if (!active) {
        HWND focus = GetFocus();
        if (focus && IsChild(self, focus)) lastFocus_ = focus;
    }
    if (activationGuard) return;
    activationGuard = true;
    if (!activatedOnce_) {
        activatedOnce_ = true;
        RaiseEvent(WindowEvent::FirstActivated);
    }
    if (IsWindow(self)) RaiseEvent(active ? WindowEvent::Activated : WindowEvent::Deactivated);
    activationGuard = false;
}

LRESULT WindowUnit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND self = hwnd;
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers the whole background
    case WM_PAINT: {
        PaintDc dc(self);
        RECT clip;
        if (GetClipBox(dc.get(), &clip) != NULLREGION) PaintBackground(dc.get(), clip);
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        GetClientRect(self, &client);
        PaintBackground(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_CLOSE:
    case WM_QUERYENDSESSION: {
        std::optional<uint32_t> answer = RaiseEvent(WindowEvent::QueryClose);
        if (!IsWindow(self)) return message == WM_QUERYENDSESSION;
        if (answer && *answer == 0) return 0; // refused (FALSE to the session end too)
        if (message == WM_QUERYENDSESSION) return TRUE;
        EndModalState();
        return DefaultProc(message, wParam, lParam);
    }
    case WM_DESTROY:
        RaiseEvent(WindowEvent::Destroyed);
        if (IsWindow(self)) {
            if (helpOpened_) WinHelpA(self, nullptr, HELP_QUIT, 0);
            helpOpened_ = false;
            if (HMENU menu = GetMenu(self)) {
                SetMenu(self, nullptr);
                DestroyMenu(menu);
            }
            SetTrayIcon(nullptr, nullptr);
            return DefaultProc(message, wParam, lParam);
        }
        return 0;
    case WM_ACTIVATE: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        OnActivate(wParam);
        return result;
    }
    case WM_SETFOCUS: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        RaiseEvent(CommonEvent::FocusReceived);
        if (!IsWindow(self)) return result;
        HWND back = lastFocus_ && IsWindow(lastFocus_) && IsChild(self, lastFocus_) &&
                            IsWindowVisible(lastFocus_) && IsWindowEnabled(lastFocus_)
                        ? lastFocus_
                        : nullptr;
        if (!back) {
            std::vector<UnitSlot> order = FocusOrder(windowId);
            if (!order.empty()) back = order.front().object->hwnd;
        }
        if (back) SetFocus(back);
        return result;
    }
    case WM_SHOWWINDOW: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        RaiseEvent(wParam ? WindowEvent::Shown : WindowEvent::Hidden);
        return result;
    }
    case WM_MOVE: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        RaiseEvent(WindowEvent::Moved);
        return result;
    }
    case WM_SIZE: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        if (props.shape != 0) ApplyShape();
        RaiseEvent(WindowEvent::Resized);
        return result;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && SetUnitCursor(reinterpret_cast<HWND>(wParam)))
            return TRUE;
        return DefaultProc(message, wParam, lParam);
    case WM_NCACTIVATE:
        if (!wParam && props.titleStaysActive) {
            DefaultProc(message, TRUE, lParam);
            return TRUE;
        }
        return DefaultProc(message, wParam, lParam);
    case WM_UNITS_CREATED:
        return 0; // no docking units to lay out
    case WM_END_MODAL:
        EndModalState();
        return 0;
    case TrayIconMessage: {
        uint32_t action = lParam == WM_LBUTTONUP                               ? 1
                          : lParam == WM_LBUTTONDBLCLK                         ? 2
                          : lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU ? 3
                                                                               : 0;
        if (action) RaiseEvent(WindowEvent::TrayIcon, {action});
        return 0;
    }
    default:
        return Unit::WindowProc(message, wParam, lParam);
    }
}

bool WindowUnit::SetUnitCursor(HWND over) {
    TemplateRegistry* registry = UnitsRegistry();
    if (!registry) return false;
    uint32_t cursor = 0;
    if (over == hwnd) {
        UnitRecordView own;
        if (registry->UnitAt(windowId, 0, own)) cursor = own.Cursor();
    } else {
        for (const UnitSlot& u : WindowUnits(windowId))
            if (u.object && u.object->hwnd == over) cursor = u.record.Cursor();
    }
    if (!cursor) return false;
    SetCursor(reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(cursor)));
    return true;
}

void WindowUnit::OnFinalMessage() {
    // The units' custom cursors belong to the runtime, which takes them down
    // with the window's report below; destroying them here as well would free
    // them twice.
    for (OwnedIcon* icon : {&bigIcon_, &smallIcon_, &trayIcon_})
        icon->reset();
    // The runtime releases this object with the report.
    CallRuntime(CallbackCode::UnitDestroyed, windowId, 0);
    if (CallRuntime(CallbackCode::LoopEntered) != 0 &&
        CallRuntime(CallbackCode::LoadedWindowCount) == 0)
        PostQuitMessage(0);
}

// --- UnitInterface ------------------------------------------------------------------------

namespace {

HGLOBAL GetWindowIcon(const void* block, int32_t length, uint32_t* iconLength) {
    if (iconLength) *iconLength = 0;
    WindowProperties props;
    if (!ReadPropertyBlock(props, block, length) || props.icon.empty()) return nullptr;
    HGLOBAL memory = NewGlobalBlock(props.icon.data(), props.icon.size());
    if (memory && iconLength) *iconLength = static_cast<uint32_t>(props.icon.size());
    return memory;
}

HGLOBAL ListWindowTexts(const void* block, int32_t length, ReportTextFn report, void* argument,
                        uint32_t* newLength) {
    using P = WindowProperty;
    return ListTextsOf(WindowUnit::kPropertyRows,
                       {RowOf(P::className), RowOf(P::caption), RowOf(P::helpFile)}, block, length,
                       report, argument, newLength);
}

} // namespace

void* WindowUnitInterface(int32_t entry) {
    switch (entry) {
    case UnitEntry::GetWindowIcon:
        return reinterpret_cast<void*>(static_cast<GetWindowIconFn>(&GetWindowIcon));
    case UnitEntry::ListBlockTexts:
        return reinterpret_cast<void*>(static_cast<ListBlockTextsFn>(&ListWindowTexts));
    default:
        return CommonUnitEntry<WindowUnit>(entry);
    }
}

} // namespace st

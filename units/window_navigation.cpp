// The window unit's look at every message before dispatch: dragging,
// keyboard navigation (Tab, Enter, Esc, F1, radio arrows, Alt mnemonics) and
// the common input events of its units.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "window_internal.h"

namespace st {

namespace {

constexpr uint32_t kCtrl = 0x2000, kShift = 0x4000, kAlt = 0x8000;

void RaiseOwnEvent0(const UnitSlot& slot) {
    RaiseUnitEvent(slot.object->windowId, slot.object->unitId, 0);
}

bool IsDefaultButton(const UnitSlot& slot) {
    auto isDefault = UnitEntryOf<IsDefaultButtonFn>(slot.type, UnitEntry::IsDefaultButton);
    return isDefault && isDefault(slot.object) != 0;
}

bool Usable(const UnitSlot& slot) {
    return slot.Live() && IsWindowVisible(slot.object->hwnd) && IsWindowEnabled(slot.object->hwnd);
}

// Checks one radio unit of a group and clears the others.
void CheckRadio(const std::vector<UnitSlot>& group, const UnitSlot& chosen) {
    for (const UnitSlot& r : group)
        SendMessageA(r.object->hwnd, BM_SETCHECK, r.object == chosen.object ? BST_CHECKED : 0, 0);
}

std::vector<UnitSlot> RadioGroup(uint32_t window, uint32_t parent) {
    std::vector<UnitSlot> group;
    for (const UnitSlot& u : WindowUnits(window))
        if (u.Live() && (u.typeFlags & TypeFlag::RadioKind) && u.record.parent == parent)
            group.push_back(u);
    return group;
}

// Whether a caption holds "&" followed by the key's character.
bool HasMnemonic(const char* caption, uint32_t key) {
    for (const char* p = caption; *p; ++p)
        if (p[0] == '&' && p[1] &&
            std::toupper(static_cast<unsigned char>(p[1])) == static_cast<int>(key))
            return true;
    return false;
}

} // namespace

std::vector<UnitSlot> FocusOrder(uint32_t window) {
    std::vector<UnitSlot> order;
    for (const UnitSlot& u : WindowUnits(window))
        if (Usable(u) && (u.record.Flags() & UnitFlag::TabStop) &&
            !(u.typeFlags & (TypeFlag::Windowless | TypeFlag::NoFocusMoves)))
            order.push_back(u);
    std::stable_sort(order.begin(), order.end(), [](const UnitSlot& a, const UnitSlot& b) {
        return a.record.tabOrder < b.record.tabOrder;
    });
    return order;
}

namespace {

// The unit of this window holding the focus (the focus may sit in a window
// inside the unit's own).
std::optional<UnitSlot> FocusedUnit(const WindowUnit& window) {
    for (HWND h = GetFocus(); h && h != window.hwnd; h = GetParent(h)) {
        Unit* unit = Unit::FromHandle(h);
        if (!unit || unit->windowId != window.windowId) continue;
        for (const UnitSlot& u : WindowUnits(window.windowId))
            if (u.object == unit) return u;
    }
    return std::nullopt;
}

// The next (or previous) focus candidate after from; from may itself be no
// candidate (a label), then its tab-order number decides.
HWND NextFocus(uint32_t window, const UnitSlot* from, bool forward) {
    std::vector<UnitSlot> order = FocusOrder(window);
    if (order.empty()) return nullptr;
    const size_t n = order.size();
    if (!from) return order[forward ? 0 : n - 1].object->hwnd;
    for (size_t i = 0; i < n; ++i)
        if (order[i].object == from->object)
            return order[forward ? (i + 1) % n : (i + n - 1) % n].object->hwnd;
    const uint32_t at = from->record.tabOrder;
    if (forward) {
        for (const UnitSlot& u : order)
            if (u.record.tabOrder > at) return u.object->hwnd;
        return order.front().object->hwnd;
    }
    for (size_t i = n; i-- > 0;)
        if (order[i].record.tabOrder < at) return order[i].object->hwnd;
    return order.back().object->hwnd;
}

} // namespace

void WindowUnit::MoveFocus(bool forward) {
    std::optional<UnitSlot> focused = FocusedUnit(*this);
    if (HWND next = NextFocus(windowId, focused ? &*focused : nullptr, forward)) SetFocus(next);
}

bool WindowUnit::PressEnter(UnitSlot* focused) {
    if (focused && focused->Live() && (focused->typeFlags & TypeFlag::ButtonKind) &&
        IsDefaultButton(*focused)) {
        RaiseOwnEvent0(*focused);
        return true;
    }
    if (props.enterMovesFocus) {
        MoveFocus(true);
        return true;
    }
    for (const UnitSlot& u : WindowUnits(windowId))
        if (u.Live() && IsWindowEnabled(u.object->hwnd) && (u.typeFlags & TypeFlag::ButtonKind) &&
            IsDefaultButton(u)) {
            RaiseOwnEvent0(u);
            return true;
        }
    return false;
}

bool WindowUnit::MoveRadio(const UnitSlot& focused, bool forward) {
    std::vector<UnitSlot> group = RadioGroup(windowId, focused.record.parent);
    std::vector<UnitSlot> usable;
    for (const UnitSlot& r : group)
        if (Usable(r) || r.object == focused.object) usable.push_back(r);
    size_t n = usable.size(), at = 0;
    while (at < n && usable[at].object != focused.object)
        ++at;
    if (at == n) return false;
    const UnitSlot& next = usable[forward ? (at + 1) % n : (at + n - 1) % n];
    const HWND nextWindow = next.object->hwnd;
    const uint32_t window = next.object->windowId, unit = next.object->unitId;
    CheckRadio(group, next);
    // Focus handlers run here and may take the window, and the unit, away.
    SetFocus(nextWindow);
    if (IsWindow(nextWindow)) RaiseUnitEvent(window, unit, 0);
    return true;
}

bool WindowUnit::Mnemonic(uint32_t key) {
    for (const UnitSlot& u : WindowUnits(windowId)) {
        if (!(u.typeFlags & TypeFlag::MnemonicKinds) || (u.typeFlags & TypeFlag::Windowless) ||
            !Usable(u))
            continue;
        char caption[512];
        GetWindowTextA(u.object->hwnd, caption, sizeof caption);
        if (!HasMnemonic(caption, key)) continue;
        const uint32_t f = u.typeFlags;
        if (f & TypeFlag::CheckBoxKind) {
            LRESULT state = SendMessageA(u.object->hwnd, BM_GETCHECK, 0, 0);
            SendMessageA(u.object->hwnd, BM_SETCHECK, state == BST_CHECKED ? 0 : BST_CHECKED, 0);
        } else if (f & TypeFlag::RadioKind) {
            CheckRadio(RadioGroup(windowId, u.record.parent), u);
        }
        if (f & (TypeFlag::ButtonKind | TypeFlag::CheckBoxKind | TypeFlag::RadioKind)) {
            RaiseOwnEvent0(u);
        } else if (f & TypeFlag::LabelKind) {
            if (HWND next = NextFocus(windowId, &u, true)) SetFocus(next);
        } else {
            SetFocus(u.object->hwnd);
        }
        return true;
    }
    return false;
}

std::string HelpFileName(const std::string& file) {
    if (!file.empty()) return file;
    auto name = reinterpret_cast<const char*>(
        static_cast<uintptr_t>(CallRuntime(CallbackCode::ProgramFileName)));
    std::string help = name ? name : "";
    if (help.empty()) return help;
    size_t dot = help.rfind('.'), slash = help.find_last_of("\\/");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        help.resize(dot + 1);
    else
        help += '.';
    return help + "hlp";
}

void WindowUnit::OpenHelp() {
    const std::string file = HelpFileName(props.helpFile);
    if (file.empty()) return;
    if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (props.helpTopic != 0)
        WinHelpA(hwnd, file.c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(props.helpTopic));
    else
        WinHelpA(hwnd, file.c_str(), HELP_FINDER, 0);
    helpOpened_ = true;
}

bool WindowUnit::HandleKey(MSG& msg) {
    const uint32_t key = FoldKeypad(static_cast<uint32_t>(msg.wParam));
    const uint32_t modifiers = ModifierState(static_cast<uint32_t>(msg.wParam));
    const uint32_t code = key | (modifiers & 1 ? kCtrl : 0) | (modifiers & 2 ? kShift : 0) |
                          (modifiers & 4 ? kAlt : 0);
    std::optional<UnitSlot> focused = FocusedUnit(*this);
    auto keeps = [&] {
        if (!focused || !focused->Live()) return false;
        auto wants = UnitEntryOf<WantsKeyFn>(focused->type, UnitEntry::WantsKey);
        return wants && wants(focused->object, code) != 0;
    };
    switch (code) {
    case VK_TAB:
    case VK_TAB | kShift:
        if (keeps()) return false;
        MoveFocus(code == VK_TAB);
        return true;
    case VK_RETURN:
        return !keeps() && PressEnter(focused ? &*focused : nullptr);
    case VK_ESCAPE:
        if (!props.escCloses || keeps()) return false;
        SendMessageA(hwnd, WM_CLOSE, 0, 0); // the window may be gone afterwards
        return true;
    case VK_F1:
        if (!props.f1Help || keeps()) return false;
        OpenHelp();
        return true;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        if (!focused || !(focused->typeFlags & TypeFlag::RadioKind) || keeps()) return false;
        return MoveRadio(*focused, code == VK_RIGHT || code == VK_DOWN);
    default:
        break;
    }
    if (modifiers == 4 && ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')))
        return Mnemonic(key);
    return false;
}

bool WindowUnit::PreTranslate(MSG& msg) {
    if (designMode) return false;
    const UINT m = msg.message;
    if (m >= WM_KEYFIRST && m <= WM_KEYLAST && !IsWindowEnabled(msg.hwnd)) return false;
    Unit* target = Unit::FromHandle(msg.hwnd);
    if (target && target != this && target->windowId != windowId) target = nullptr;

    if (m == WM_LBUTTONDOWN && props.dragMoves && target) {
        const LPARAM at = MAKELPARAM(msg.pt.x, msg.pt.y);
        if (target == this) {
            // The press itself goes on to normal dispatch, without event -1.
            PostMessageA(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, at);
            return false;
        }
        for (const UnitSlot& u : WindowUnits(windowId))
            if (u.object == target && (u.typeFlags & TypeFlag::DragsWindow)) {
                PostMessageA(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, at);
                return true;
            }
    }
    if ((m == WM_KEYDOWN || m == WM_SYSKEYDOWN) && HandleKey(msg)) return true;
    return target && RaiseCommonInputEvent(*target, msg);
}

} // namespace st

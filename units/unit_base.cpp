// The unit base: window ownership and subclassing, events, values.
#include "st/unit_base.h"

#include <cstring>
#include <unordered_map>
#include <utility>

namespace st {

uint64_t CallRuntime(int32_t code, uint32_t value1, uint32_t value2) {
    RuntimeCallbackFn callback = CoreRuntimeCallback();
    return callback ? callback(code, value1, value2) : 0;
}

// --- Property blocks ---------------------------------------------------------------

bool TransferVersion(PropertyIO& io, int32_t current, int32_t& version) {
    if (!io.Reading()) {
        version = current;
        io.I32(version);
        return true;
    }
    io.I32(version);
    return !io.Failed() && version >= 0 && version <= current;
}

bool RegisterUnitClass(const char* name, UINT classStyle, HCURSOR (*cursor)()) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA known;
    if (GetClassInfoA(instance, name, &known)) return true;
    WNDCLASSA wc{};
    wc.style = classStyle;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hCursor = cursor ? cursor() : LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = name;
    return RegisterClassA(&wc) != 0;
}

HGLOBAL NewGlobalBlock(const void* bytes, size_t length) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, length);
    if (!block) return nullptr;
    if (length != 0) {
        void* p = GlobalLock(block);
        if (!p) {
            GlobalFree(block);
            return nullptr;
        }
        std::memcpy(p, bytes, length);
        GlobalUnlock(block);
    }
    return block;
}

// --- Values ------------------------------------------------------------------------------

COLORREF ResolveColour(uint32_t colour) {
    return colour == DefaultColour ? GetSysColor(COLOR_BTNFACE) : colour;
}

HFONT MakeUnitFont(const std::vector<uint8_t>& description) {
    if (description.size() != static_cast<size_t>(FontDescriptionSize)) return nullptr;
    LOGFONTA font;
    std::memcpy(&font, description.data(), sizeof font);
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = 0;
    font.lfClipPrecision = 0;
    font.lfQuality = PROOF_QUALITY;
    font.lfPitchAndFamily = 0;
    font.lfFaceName[LF_FACESIZE - 1] = 0; // a stored name may lack its end
    return CreateFontIndirectA(&font);
}

BorderBits BorderStyleBits(int32_t style) {
    static const DWORD kExtended[6] = {0,
                                       WS_EX_CLIENTEDGE,
                                       WS_EX_DLGMODALFRAME,
                                       WS_EX_STATICEDGE,
                                       WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME,
                                       0};
    style = Clamp(style, 0, 5);
    return {style == 5 ? static_cast<DWORD>(WS_BORDER) : 0, kExtended[style]};
}

void ApplyBorderStyle(HWND window, int32_t style) {
    const BorderBits bits = BorderStyleBits(style);
    const LONG oldEx = GetWindowLongA(window, GWL_EXSTYLE);
    const LONG oldPlain = GetWindowLongA(window, GWL_STYLE);
    const LONG ex = (oldEx & ~(WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE)) |
                    static_cast<LONG>(bits.exStyle);
    const LONG plain = (oldPlain & ~WS_BORDER) | static_cast<LONG>(bits.style);
    // A frame change resizes the client area, and a multi-line edit control
    // lays its text out again each time (under Wine it keeps some of that
    // layout for good): no change, no new frame.
    if (ex == oldEx && plain == oldPlain) return;
    SetWindowLongA(window, GWL_EXSTYLE, ex);
    SetWindowLongA(window, GWL_STYLE, plain);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Events ------------------------------------------------------------------------------

std::optional<uint32_t> RaiseUnitEvent(uint32_t window, uint32_t unit, int32_t event,
                                       std::initializer_list<uint32_t> args) {
    EventRecord record{};
    record.window = window;
    record.unit = unit;
    record.event = event;
    for (uint32_t a : args) {
        if (record.argCount == 5) break;
        record.args[record.argCount++] = a;
    }
    CallRuntime(CallbackCode::RaiseEvent, reinterpret_cast<uint32_t>(&record), 0);
    if (!record.hasResult) return std::nullopt;
    return record.result;
}

uint32_t ModifierState(uint32_t key) {
    uint32_t state = 0;
    if (key != VK_CONTROL && GetKeyState(VK_CONTROL) < 0) state |= 1;
    if (key != VK_SHIFT && GetKeyState(VK_SHIFT) < 0) state |= 2;
    if (key != VK_MENU && GetKeyState(VK_MENU) < 0) state |= 4;
    return state;
}

uint32_t FoldKeypad(uint32_t key) {
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) return '0' + (key - VK_NUMPAD0);
    switch (key) {
    case VK_SUBTRACT:
        return 189;
    case VK_DECIMAL:
        return 190;
    case VK_DIVIDE:
        return 191;
    default:
        return key;
    }
}

bool RaiseCommonInputEvent(Unit& unit, MSG& msg) {
    int32_t event;
    uint32_t a = 0, b = 0, c = 0, count = 3;
    auto mouse = [&](int32_t e) {
        event = e;
        a = LOWORD(msg.lParam);
        b = HIWORD(msg.lParam);
        c = ModifierState();
    };
    switch (msg.message) {
    case WM_LBUTTONDOWN:
        mouse(CommonEvent::LeftDown);
        break;
    case WM_LBUTTONUP:
        mouse(CommonEvent::LeftUp);
        break;
    case WM_LBUTTONDBLCLK:
        mouse(CommonEvent::LeftDoubleClick);
        break;
    case WM_RBUTTONDOWN:
        mouse(CommonEvent::RightDown);
        break;
    case WM_RBUTTONUP:
        mouse(CommonEvent::RightUp);
        break;
    case WM_MOUSEMOVE:
        mouse(CommonEvent::MouseMove);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        event = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN ? CommonEvent::KeyDown
                                                                          : CommonEvent::KeyUp;
        a = FoldKeypad(static_cast<uint32_t>(msg.wParam));
        b = ModifierState(static_cast<uint32_t>(msg.wParam));
        count = 2;
        break;
    case WM_CHAR:
        event = CommonEvent::Char;
        a = static_cast<uint32_t>(msg.wParam);
        count = 1;
        break;
    case WM_MOUSEWHEEL:
        event = CommonEvent::Wheel;
        a = static_cast<uint32_t>(static_cast<int16_t>(HIWORD(msg.wParam)) / 120);
        b = ModifierState();
        count = 2;
        break;
    default:
        return false;
    }
    HWND target = msg.hwnd;
    std::optional<uint32_t> answer = count == 1   ? unit.RaiseEvent(event, {a})
                                     : count == 2 ? unit.RaiseEvent(event, {a, b})
                                                  : unit.RaiseEvent(event, {a, b, c});
    // The handler may have destroyed the window, and the unit with it.
    if (!IsWindow(target)) return true;
    if (!answer) return false;
    if (event == CommonEvent::Char) {
        if (*answer == 0) return true;
        msg.wParam = *answer;
        return false;
    }
    return *answer == 0;
}

// --- The unit object ------------------------------------------------------------------

namespace {

std::unordered_map<HWND, Unit*>& Units() {
    static std::unordered_map<HWND, Unit*> units;
    return units;
}

// Controls adopted by a unit (AdoptControl) -> that unit.
std::unordered_map<HWND, Unit*>& Adopted() {
    static std::unordered_map<HWND, Unit*> adopted;
    return adopted;
}

Unit* pendingUnit = nullptr; // the unit whose window is being created

} // namespace

Unit::~Unit() {
    if (HWND window = std::exchange(hwnd, nullptr)) {
        // Released while its window still lives (the runtime takes a
        // window's units down with it): the window goes too, without
        // reaching this object again.
        Units().erase(window);
        if (IsWindow(window)) {
            if (original_)
                SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
            DestroyWindow(window);
        }
    }
}

Unit* Unit::FromHandle(HWND window) {
    auto it = Units().find(window);
    return it == Units().end() ? nullptr : it->second;
}

Unit* Unit::NotificationOwner(HWND control) {
    if (Unit* own = FromHandle(control)) return own;
    auto it = Adopted().find(control);
    return it == Adopted().end() ? nullptr : it->second;
}

void Unit::AdoptControl(HWND control) {
    if (control) Adopted()[control] = this;
}

void Unit::ReleaseControl(HWND control) {
    auto it = Adopted().find(control);
    if (it != Adopted().end() && it->second == this) Adopted().erase(it);
}

void Unit::Attach(HWND window) {
    hwnd = window;
    Units()[window] = this;
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
}

// Subclasses the first window created while a unit waits for its own, before
// that window sees any message.
LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && pendingUnit) {
        Unit* unit = pendingUnit;
        pendingUnit = nullptr;
        unit->Attach(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool Unit::CreateUnitWindow(DWORD exStyle, const char* className, const char* text, DWORD style,
                            int32_t left, int32_t top, int32_t width, int32_t height, HWND parent,
                            HMENU menuOrId) {
    HHOOK hook = SetWindowsHookExA(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
    Unit* outer = pendingUnit;
    pendingUnit = this;
    creating_ = true;
    HWND window = CreateWindowExA(exStyle, className, text, style, left, top, width, height, parent,
                                  menuOrId, GetModuleHandleA(nullptr), nullptr);
    creating_ = false;
    pendingUnit = outer;
    if (hook) UnhookWindowsHookEx(hook);
    if (window && !hwnd) Attach(window); // no hook: subclass now
    if (!window) {
        // A window that died inside CreateWindowEx already left the map.
        hwnd = nullptr;
        return false;
    }
    return true;
}

LRESULT CALLBACK Unit::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Unit* unit = FromHandle(window);
    if (!unit) return DefWindowProcA(window, message, wParam, lParam);
    if (message != WM_NCDESTROY) return unit->WindowProc(message, wParam, lParam);
    LRESULT result = unit->DefaultProc(message, wParam, lParam);
    Units().erase(window);
    std::erase_if(Adopted(), [unit](const auto& entry) { return entry.second == unit; });
    unit->hwnd = nullptr;
    // A window that dies while CreateUnitWindow still runs belongs to the
    // creator, who deletes the object itself.
    if (!unit->creating_) unit->OnFinalMessage();
    return result;
}

LRESULT Unit::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = hwnd;
    if (!window) return 0;
    return original_ ? CallWindowProcA(original_, window, message, wParam, lParam)
                     : DefWindowProcA(window, message, wParam, lParam);
}

void Unit::OnFinalMessage() {
    CallRuntime(CallbackCode::UnitDestroyed, windowId, unitId);
}

static HWND ReflectionTarget(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
        return reinterpret_cast<HWND>(lParam);
    case WM_NOTIFY:
        return lParam ? reinterpret_cast<const NMHDR*>(lParam)->hwndFrom : nullptr;
    case WM_DRAWITEM:
        return lParam ? reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_DELETEITEM:
        return lParam ? reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_COMPAREITEM:
        return lParam ? reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    default:
        (void)wParam;
        return nullptr;
    }
}

LRESULT Unit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (HWND from = ReflectionTarget(message, wParam, lParam)) {
        Unit* sender = from != hwnd ? NotificationOwner(from) : nullptr;
        LRESULT result = 0;
        if (sender && sender->OnReflected(message, wParam, lParam, result)) return result;
    }
    if ((message == WM_SETFOCUS || message == WM_KILLFOCUS) && focusEventsFromMessages_) {
        HWND window = hwnd;
        LRESULT result = DefaultProc(message, wParam, lParam);
        if (IsWindow(window))
            RaiseEvent(message == WM_SETFOCUS ? CommonEvent::FocusReceived
                                              : CommonEvent::FocusLost);
        return result;
    }
    return DefaultProc(message, wParam, lParam);
}

HGLOBAL SaveUnitProperties(UnitBase* unit, uint32_t* length) {
    Unit* own = dynamic_cast<Unit*>(unit);
    if (length) *length = 0;
    if (!own) return nullptr;
    std::vector<uint8_t> block = own->SaveBlock();
    HGLOBAL memory = NewGlobalBlock(block.data(), block.size());
    if (memory && length) *length = static_cast<uint32_t>(block.size());
    return memory;
}

void Unit::ApplyFont(const std::vector<uint8_t>& description) {
    HFONT made = MakeUnitFont(description);
    HFONT use = made ? made : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (hwnd) SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(use), TRUE);
    font.reset(made);
}

void Unit::MakeBrush(uint32_t colour) {
    brush.reset(CreateSolidBrush(ResolveColour(colour)));
}

} // namespace st

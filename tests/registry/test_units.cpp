#include "test_units.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "st/unit_base.h"

namespace testunits {

Log log;
int usedAfterRelease = 0;

namespace {

st::RuntimeCallbackFn callback = nullptr;

uint64_t Call(int32_t code, uint32_t a = 0, uint32_t b = 0) {
    return callback ? callback(code, a, b) : 0;
}

std::string Hex(uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "%08X", static_cast<unsigned>(v));
    return s;
}

class TestUnit : public st::UnitBase {
  public:
    TestProperties props;
    st::WindowLoadState loadState;
    bool isWindow = false;
    WNDPROC original = nullptr;

    bool PreTranslate(MSG& msg) override {
        if (msg.message != kSwallowed) return false;
        ++log.swallowed;
        log.swallowedTarget = msg.hwnd;
        return true;
    }
    bool IdleEvent(uint32_t milliseconds) override {
        st::EventRecord r{};
        r.window = windowId;
        r.unit = unitId;
        r.event = 7;
        r.argCount = 1;
        r.args[0] = milliseconds;
        Call(st::CallbackCode::RaiseEvent, reinterpret_cast<uint32_t>(&r));
        return r.hasResult && r.result != 0;
    }
    st::WindowLoadState* LoadState() override { return isWindow ? &loadState : nullptr; }

    uint32_t Probe() {
        st::EventRecord r{};
        r.window = windowId;
        r.unit = unitId;
        r.event = kProbeEvent;
        return static_cast<uint32_t>(
            Call(st::CallbackCode::RaiseEvent, reinterpret_cast<uint32_t>(&r)));
    }
};

// Both window kinds end the same way: the runtime hears of it and releases the object.
LRESULT Common(TestUnit* unit, HWND w, UINT m, WPARAM wp, LPARAM lp, bool* handled) {
    *handled = true;
    switch (m) {
    case 0x806F:
        log.steps.push_back("806F " + Hex(unit->unitId));
        log.probeAnswers.push_back(unit->Probe());
        return 0;
    case 0x8004:
        log.steps.push_back("8004");
        log.probeAnswers.push_back(unit->Probe());
        return 0;
    case 0x8076:
        log.steps.push_back("8076 " + Hex(unit->unitId));
        return 0;
    case WM_NCDESTROY: {
        LRESULT result = unit->original ? CallWindowProcA(unit->original, w, m, wp, lp)
                                        : DefWindowProcA(w, m, wp, lp);
        log.steps.push_back("destroyed " + Hex(unit->unitId));
        bool isWindow = unit->isWindow;
        Call(st::CallbackCode::UnitDestroyed, unit->windowId, unit->unitId);
        if (isWindow && Call(st::CallbackCode::LoopEntered) &&
            Call(st::CallbackCode::LoadedWindowCount) == 0)
            PostQuitMessage(0);
        return result;
    }
    default:
        *handled = false;
        return 0;
    }
}

LRESULT CALLBACK WindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    auto* unit = reinterpret_cast<TestUnit*>(GetWindowLongPtrA(w, GWLP_USERDATA));
    bool handled = false;
    if (unit) {
        LRESULT r = Common(unit, w, m, wp, lp, &handled);
        if (handled) return r;
    }
    return DefWindowProcA(w, m, wp, lp);
}

LRESULT CALLBACK ChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    auto* unit = reinterpret_cast<TestUnit*>(GetWindowLongPtrA(w, GWLP_USERDATA));
    bool handled = false;
    LRESULT r = Common(unit, w, m, wp, lp, &handled);
    return handled ? r : CallWindowProcA(unit->original, w, m, wp, lp);
}

st::UnitBase* Create(uint32_t type, const void* block, int32_t length, uint32_t style, HWND parent,
                     uint32_t controlId, HMENU menu, int32_t left, int32_t top, int32_t width,
                     int32_t height, uint32_t windowId, uint32_t unitId) {
    st::OwnedMenu ownMenu(menu); // the window's once it is made, as the entry contract says
    auto* unit = new TestUnit;
    if (length >= 1) {
        st::PropertyReader reader(block, length);
        st::PropertyIO io(reader);
        if (!unit->props.Transfer(io)) {
            delete unit;
            return nullptr;
        }
    }
    unit->windowId = windowId;
    unit->unitId = unitId;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (type == WindowType) {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc{};
            wc.style = CS_DBLCLKS;
            wc.lpfnWndProc = WindowProc;
            wc.hInstance = instance;
            wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = "StTestWindow";
            registered = RegisterClassA(&wc) != 0;
        }
        unit->isWindow = true;
        unit->hwnd = CreateWindowExA(0, "StTestWindow", unit->props.text.c_str(),
                                     style | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, left, top,
                                     width, height, parent, menu, instance, nullptr);
        if (unit->hwnd)
            SetWindowLongPtrA(unit->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(unit));
    } else if (type != HiddenType) {
        unit->hwnd = CreateWindowExA(0, "STATIC", unit->props.text.c_str(),
                                     style | WS_CHILD | WS_CLIPSIBLINGS, left, top, width, height,
                                     parent, reinterpret_cast<HMENU>(controlId), instance, nullptr);
        if (unit->hwnd) {
            SetWindowLongPtrA(unit->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(unit));
            unit->original = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(unit->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ChildProc)));
        }
    }
    if (type != HiddenType && !unit->hwnd) {
        delete unit;
        return nullptr;
    }
    log.creations.push_back(
        {unitId, controlId, style, parent, left, top, width, height, unit->Probe()});
    ownMenu.release();
    return unit;
}

template <uint32_t Type>
st::UnitBase* CreateOf(const void* block, int32_t length, uint32_t style, HWND parent,
                       uint32_t controlId, HMENU menu, int32_t left, int32_t top, int32_t width,
                       int32_t height, uint32_t windowId, uint32_t unitId, HWND, int32_t) {
    return Create(Type, block, length, style, parent, controlId, menu, left, top, width, height,
                  windowId, unitId);
}

// The stored field behind a type property: a number or a byte string.
int32_t* NumberField(TestProperties& p, int32_t index) {
    switch (index + 8) {
    case Prop::Number:
        return &p.number;
    case Prop::Logical:
        return &p.logical;
    case Prop::Style:
        return &p.style;
    default:
        return nullptr;
    }
}
std::vector<uint8_t>* BytesField(TestProperties& p, int32_t index) {
    return index + 8 == Prop::Font ? &p.font : index + 8 == Prop::Picture ? &p.picture : nullptr;
}

int32_t SetProperty(st::UnitBase* base, int32_t index, const uint32_t* value, uint32_t* out) {
    *out = 0;
    TestUnit* unit = static_cast<TestUnit*>(base);
    log.lastSet = {value[0], value[1]};
    TestProperties& p = unit->props;
    if (int32_t* n = NumberField(p, index)) {
        *n = static_cast<int32_t>(value[0]);
    } else if (std::vector<uint8_t>* b = BytesField(p, index)) {
        const uint8_t* from = reinterpret_cast<const uint8_t*>(value[0]);
        b->assign(from, from + value[1]);
    } else if (index + 8 == Prop::Text) {
        p.text = reinterpret_cast<const char*>(value[0]);
        if (unit->hwnd) SetWindowTextA(unit->hwnd, p.text.c_str());
    }
    return index + 8 == Prop::Style ? 1 : 0; // a new style needs a new control
}

int32_t GetProperty(st::UnitBase* base, int32_t index, uint32_t* value) {
    TestProperties& p = static_cast<TestUnit*>(base)->props;
    if (int32_t* n = NumberField(p, index)) {
        value[0] = static_cast<uint32_t>(*n);
    } else if (std::vector<uint8_t>* b = BytesField(p, index)) {
        value[0] = b->empty() ? 0 : reinterpret_cast<uint32_t>(b->data());
        value[1] = static_cast<uint32_t>(b->size());
    } else if (index + 8 == Prop::Text) {
        value[0] = reinterpret_cast<uint32_t>(p.text.c_str());
    } else {
        return 0;
    }
    return 1;
}

HGLOBAL SaveProperties(st::UnitBase* unit, uint32_t* length) {
    std::vector<uint8_t> block = PropertyBlock(static_cast<TestUnit*>(unit)->props);
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, block.size());
    if (!g) return nullptr;
    std::memcpy(GlobalLock(g), block.data(), block.size());
    GlobalUnlock(g);
    *length = static_cast<uint32_t>(block.size());
    return g;
}

template <uint32_t Type> void* Interface(int32_t entry) {
    switch (entry) {
    case st::UnitEntry::CreateUnit:
        return Type == BrokenType ? nullptr : reinterpret_cast<void*>(&CreateOf<Type>);
    case st::UnitEntry::SetUnitProperty:
        return reinterpret_cast<void*>(&SetProperty);
    case st::UnitEntry::SaveUnitProperties:
        return reinterpret_cast<void*>(&SaveProperties);
    case st::UnitEntry::GetUnitProperty:
        return reinterpret_cast<void*>(&GetProperty);
    default:
        return nullptr;
    }
}

// --- The label and the radio button -------------------------------------------------

std::set<const st::Unit*>& LiveSet() {
    static std::set<const st::Unit*> live;
    return live;
}

class ControlUnit : public st::Unit {
  public:
    TestProperties props;
    ControlUnit() { LiveSet().insert(this); }
    ~ControlUnit() override { LiveSet().erase(this); }

    bool OnReflected(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        // BN_CLICKED and STN_CLICKED are both 0.
        if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
        RaiseEvent(0);
        // As a real control goes on after its click event: its object must still be there.
        if (!LiveSet().count(this)) ++usedAfterRelease;
        result = 0;
        return true;
    }
    std::vector<uint8_t> SaveBlock() override { return PropertyBlock(props); }
};

template <uint32_t Type>
st::UnitBase* CreateControl(const void* block, int32_t length, uint32_t style, HWND parent,
                            uint32_t controlId, HMENU, int32_t left, int32_t top, int32_t width,
                            int32_t height, uint32_t windowId, uint32_t unitId, HWND, int32_t) {
    auto* unit = new ControlUnit;
    if (!st::ReadPropertyBlock(unit->props, block, length)) {
        delete unit;
        return nullptr;
    }
    unit->windowId = windowId;
    unit->unitId = unitId;
    const bool radio = Type == RadioType;
    const DWORD own = radio ? BS_RADIOBUTTON : SS_NOTIFY;
    if (!unit->CreateUnitWindow(0, radio ? "BUTTON" : "STATIC", unit->props.text.c_str(),
                                (style & ~WS_VISIBLE) | own | WS_CHILD | WS_CLIPSIBLINGS, left, top,
                                width, height, parent,
                                reinterpret_cast<HMENU>(static_cast<uintptr_t>(controlId)))) {
        delete unit;
        return nullptr;
    }
    unit->ApplyFont({});
    return unit;
}

template <uint32_t Type> void* ControlInterface(int32_t entry) {
    switch (entry) {
    case st::UnitEntry::CreateUnit:
        return reinterpret_cast<void*>(static_cast<st::CreateUnitFn>(&CreateControl<Type>));
    case st::UnitEntry::SaveUnitProperties:
        return reinterpret_cast<void*>(
            static_cast<st::SaveUnitPropertiesFn>(&st::SaveUnitProperties));
    default:
        return nullptr;
    }
}

constexpr uint16_t kKinds[14] = {
    st::PropertyKind::Integer, st::PropertyKind::Integer,      st::PropertyKind::Integer,
    st::PropertyKind::Integer, st::PropertyKind::Text,         st::PropertyKind::Logical,
    st::PropertyKind::Logical, st::PropertyKind::MousePointer, st::PropertyKind::Integer,
    st::PropertyKind::Text,    st::PropertyKind::Logical,      st::PropertyKind::Font,
    st::PropertyKind::Picture, st::PropertyKind::Integer,
};

struct PropertyTable {
    st::PropertyEntry entries[14];
    PropertyTable() {
        for (int i = 0; i < 14; ++i)
            entries[i] = {"",     "", "", kKinds[i], static_cast<uint16_t>(i < 8 ? 0xE000 : 0x8000),
                          nullptr};
    }
};
const PropertyTable kProperties;

const st::TypeRecord kTypes[7] = {
    {"测试窗口", "TestWindow", "", 0, nullptr, 0x40, nullptr, 0, nullptr, 14, kProperties.entries,
     &Interface<WindowType>, 0, nullptr},
    {"测试标签", "TestStatic", "", 0, nullptr, 0x40, nullptr, 0, nullptr, 14, kProperties.entries,
     &Interface<StaticType>, 0, nullptr},
    {"测试隐藏", "TestHidden", "", 0, nullptr, 0x8040, nullptr, 0, nullptr, 14, kProperties.entries,
     &Interface<HiddenType>, 0, nullptr},
    {"测试无事件", "TestQuiet", "", 0, nullptr, 0, nullptr, 0, nullptr, 14, kProperties.entries,
     &Interface<QuietType>, 0, nullptr},
    {"测试失败", "TestBroken", "", 0, nullptr, 0x40, nullptr, 0, nullptr, 14, kProperties.entries,
     &Interface<BrokenType>, 0, nullptr},
    {"测试标签控件", "TestLabel", "", 0, nullptr, 0x80002040, nullptr, 0, nullptr, 8,
     kProperties.entries, &ControlInterface<LabelType>, 0, nullptr},
    {"测试单选框", "TestRadio", "", 0, nullptr, 0x80000440, nullptr, 0, nullptr, 8,
     kProperties.entries, &ControlInterface<RadioType>, 0, nullptr},
};

int32_t Notify(int32_t code, uint32_t value, uint32_t) {
    if (code != st::LibraryCode::SetCallback) return -1;
    callback = reinterpret_cast<st::RuntimeCallbackFn>(value);
    return 0;
}

} // namespace

bool TestProperties::Transfer(st::PropertyIO& io) {
    int32_t version = 1;
    io.I32(version);
    if (io.Reading() && (version < 0 || version > 1)) return false;
    io.I32(number);
    io.Text(text);
    io.I32(logical);
    io.Bytes(font);
    io.Bytes(picture);
    io.I32(style);
    return !io.Failed();
}

TestProperties* PropertiesOf(st::UnitBase* unit) {
    return unit ? &static_cast<TestUnit*>(unit)->props : nullptr;
}

std::vector<uint8_t> PropertyBlock(const TestProperties& p) {
    st::PropertyWriter writer;
    st::PropertyIO io(writer);
    TestProperties copy = p;
    copy.Transfer(io);
    return writer.Take();
}

std::vector<uint8_t> CaptionBlock(const std::string& caption) {
    TestProperties p;
    p.text = caption;
    return PropertyBlock(p);
}

int LiveControls() {
    return static_cast<int>(LiveSet().size());
}

const st::LibraryRecord Library = {"test units", "test units", 7, kTypes, 0, nullptr, Notify};

} // namespace testunits

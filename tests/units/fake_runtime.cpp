#include "fake_runtime.h"

#include <cstring>

#include "test_unit_types.h"

namespace fake {

Runtime* Runtime::current_ = nullptr;

std::vector<uint8_t> MakeUnitRecord(const RecordParts& parts) {
    std::vector<uint8_t> r;
    auto raw = [&](const void* p, size_t n) {
        size_t at = r.size();
        r.resize(at + n);
        std::memcpy(r.data() + at, p, n);
    };
    auto word = [&](uint32_t v) { raw(&v, 4); };
    auto text = [&](const char* s) { raw(s, std::strlen(s) + 1); };
    word(parts.type);
    word(0); // own event bindings
    for (int i = 0; i < 4; ++i)
        word(0);
    text(parts.type == st::UnitType::Window ? "" : "组件");
    text("");
    word(0); // object slot
    word(static_cast<uint32_t>(parts.left));
    word(static_cast<uint32_t>(parts.top));
    word(static_cast<uint32_t>(parts.width));
    word(static_cast<uint32_t>(parts.height));
    word(0); // cursor slot
    word(parts.parent);
    word(0); // no children
    word(4);
    word(0); // mouse pointer: the default
    text("");
    word(0);
    word(parts.flags);
    word(parts.tabOrder);
    word(0); // no event bindings
    for (int i = 0; i < 5; ++i)
        word(0);
    if (!parts.block.empty()) raw(parts.block.data(), parts.block.size());
    return r;
}

Runtime::Runtime() {
    current_ = this;
    st::CoreLibrary.notify(st::LibraryCode::SetCallback, reinterpret_cast<uint32_t>(&Callback), 0);
    HINSTANCE self = GetModuleHandleA(nullptr);
    defaultBig = static_cast<HICON>(LoadImageA(self, "DEFAULT_ICON", IMAGE_ICON, 32, 32, 0));
    defaultSmall = static_cast<HICON>(LoadImageA(self, "DEFAULT_ICON", IMAGE_ICON, 16, 16, 0));
}

Runtime::~Runtime() {
    loopEntered = false;
    handlers_.clear();
    for (Window& w : windows_)
        if (HWND h = Handle(w.id, 0)) DestroyWindow(h);
    Pump();
    MSG quit; // nothing of this run may reach the next test
    while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    st::CoreLibrary.notify(st::LibraryCode::SetCallback, 0, 0);
    current_ = nullptr;
    if (defaultBig) DestroyIcon(defaultBig);
    if (defaultSmall) DestroyIcon(defaultSmall);
}

void Runtime::AddWindow(uint32_t window, std::vector<RecordParts> records) {
    Window w{window, {}};
    for (const RecordParts& parts : records)
        w.units.push_back({parts.id, MakeUnitRecord(parts)});
    windows_.push_back(std::move(w));
}

Runtime::Window* Runtime::FindWindow(uint32_t id) {
    for (Window& w : windows_)
        if (w.id == id) return &w;
    return nullptr;
}

uint32_t Runtime::WindowIdAt(int32_t index) {
    return index >= 0 && index < WindowCount() ? windows_[static_cast<size_t>(index)].id : 0;
}

int32_t Runtime::UnitCount(uint32_t window) {
    Window* w = FindWindow(window);
    return w ? static_cast<int32_t>(w->units.size()) : -1;
}

bool Runtime::UnitAt(uint32_t window, int32_t index, st::UnitRecordView& out) {
    Window* w = FindWindow(window);
    if (!w || index < 0 || index >= static_cast<int32_t>(w->units.size())) return false;
    std::vector<uint8_t>& r = w->units[static_cast<size_t>(index)].record;
    return out.Parse(r.data(), static_cast<uint32_t>(r.size()));
}

bool Runtime::FindUnit(uint32_t window, uint32_t unit, st::UnitRecordView& out) {
    Window* w = FindWindow(window);
    if (!w) return false;
    if (unit == 0) return UnitAt(window, 0, out);
    for (size_t i = 0; i < w->units.size(); ++i)
        if (w->units[i].id == unit) return UnitAt(window, static_cast<int32_t>(i), out);
    return false;
}

st::UnitBase* Runtime::Object(uint32_t window, uint32_t unit) {
    st::UnitRecordView v;
    if (!FindUnit(window, unit, v)) return nullptr;
    uint32_t object;
    std::memcpy(&object, v.objectSlot, 4);
    return reinterpret_cast<st::UnitBase*>(object);
}

static const st::TypeRecord* TypeOf(uint32_t type) {
    const st::LibraryRecord* library = (type >> 16) == 1   ? &st::CoreLibrary
                                       : (type >> 16) == 2 ? &testunits::TestUnitLibrary
                                                           : nullptr;
    uint32_t n = type & 0xFFFF;
    if (!library || n == 0 || n > static_cast<uint32_t>(library->typeCount)) return nullptr;
    const st::TypeRecord* record = &library->types[n - 1];
    return record->unitInterface ? record : nullptr;
}

st::WindowUnit* Runtime::Load(uint32_t window, bool show) {
    Window* w = FindWindow(window);
    if (!w) return nullptr;
    auto create = [&](size_t i, HWND parent, uint32_t controlId) -> st::UnitBase* {
        st::UnitRecordView v;
        if (!UnitAt(window, static_cast<int32_t>(i), v)) return nullptr;
        auto fn = st::UnitEntryOf<st::CreateUnitFn>(TypeOf(v.type), st::UnitEntry::CreateUnit);
        if (!fn) return nullptr;
        uint32_t style = 0;
        if (v.Flags() & st::UnitFlag::Disabled) style |= WS_DISABLED;
        if (v.Flags() & st::UnitFlag::TabStop) style |= WS_TABSTOP;
        st::UnitBase* unit =
            fn(v.propertyBlock, static_cast<int32_t>(v.propertyLength), style, parent, controlId,
               nullptr, v.geometry[0], v.geometry[1], v.geometry[2], v.geometry[3], window,
               i == 0 ? 0 : w->units[i].id, nullptr, 0);
        uint32_t object = reinterpret_cast<uint32_t>(unit);
        std::memcpy(v.objectSlot, &object, 4);
        return unit;
    };
    auto* self = dynamic_cast<st::WindowUnit*>(create(0, nullptr, 0));
    if (!self) return nullptr;
    for (size_t i = w->units.size(); i-- > 1;)
        if (!create(i, self->hwnd, static_cast<uint32_t>(100 + 10 * (w->units.size() - 1 - i))))
            return nullptr;
    SendMessageA(self->hwnd, st::WM_UNITS_CREATED, 0, 0);
    for (size_t i = 1; i < w->units.size(); ++i) {
        st::UnitRecordView v;
        UnitAt(window, static_cast<int32_t>(i), v);
        const st::TypeRecord* type = TypeOf(v.type);
        bool visible = (v.Flags() & st::UnitFlag::Visible) &&
                       !(type && (type->flags & st::TypeFlag::Windowless));
        if (st::UnitBase* u = Object(window, w->units[i].id))
            ShowWindow(u->hwnd, visible ? SW_SHOWNA : SW_HIDE);
    }
    if (show) {
        ShowWindow(self->hwnd, SW_SHOW);
        UpdateWindow(self->hwnd);
    }
    Pump();
    return self;
}

void Runtime::Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam)); // leave it for the test to see
            return;
        }
        bool consumed = false;
        for (Window& w : windows_) {
            st::UnitBase* own = Object(w.id, 0);
            if (own && own->hwnd && (msg.hwnd == own->hwnd || IsChild(own->hwnd, msg.hwnd))) {
                consumed = own->PreTranslate(msg);
                break;
            }
        }
        if (!consumed) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

int32_t Runtime::Count(uint32_t unit, int32_t event) const {
    int32_t n = 0;
    for (const Event& e : events)
        n += e.unit == unit && e.event == event;
    return n;
}

Event Runtime::Last(uint32_t unit, int32_t event) const {
    for (size_t i = events.size(); i-- > 0;)
        if (events[i].unit == unit && events[i].event == event) return events[i];
    return Event{0, 0, 0, {}};
}

uint64_t Runtime::Callback(int32_t code, uint32_t value1, uint32_t value2) {
    return current_ ? current_->Answer(code, value1, value2) : 0;
}

uint64_t Runtime::Answer(int32_t code, uint32_t value1, uint32_t value2) {
    (void)value2;
    switch (code) {
    case st::CallbackCode::DefaultIcons:
        return reinterpret_cast<uint32_t>(defaultBig) |
               static_cast<uint64_t>(reinterpret_cast<uint32_t>(defaultSmall)) << 32;
    case st::CallbackCode::Registry:
        return reinterpret_cast<uint32_t>(static_cast<st::TemplateRegistry*>(this));
    case st::CallbackCode::TypeRecordOf:
        return reinterpret_cast<uint32_t>(TypeOf(value1));
    case st::CallbackCode::UnitDestroyed: {
        destroyed.push_back({value1, value2});
        st::UnitRecordView v;
        if (FindUnit(value1, value2, v)) std::memset(v.objectSlot, 0, 4);
        return 0;
    }
    case st::CallbackCode::RaiseEvent: {
        auto* record = reinterpret_cast<st::EventRecord*>(value1);
        Event e{record->window, record->unit, record->event,
                std::vector<uint32_t>(record->args, record->args + record->argCount)};
        events.push_back(e);
        auto it = handlers_.find({e.unit, e.event});
        if (it == handlers_.end()) return 0;
        Handler handler = it->second; // the handler may replace itself
        if (std::optional<uint32_t> answer = handler(e)) {
            record->hasResult = 1;
            record->result = *answer;
        }
        return 1;
    }
    case st::CallbackCode::FirstBuildWord:
        return buildWord;
    case st::CallbackCode::LoopEntered:
        return loopEntered;
    case st::CallbackCode::LoadedWindowCount: {
        uint32_t n = 0;
        for (Window& w : windows_)
            n += Object(w.id, 0) != nullptr;
        return n;
    }
    case st::CallbackCode::MessageWindow:
        return reinterpret_cast<uint32_t>(messageWindow);
    case st::CallbackCode::ProgramFileName:
        return reinterpret_cast<uint32_t>("units_window_test.exe");
    default:
        return 0;
    }
}

void HoldKeys(std::initializer_list<int> keys) {
    BYTE state[256] = {};
    for (int k : keys)
        state[k] = 0x80;
    SetKeyboardState(state);
}

void ReleaseKeys() {
    BYTE state[256] = {};
    SetKeyboardState(state);
}

} // namespace fake

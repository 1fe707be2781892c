// The unit registry: finding windows and units, the runtime-callback
// requests, and the window unit's message and idle hooks.
#include "registry.h"

#include <algorithm>

namespace st {

UnitRegistry& Registry() {
    static UnitRegistry registry;
    return registry;
}

bool ViewUnit(WindowRecord& w, int32_t index, UnitRecordView& out) {
    if (index < 0 || static_cast<size_t>(index) >= w.units.ids.size()) return false;
    if (IsMenuItem(w.units.ids[index])) return false;
    std::vector<uint8_t>& r = w.units.records[index];
    return out.Parse(r.data(), static_cast<uint32_t>(r.size()));
}

bool UnitRegistry::LoadTemplates(const void* start, uint32_t length, const void* codeBase) {
    codeBase_ = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(codeBase));
    return ReadTemplateSegment(start, length, codeBase_, windows_);
}

void UnitRegistry::Clear() {
    windows_.clear();
    modal_ = 0;
    keys_.clear();
    idleDeclined_.clear();
}

WindowRecord* UnitRegistry::FindWindow(uint32_t id) {
    int32_t i = FindWindowIndex(windows_, id);
    return i < 0 ? nullptr : windows_[i].get();
}

int32_t UnitRegistry::FindUnitIndex(WindowRecord& w, uint32_t unit) {
    if (unit == 0) return w.units.ids.empty() ? -1 : 0;
    return w.units.Find(unit);
}

UnitBase* UnitRegistry::ObjectAt(WindowRecord& w, int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= w.units.ids.size()) return nullptr;
    if (IsMenuItem(w.units.ids[index])) {
        MenuItemView m;
        std::vector<uint8_t>& r = w.units.records[index];
        return m.Parse(r.data(), static_cast<uint32_t>(r.size())) ? m.Object() : nullptr;
    }
    UnitRecordView v;
    return ViewUnit(w, index, v) ? v.Object() : nullptr;
}

UnitBase* UnitRegistry::WindowObject(WindowRecord& w) {
    return ObjectAt(w, 0);
}

int32_t UnitRegistry::LoadedCount() {
    int32_t n = 0;
    for (auto& w : windows_)
        if (WindowObject(*w)) ++n;
    return n;
}

bool UnitRegistry::AnyWindowAlive() {
    for (auto& w : windows_)
        if (UnitBase* self = WindowObject(*w))
            if (self->hwnd && IsWindow(self->hwnd)) return true;
    return false;
}

// --- What units see ---------------------------------------------------------------

uint32_t UnitRegistry::WindowIdAt(int32_t index) {
    if (index < 0 || index >= WindowCount()) return 0;
    return windows_[index]->id;
}

int32_t UnitRegistry::UnitCount(uint32_t window) {
    WindowRecord* w = FindWindow(window);
    return w ? static_cast<int32_t>(w->units.ids.size()) : -1;
}

bool UnitRegistry::UnitAt(uint32_t window, int32_t index, UnitRecordView& out) {
    WindowRecord* w = FindWindow(window);
    return w && ViewUnit(*w, index, out);
}

bool UnitRegistry::FindUnit(uint32_t window, uint32_t unit, UnitRecordView& out) {
    WindowRecord* w = FindWindow(window);
    return w && ViewUnit(*w, FindUnitIndex(*w, unit), out);
}

// --- The window unit's hooks ---------------------------------------------------------

bool UnitRegistry::PreTranslate(MSG& msg) {
    if (!msg.hwnd) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    for (auto& w : windows_)
        if (UnitBase* self = WindowObject(*w))
            if (self->hwnd == root) return self->PreTranslate(msg);
    return false;
}

bool UnitRegistry::IdleEvents(uint32_t milliseconds, bool newPeriod) {
    if (newPeriod) idleDeclined_.clear();
    // By id: a handler may load or destroy windows.
    std::vector<uint32_t> ids;
    for (auto& w : windows_)
        ids.push_back(w->id);
    bool more = false;
    for (uint32_t id : ids) {
        if (std::find(idleDeclined_.begin(), idleDeclined_.end(), id) != idleDeclined_.end())
            continue;
        WindowRecord* w = FindWindow(id);
        UnitBase* self = w ? WindowObject(*w) : nullptr;
        if (!self) continue;
        if (self->IdleEvent(milliseconds))
            more = true;
        else
            idleDeclined_.push_back(id);
    }
    return more;
}

bool RuntimeState::PreTranslateMessage(MSG& msg) {
    return windows->PreTranslate(msg);
}

bool RuntimeState::OnIdle(long count) {
    if (count == 0) idleStart = GetTickCount();
    // The framework's own passes first; then the windows' idle events.
    if (count < 2) return Application::OnIdle(count) || windows->AnyWindowAlive();
    return windows->IdleEvents(GetTickCount() - idleStart, count == 2);
}

// --- The runtime callback's window and unit requests ---------------------------------

uint64_t UnitRegistry::Callback(int32_t code, uint32_t value1, uint32_t value2) {
    RuntimeState& rt = Runtime();
    switch (code) {
    case CallbackCode::Registry:
        return reinterpret_cast<uint32_t>(static_cast<TemplateRegistry*>(this));
    case CallbackCode::TypeRecordOf:
        return reinterpret_cast<uint32_t>(FindTypeRecord(value1));
    case CallbackCode::UnitWindowHandle: {
        UnitBase* unit = reinterpret_cast<UnitBase*>(value1);
        return unit ? reinterpret_cast<uint32_t>(unit->hwnd) : 0;
    }
    case CallbackCode::UnitDestroyed:
        UnitDestroyed(value1, value2);
        return 0;
    case CallbackCode::ValueToInteger:
        if (!value1) RuntimeError("欲转换数据类型不是数值", 0);
        return static_cast<uint32_t>(ValueToInteger(*reinterpret_cast<const TypedArg*>(value1)));
    case CallbackCode::FindUnitObject:
    case CallbackCode::GetUnitObject: {
        WindowRecord* w = FindWindow(value1);
        UnitBase* unit = nullptr;
        if (w && WindowObject(*w)) unit = ObjectAt(*w, FindUnitIndex(*w, value2));
        if (!unit && code == CallbackCode::GetUnitObject)
            RuntimeError("指定窗口或窗口组件不存在或尚未载入", 0);
        return reinterpret_cast<uint32_t>(unit);
    }
    case CallbackCode::RaiseEvent:
        return value1 ? RaiseEvent(*reinterpret_cast<EventRecord*>(value1)) : 0;
    case CallbackCode::RaiseTypedEvent:
        return value1 ? RaiseTypedEvent(*reinterpret_cast<TypedEventRecord*>(value1)) : 0;
    case CallbackCode::KeyLookup: {
        auto it = keys_.find(value1);
        return it == keys_.end() ? 0xFFFFFFFFu : it->second;
    }
    case CallbackCode::KeyStore:
        keys_.emplace(value1, static_cast<uint8_t>(value2));
        return 0;
    case CallbackCode::KeyRemove:
        return keys_.erase(value1) ? 1 : 0;
    case CallbackCode::WindowCount:
        return static_cast<uint32_t>(WindowCount());
    case CallbackCode::LoopEntered:
        return rt.loopEntered ? 1 : 0;
    case CallbackCode::LoadedWindowCount:
        return static_cast<uint32_t>(LoadedCount());
    case CallbackCode::MessageWindow:
        return reinterpret_cast<uint32_t>(rt.messageWindow);
    case CallbackCode::LoadingModally:
        return loadingModal_ ? 1 : 0;
    default:
        return 0;
    }
}

} // namespace st

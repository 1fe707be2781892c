#include "runtime_harness.h"

#include <doctest.h>

#include "registry.h"
#include "runtime_state.h"
#include "st/template_builder.h"
#include "test_units.h"

namespace harness {

namespace {

constexpr uint32_t kWindowUnit = 0x06010000; // unit 0's id in every test window

extern "C" void HarnessCodeBase() {}

// The test library's unit types are library 2, as their type ids say.
void StartOnce() {
    static const bool started = [] {
        st::Services.Notify(st::NotifyCode::StartRuntime);
        st::RuntimeState& rt = st::Runtime();
        rt.libraries.push_back(&testunits::Library);
        rt.libraryStates.push_back(0);
        return true;
    }();
    (void)started;
}

} // namespace

st::WindowDescription PlainWindow(uint32_t window, st::WindowProperties properties, int32_t width,
                                  int32_t height) {
    st::WindowDescription d;
    d.id = window;
    st::UnitDescription& self = d.Add(kWindowUnit, st::UnitType::Window);
    self.SetGeometry(20, 30, width, height).flags = st::UnitFlag::Visible;
    self.properties = st::WritePropertyBlock(properties);
    return d;
}

Runtime* Runtime::current_ = nullptr;

Runtime::Runtime() {
    StartOnce();
    current_ = this;
    st::Runtime().eventObserver = &Observe;
}

Runtime::~Runtime() {
    st::RuntimeState& rt = st::Runtime();
    rt.loopEntered = false;
    handlers_.clear();
    for (const st::WindowDescription& w : windows_)
        if (HWND h = Handle(w.id, 0)) DestroyWindow(h);
    Pump();
    MSG quit; // nothing of this run may reach the next test
    while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    rt.eventObserver = nullptr;
    st::Registry().Clear();
    current_ = nullptr;
}

void Runtime::AddWindow(st::WindowDescription window) {
    REQUIRE_MESSAGE(segment_.empty(), "windows are added before the first load");
    for (st::UnitDescription& u : window.units)
        u.events.clear();
    windows_.push_back(std::move(window));
}

st::WindowUnit* Runtime::Load(uint32_t window, bool show) {
    if (segment_.empty()) {
        // One segment with every window of the test, read once. Windows are
        // stored hidden: the load's own argument decides whether one shows.
        std::vector<st::WindowDescription> described = windows_;
        for (st::WindowDescription& d : described)
            if (!d.units.empty()) d.units[0].flags &= ~st::UnitFlag::Visible;
        st::Registry().Clear();
        segment_ = st::BuildTemplateSegment(described);
        st::LoadTemplateSegment(segment_.data(), static_cast<uint32_t>(segment_.size()),
                                reinterpret_cast<const void*>(&HarnessCodeBase));
    }
    if (!st::Runtime().windows->LoadWindow(window, show, false, nullptr)) return nullptr;
    Pump();
    return dynamic_cast<st::WindowUnit*>(Object(window, 0));
}

st::UnitBase* Runtime::Object(uint32_t window, uint32_t unit) {
    return reinterpret_cast<st::UnitBase*>(static_cast<uintptr_t>(
        st::RuntimeCallback(st::CallbackCode::FindUnitObject, window, unit)));
}

void Runtime::Pump() {
    st::ProcessPendingMessages();
}

void Runtime::SetLoopEntered(bool entered) {
    st::Runtime().loopEntered = entered;
}

HWND Runtime::MessageWindow() const {
    return st::Runtime().messageWindow;
}

HICON Runtime::DefaultIcon(bool big) const {
    const uint64_t both = st::RuntimeCallback(st::CallbackCode::DefaultIcons, 0, 0);
    return reinterpret_cast<HICON>(static_cast<uintptr_t>(big ? both : both >> 32));
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

bool Runtime::Observe(st::EventRecord& record) {
    Runtime* self = current_;
    if (!self) return false;
    const uint32_t unit = record.unit == kWindowUnit ? 0 : record.unit;
    const uint32_t count = record.argCount < 5 ? record.argCount : 5;
    Event e{record.window, unit, record.event,
            std::vector<uint32_t>(record.args, record.args + count)};
    self->events.push_back(e);
    auto it = self->handlers_.find({unit, record.event});
    if (it == self->handlers_.end()) return false;
    Handler handler = it->second; // the handler may replace itself
    if (std::optional<uint32_t> answer = handler(e)) {
        record.hasResult = 1;
        record.result = *answer;
    }
    return true;
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

} // namespace harness

// Event dispatch: from a unit's event record to the application's handler.
#include <cmath>
#include <cstring>

#include "registry.h"

namespace st {

namespace {

constexpr int32_t kMaxWords = 24; // twelve typed arguments of two words

// Handlers are cdecl: the result record, then the argument words. Passing all
// words is harmless to a handler that declares fewer parameters.
using HandlerFn = void (*)(HandlerResult*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                           uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                           uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                           uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

void CallHandler(uint32_t entry, HandlerResult& result, const uint32_t* words, int32_t count) {
    uint32_t a[kMaxWords] = {};
    if (count > 0) std::memcpy(a, words, 4 * static_cast<size_t>(count));
    reinterpret_cast<HandlerFn>(entry)(&result, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7],
                                       a[8], a[9], a[10], a[11], a[12], a[13], a[14], a[15], a[16],
                                       a[17], a[18], a[19], a[20], a[21], a[22], a[23]);
}

uint32_t RecordType(const std::vector<uint8_t>& record) {
    uint32_t v;
    std::memcpy(&v, record.data(), 4);
    return v;
}

uint32_t RecordEventSource(const std::vector<uint8_t>& record) {
    uint32_t v;
    std::memcpy(&v, record.data() + 4, 4);
    return v;
}

// Event source kept across a handler: nested handlers give it back.
struct EventSourceScope {
    uint32_t window, unit;
    EventSourceScope() : window(Runtime().eventWindow), unit(Runtime().eventUnit) {}
    ~EventSourceScope() {
        Runtime().eventWindow = window;
        Runtime().eventUnit = unit;
    }
};

// Counts a running handler, so that unit objects released meanwhile outlive it.
struct HandlerScope {
    int32_t& depth;
    explicit HandlerScope(int32_t& d) : depth(d) { ++depth; }
    ~HandlerScope() { --depth; }
};

// A truncation toward zero as the processor does it: out of range is 0x80000000.
int32_t Truncate(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(d);
}

} // namespace

int32_t ValueToInteger(const TypedArg& arg) {
    switch (arg.type) {
    case TypeTag::Byte:
        return static_cast<int32_t>(arg.low & 0xFF);
    case TypeTag::Short:
        return static_cast<int16_t>(arg.low & 0xFFFF);
    case TypeTag::Int:
    case TypeTag::Long:
        return static_cast<int32_t>(arg.low);
    case TypeTag::Float: {
        float f;
        std::memcpy(&f, &arg.low, 4);
        return Truncate(f);
    }
    case TypeTag::Double: {
        double d;
        uint32_t words[2] = {arg.low, arg.high};
        std::memcpy(&d, words, 8);
        return Truncate(d);
    }
    default:
        RuntimeError("欲转换数据类型不是数值", 0);
    }
}

uint32_t UnitRegistry::Dispatch(uint32_t window, uint32_t unit, int32_t event) {
    RuntimeState& rt = Runtime();
    if (rt.errorDepth != 0) return 0;
    WindowRecord* w = FindWindow(window);
    if (!w) RuntimeError("未找到引发事件的窗口", 0);
    int32_t index = FindUnitIndex(*w, unit);
    if (index < 0) RuntimeError("未找到引发事件的窗口组件", 0);

    // Units may use another unit's bindings; a chain never runs longer than the list.
    int32_t at = index;
    for (size_t step = 0; step < w->units.ids.size(); ++step) {
        uint32_t source = RecordEventSource(w->units.records[at]);
        int32_t next = source ? w->units.Find(source) : -1;
        if (next < 0 || RecordType(w->units.records[next]) != RecordType(w->units.records[at]))
            break;
        at = next;
    }
    const TypeRecord* type = FindTypeRecord(RecordType(w->units.records[at]));
    if (!type || !(type->flags & (TypeFlag::WindowUnit | TypeFlag::RaisesEvents)))
        RuntimeError("引发事件的窗口组件无效", 0);

    uint32_t handler = 0;
    std::vector<uint8_t>& r = w->units.records[at];
    if (IsMenuItem(w->units.ids[at])) {
        MenuItemView m;
        if (m.Parse(r.data(), static_cast<uint32_t>(r.size()))) std::memcpy(&handler, m.handler, 4);
    } else {
        UnitRecordView v;
        if (v.Parse(r.data(), static_cast<uint32_t>(r.size())))
            for (uint32_t i = 0; i < v.eventCount; ++i) {
                uint32_t pair[2];
                std::memcpy(pair, v.events + 2 * i, 8);
                if (static_cast<int32_t>(pair[0]) == event) {
                    handler = pair[1];
                    break;
                }
            }
    }
    if (handler == 0) return 0;
    rt.eventWindow = window;
    rt.eventUnit = unit ? unit : w->units.ids[0];
    return handler;
}

uint32_t UnitRegistry::RaiseEvent(EventRecord& record) {
    EventSourceScope scope;
    RuntimeState& rt = Runtime();
    if (rt.eventObserver && rt.errorDepth == 0) {
        HandlerScope running(eventDepth_);
        if (rt.eventObserver(record)) return 1;
    }
    uint32_t handler = Dispatch(record.window, record.unit, record.event);
    if (!handler) return 0;
    HandlerResult result{};
    int32_t count = static_cast<int32_t>(record.argCount < 5 ? record.argCount : 5);
    uint32_t words[5];
    std::memcpy(words, record.args, sizeof words);
    {
        HandlerScope running(eventDepth_);
        CallHandler(handler, result, words, count);
    }
    if (result.reported) {
        record.hasResult = 1;
        record.result = result.value[0];
    }
    return 1;
}

uint32_t UnitRegistry::RaiseTypedEvent(TypedEventRecord& record) {
    EventSourceScope scope;
    uint32_t handler = Dispatch(record.window, record.unit, record.event);
    if (!handler) return 0;
    uint32_t words[kMaxWords];
    int32_t n = 0;
    uint32_t count = record.argCount < 12 ? record.argCount : 12;
    for (uint32_t i = 0; i < count; ++i) {
        const TypedArg& a = record.args[i];
        bool both = false;
        uint32_t first = a.low;
        if (a.flags & 1) {
            // a reference: the first word only
        } else if ((a.flags & 2) || a.type == UnitType::Menu) {
            both = true;
        } else {
            switch (a.type) {
            case TypeTag::Byte:
                first = a.low & 0xFF;
                break;
            case TypeTag::Short:
                first = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(a.low)));
                break;
            case TypeTag::DateTime:
            case TypeTag::Opaque8:
            case TypeTag::Long:
            case TypeTag::Double:
                both = true;
                break;
            default:
                break;
            }
        }
        words[n++] = first;
        if (both) words[n++] = a.high;
    }
    HandlerResult result{};
    {
        HandlerScope running(eventDepth_);
        CallHandler(handler, result, words, n);
    }
    if (result.reported) {
        record.hasResult = 1;
        record.result[0] = result.value[0];
        record.result[1] = result.value[1];
    }
    return 1;
}

} // namespace st

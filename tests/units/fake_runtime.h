// A stand-in for the runtime's registry and callback, so that the units can
// be tested on their own: it holds unit records made by MakeUnitRecord,
// builds a window from them the way the loader does, pumps messages through
// the window unit's pre-translation, and answers events from handlers that
// a test installs.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "st/units.h"
#include "st/window_unit.h"

namespace fake {

struct RecordParts {
    uint32_t type = st::UnitType::Window;
    uint32_t id = 0;
    int32_t left = 0, top = 0, width = 100, height = 30;
    uint32_t flags = st::UnitFlag::Visible | st::UnitFlag::TabStop;
    uint32_t tabOrder = 0;
    uint32_t parent = 0;
    std::vector<uint8_t> block;
};

// A unit record as the template stores it.
std::vector<uint8_t> MakeUnitRecord(const RecordParts& parts);

struct Event {
    uint32_t window, unit;
    int32_t event;
    std::vector<uint32_t> args;
};

class Runtime : public st::TemplateRegistry {
  public:
    using Handler = std::function<std::optional<uint32_t>(const Event&)>;

    Runtime();
    ~Runtime();

    // A window: record 0 (the window itself) and its units.
    void AddWindow(uint32_t window, std::vector<RecordParts> records);
    // Creates the window and its units like the loader; null on failure.
    st::WindowUnit* Load(uint32_t window, bool show = true);
    st::UnitBase* Object(uint32_t window, uint32_t unit);
    HWND Handle(uint32_t window, uint32_t unit) {
        st::UnitBase* o = Object(window, unit);
        return o ? o->hwnd : nullptr;
    }

    // Fetches and pre-translates/dispatches until the queue is empty.
    void Pump();

    void On(uint32_t unit, int32_t event, Handler handler) { handlers_[{unit, event}] = handler; }
    std::vector<Event> events;
    std::vector<std::pair<uint32_t, uint32_t>> destroyed;
    bool loopEntered = false;
    uint32_t buildWord = 3;
    HWND messageWindow = nullptr;
    HICON defaultBig = nullptr, defaultSmall = nullptr;

    int32_t Count(uint32_t unit, int32_t event) const;
    // The last event of that unit and number (a default Event when none).
    Event Last(uint32_t unit, int32_t event) const;

    // TemplateRegistry
    int32_t WindowCount() override { return static_cast<int32_t>(windows_.size()); }
    uint32_t WindowIdAt(int32_t index) override;
    int32_t UnitCount(uint32_t window) override;
    bool UnitAt(uint32_t window, int32_t index, st::UnitRecordView& out) override;
    bool FindUnit(uint32_t window, uint32_t unit, st::UnitRecordView& out) override;

  private:
    struct Unit {
        uint32_t id;
        std::vector<uint8_t> record;
    };
    struct Window {
        uint32_t id;
        std::vector<Unit> units;
    };
    Window* FindWindow(uint32_t id);
    static uint64_t Callback(int32_t code, uint32_t value1, uint32_t value2);
    uint64_t Answer(int32_t code, uint32_t value1, uint32_t value2);

    std::vector<Window> windows_;
    std::map<std::pair<uint32_t, int32_t>, Handler> handlers_;
    static Runtime* current_;
};

// Sets the thread's key state so that GetKeyState sees these keys down.
void HoldKeys(std::initializer_list<int> keys);
void ReleaseKeys();

} // namespace fake

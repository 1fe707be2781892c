// Window tests on the real runtime: a test describes its windows as records
// (the window and its units), the runtime's own loader builds them from a
// template segment, messages go through the runtime's pump, and every event
// that would reach a handler is seen by the test, which may answer it.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "st/template_builder.h"
#include "st/units.h"
#include "st/window_unit.h"
#include "unit_blocks.h"

namespace harness {

// A window of the window type with these properties and no units, at (20, 30).
st::WindowDescription PlainWindow(uint32_t window, st::WindowProperties properties = {},
                                  int32_t width = 300, int32_t height = 200);

// An event as raised; the window itself is unit 0.
struct Event {
    uint32_t window, unit;
    int32_t event;
    std::vector<uint32_t> args;
};

// One per test case: it starts the runtime (once per program), takes its
// windows down at the end and forgets what it saw.
class Runtime {
  public:
    using Handler = std::function<std::optional<uint32_t>(const Event&)>;

    Runtime();
    ~Runtime();

    // A window: units[0] is the window itself. Its handlers are left out, so
    // that every event reaches the test's own (On) or none.
    void AddWindow(st::WindowDescription window);
    // Loads the window through the runtime's loader, shown or hidden; null on failure.
    st::WindowUnit* Load(uint32_t window, bool show = true);
    st::UnitBase* Object(uint32_t window, uint32_t unit);
    HWND Handle(uint32_t window, uint32_t unit) {
        st::UnitBase* o = Object(window, unit);
        return o ? o->hwnd : nullptr;
    }

    // The runtime's pump: every waiting message but WM_QUIT.
    void Pump();

    void On(uint32_t unit, int32_t event, Handler handler) { handlers_[{unit, event}] = handler; }
    std::vector<Event> events;

    // Whether the runtime's message loop counts as entered (closing the last
    // window then ends it).
    void SetLoopEntered(bool entered);
    HWND MessageWindow() const;
    // The program's default icons, as the runtime hands them to windows.
    HICON DefaultIcon(bool big) const;

    int32_t Count(uint32_t unit, int32_t event) const;
    // The last event of that unit and number (a default Event when none).
    Event Last(uint32_t unit, int32_t event) const;

  private:
    static bool Observe(st::EventRecord& record);

    std::vector<st::WindowDescription> windows_;
    std::vector<uint8_t> segment_;
    std::map<std::pair<uint32_t, int32_t>, Handler> handlers_;
    static Runtime* current_;
};

// Sets the thread's key state so that GetKeyState sees these keys down.
void HoldKeys(std::initializer_list<int> keys);
void ReleaseKeys();

} // namespace harness

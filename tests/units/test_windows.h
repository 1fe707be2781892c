// The windows of the integration tests, as templates for the real runtime:
// window 0x52010001 of the core library's window type with a default button,
// a button, an edit box, a label, a hidden and a disabled button, a hyperlink
// box, a common dialog (windowless), a check box and two radio buttons (the
// label and the radio buttons are stand-ins), and window 0x52010002 without a
// border. Handlers report to Hooks. The in-process window tests load the main
// window through the harness, without its handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "st/services.h"
#include "st/template_builder.h"
#include "test_units.h"
#include "unit_blocks.h"

namespace testwindows {

inline constexpr uint32_t kMain = 0x52010001, kBare = 0x52010002;
inline constexpr uint32_t kSelf = 0x06010000;
inline constexpr uint32_t kOk = 0x16010001, kCancel = 0x16010002, kEdit = 0x16010003,
                          kLabel = 0x16010004, kHidden = 0x16010005, kDisabled = 0x16010006,
                          kLink = 0x16010007, kWindowless = 0x16010008, kCheck = 0x16010009,
                          kRadio1 = 0x1601000A, kRadio2 = 0x1601000B;
inline constexpr uint32_t kBackground = 0x00C08040; // RGB(0x40, 0x80, 0xC0)
inline constexpr int32_t kWidth = 360, kHeight = 260;

struct Hooks {
    int loaded = 0, moved = 0, closeAsked = 0, destroyed = 0, ok = 0, cancel = 0, check = 0,
        idle = 0, okDowns = 0, label = 0;
    std::optional<uint32_t> closeAnswer; // event 1's answer; none = no answer
    std::optional<uint32_t> okDownAnswer;
    bool destroyOnOkDown = false;
    std::function<void()> onLoaded;
    std::function<bool(uint32_t)> onIdle; // answer of event 7
    std::vector<int32_t> windowEvents;    // the main window's 0, 3, 4, 5, 8, 10 and -7 in order
    bool closeWhileLabelRuns = false;     // the label's click handler closes the window and pumps
    bool labelSawWindowGone = false;
    bool loadMainOnBareClose = false; // the bare window's event 1 loads the main window
    bool destroyOnRadio2Focus = false;
    int radio2 = 0;
};
extern Hooks hooks;

// The code base handler offsets count from.
extern "C" void TestWindowsCodeBase();

std::vector<st::WindowDescription> TestWindows();
extern const st::LibraryRecord* const kLibraries[2];

// The live window object of a loaded window (null when not loaded).
st::UnitBase* WindowObject(uint32_t window, uint32_t unit = 0);

} // namespace testwindows

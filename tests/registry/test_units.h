// The test programs' only stand-in unit types (library 2), for what no real
// unit type can do:
// - the registry's observers: a top-level window, a windowed child on
//   "STATIC", a windowless unit, a child whose type record lacks the event
//   flags and a type whose CreateUnit entry answers none. They log their
//   creation and the loader's messages, try to raise an event while being
//   built, swallow one message in pre-translation and hold a property of
//   every kind, reaching the runtime only through the runtime callback, as
//   real unit types do;
// - a label (a mnemonic that hands the focus on, a click that goes on after
//   its event, counting whether its object was still there) and a radio
//   button, for the window's keyboard navigation: the program has no such
//   types.
#pragma once

#include <string>
#include <vector>

#include "st/template_record.h"
#include "st/units.h"

namespace testunits {

inline constexpr uint32_t WindowType = 0x00020001;
inline constexpr uint32_t StaticType = 0x00020002;
inline constexpr uint32_t HiddenType = 0x00020003; // windowless
inline constexpr uint32_t QuietType = 0x00020004;  // raises no events
inline constexpr uint32_t BrokenType = 0x00020005; // CreateUnit answers none
inline constexpr uint32_t LabelType = 0x00020006;  // "STATIC" with SS_NOTIFY, a caption
inline constexpr uint32_t RadioType = 0x00020007;  // a radio button, a caption

// Type property indexes (8 common ones come first).
namespace Prop {
inline constexpr int32_t Number = 8, Text = 9, Logical = 10, Font = 11, Picture = 12,
                         Style = 13; // Style only takes effect in a new control
}

// Message consumed by the window type's pre-translation (and counted).
inline constexpr UINT kSwallowed = WM_APP + 5;
// Event every unit tries to raise while it is being built.
inline constexpr int32_t kProbeEvent = 5;

extern const st::LibraryRecord Library;

struct Creation {
    uint32_t unit;
    uint32_t controlId;
    uint32_t style;
    HWND parent;
    int32_t left, top, width, height;
    uint32_t raised; // what raising the probe event answered during creation
};

struct Log {
    std::vector<Creation> creations;
    std::vector<std::string> steps; // "806F <unit hex>", "8004", "8076 <unit>", "destroyed <unit>"
    std::vector<uint32_t> probeAnswers; // raising the probe event from 0x806F and 0x8004
    std::vector<uint32_t> lastSet;      // the raw value words SetUnitProperty received
    int32_t swallowed = 0;
    HWND swallowedTarget = nullptr;
    void Clear() { *this = Log{}; }
};
extern Log log;

// Live unit of a test type: its stored fields, for checks.
struct TestProperties {
    int32_t number = 0;
    std::string text;
    int32_t logical = 0;
    std::vector<uint8_t> font; // a 60-byte LOGFONTA or nothing
    std::vector<uint8_t> picture;
    int32_t style = 0;
    void Reset() { *this = TestProperties{}; }
    bool Transfer(st::PropertyIO& io);
};
TestProperties* PropertiesOf(st::UnitBase* unit);
std::vector<uint8_t> PropertyBlock(const TestProperties& p);
// A label's or radio button's block: the caption is the text property.
std::vector<uint8_t> CaptionBlock(const std::string& caption);

// Labels and radio buttons not yet deleted, and how often a label's code went
// on after its click event while its object was already gone.
int LiveControls();
extern int usedAfterRelease;

} // namespace testunits

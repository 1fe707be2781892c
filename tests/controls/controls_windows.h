// The test window of the control tests: a window of the real window type
// holding buttons, check boxes, hyperlink boxes and a common dialog, built by
// the template builder and loaded by the runtime's own loader.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "st/services.h"
#include "st/unit_base.h"
#include "unit_access.h"

namespace controls {

inline constexpr uint32_t W = 0x52010001;
inline constexpr uint32_t Plain = 0x16010101;     // button, empty block
inline constexpr uint32_t Default = 0x16010102;   // default button, alignments 5 and -3
inline constexpr uint32_t Check = 0x16010103;     // check box, empty block
inline constexpr uint32_t OldCheck = 0x16010104;  // check box, version-1 block, checked
inline constexpr uint32_t WebLink = 0x16010105;   // hyperlink box, web address without scheme
inline constexpr uint32_t EmptyLink = 0x16010106; // hyperlink box, e-mail kind, no address
inline constexpr uint32_t Dialog = 0x16010107;    // common dialog, save mode, "MP3|*.MP3"

inline constexpr char kWebAddress[] = "www.example.test/page";

// What the handlers saw.
struct Seen {
    int32_t plainClicks = 0, checkClicks = 0;
    uint32_t checkedInHandler = 0xFFFFFFFF; // property 18 read by the check box's handler
    void Clear() { *this = Seen{}; }
};
extern Seen seen;

std::vector<uint8_t> TestSegment(const void* codeBase);

// The runtime started once, the test window loaded afresh.
HWND LoadTestWindow();
using testing::Pump;
inline st::UnitBase* Object(uint32_t unit) {
    return testing::UnitObject(W, unit);
}
inline HWND Handle(uint32_t unit) {
    return testing::UnitHandle(W, unit);
}

inline uint32_t Get(uint32_t unit, int32_t index) {
    return testing::GetProperty(W, unit, index);
}
inline void Set(uint32_t unit, int32_t index, uint32_t value) {
    testing::SetProperty(W, unit, index, value);
}
inline std::string GetText(uint32_t unit, int32_t index) {
    return testing::GetTextProperty(W, unit, index);
}
inline void SetText(uint32_t unit, int32_t index, const std::string& text) {
    testing::SetTextProperty(W, unit, index, text.c_str());
}

// The loaded window for a test's length.
struct TestWindow {
    HWND hwnd = LoadTestWindow();
    ~TestWindow() { testing::CloseWindow(hwnd); }
};

} // namespace controls

// Small unit types for the window tests, in a library of their own (library
// 2): a push button (default or not), a label, a windowless unit, a
// hyperlink-like unit, a check box, a radio button and an edit box that
// keeps Enter. Each counts the mouse and character messages that reach it.
#pragma once

#include <string>

#include "st/unit_base.h"

namespace testunits {

namespace Type {
inline constexpr uint32_t Button = 0x00020001;
inline constexpr uint32_t Label = 0x00020002;
inline constexpr uint32_t Windowless = 0x00020003;
inline constexpr uint32_t Link = 0x00020004;
inline constexpr uint32_t CheckBox = 0x00020005;
inline constexpr uint32_t Radio = 0x00020006;
inline constexpr uint32_t Edit = 0x00020007;
} // namespace Type

// Property data of every test type: version 1; text caption; i32 default button.
struct TestProperties {
    std::string caption;
    int32_t isDefault = 0;

    void Reset() {
        caption.clear();
        isDefault = 0;
    }
    bool Transfer(st::PropertyIO& io);
};

std::vector<uint8_t> TestBlock(const std::string& caption, bool isDefault = false);

class TestUnit : public st::Unit {
  public:
    TestUnit();
    ~TestUnit() override;
    TestProperties props;
    uint32_t type = 0;
    int leftDowns = 0, chars = 0, clicks = 0;
    std::string charsSeen;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    std::vector<uint8_t> SaveBlock() override { return st::WritePropertyBlock(props); }
};

// Test units not yet deleted, and how often a unit's own code went on after
// an event while its object was already gone.
int LiveUnits();
extern int usedAfterRelease;

extern const st::LibraryRecord TestUnitLibrary;

} // namespace testunits

// The push button ("按钮"/"Button", 0x0001000B) and the automatic check box
// ("选择框"/"CheckBox", 0x0001000C): "BUTTON" controls sharing caption,
// alignment, font and picture handling; the check box adds colours, a check
// state and three look options.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "st/button_properties.h"
#include "st/core_unit_types.h"
#include "st/property_table.h"
#include "st/unit_base.h"
#include "st/unit_picture.h"

namespace st {

// The button's own properties 8-13, one field per row of its list; the
// stored order is Transfer's.
struct ButtonProperties {
    static constexpr int32_t kVersion = 1;

    ST_BUTTON_PROPERTIES(ST_PROPERTY_FIELD)

    void Reset() { *this = ButtonProperties{}; }
    bool Transfer(PropertyIO& io);
    void Clamp();
};
enum class ButtonProperty : int32_t { ST_BUTTON_PROPERTIES(ST_PROPERTY_NAME) };

// The check box's own properties 8-20.
struct CheckBoxProperties {
    static constexpr int32_t kVersion = 2;

    ST_CHECK_BOX_PROPERTIES(ST_PROPERTY_FIELD)

    void Reset() { *this = CheckBoxProperties{}; }
    bool Transfer(PropertyIO& io);
    void Clamp();
};
enum class CheckBoxProperty : int32_t { ST_CHECK_BOX_PROPERTIES(ST_PROPERTY_NAME) };

// BS_LEFT/BS_CENTER/BS_RIGHT and BS_TOP/BS_VCENTER/BS_BOTTOM of alignments
// 0-2 (clamped).
DWORD AlignmentStyle(int32_t horizontal, int32_t vertical);

// What a button and a check box share: the control with its picture, style
// changes in place, and event 0 from the control's click.
class ButtonControl : public Unit {
  public:
    static constexpr int32_t kClicked = 0; // event 0

    bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  protected:
    // Creates the "BUTTON" window with the picture (when its bytes decode)
    // instead of the caption, then applies the font.
    bool CreateControl(DWORD style, const std::string& caption,
                       const std::vector<uint8_t>& pictureBytes,
                       const std::vector<uint8_t>& fontBytes, const UnitPlacement& at);
    // Replaces the style bits under mask and redraws the frame without
    // moving, sizing, re-ordering or activating the control.
    void ReplaceStyle(DWORD mask, DWORD bits);
    void Repaint() { InvalidateRect(hwnd, nullptr, TRUE); }

    UnitPicture picture_;
};

class ButtonUnit : public ButtonControl {
  public:
    ButtonProperties props;

    // Makes the control (UnitInterface entry 1 is CreateUnitOf).
    bool Build(const UnitPlacement& at);
    int32_t SetProperty(int32_t index, const uint32_t* value);
    int32_t GetProperty(int32_t index, uint32_t* value);
    bool IsDefault() const;
    std::vector<uint8_t> SaveBlock() override { return WritePropertyBlock(props); }

    // The rows of ST_BUTTON_PROPERTIES.
    using Props = ButtonProperties;
    static const PropertyRow<ButtonUnit, ButtonProperties> kPropertyRows[];

  private:
    // What setting a property does to the live control (the list's apply column).
    void ApplyStyle();
    void ApplyCaption() { SetWindowTextA(hwnd, props.caption.c_str()); }
    void ApplyFontBytes() { ApplyFont(props.font); }
};

class CheckBoxUnit : public ButtonControl {
  public:
    CheckBoxProperties props;

    // Makes the control (UnitInterface entry 1 is CreateUnitOf).
    bool Build(const UnitPlacement& at);
    int32_t SetProperty(int32_t index, const uint32_t* value);
    int32_t GetProperty(int32_t index, uint32_t* value);
    bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // A rebuild keeps the check the user gave the control.
    std::vector<uint8_t> SaveBlock() override;

    // The rows of ST_CHECK_BOX_PROPERTIES.
    using Props = CheckBoxProperties;
    static const PropertyRow<CheckBoxUnit, CheckBoxProperties> kPropertyRows[];

  private:
    void ReadCheck();
    void ApplyStyle();
    void ApplyCaption() { SetWindowTextA(hwnd, props.caption.c_str()); }
    void ApplyBrush();
    void ApplyFontBytes() { ApplyFont(props.font); }
    void ApplyCheck();
    COLORREF brushColour_ = 0; // what the brush was made of, resolved
};

} // namespace st

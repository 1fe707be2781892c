// The push button ("按钮"/"Button", 0x0001000B) and the automatic check box
// ("选择框"/"CheckBox", 0x0001000C): "BUTTON" controls sharing caption,
// alignment, font and picture handling; the check box adds colours, a check
// state and three look options.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "st/core_unit_types.h"
#include "st/unit_base.h"
#include "st/unit_picture.h"

namespace st {

// What writing a property does on a live button or check box.
enum class ButtonApply : uint8_t { Store, Rebuild, Style, Caption, Font, Repaint, Brush, Check };

struct ButtonProperties {
    static constexpr int32_t kVersion = 1;

    std::vector<uint8_t> picture;
    int32_t type;
    std::string caption;
    int32_t horizontal, vertical;
    std::vector<uint8_t> font;

    ButtonProperties() { Reset(); }
    void Reset();
    bool Transfer(PropertyIO& io);
};

struct CheckBoxProperties {
    static constexpr int32_t kVersion = 2;

    std::vector<uint8_t> picture;
    int32_t pushLike, flat;
    std::string caption;
    int32_t leftText;
    int32_t horizontal, vertical;
    int32_t textColour, background;
    std::vector<uint8_t> font;
    int32_t checked;
    std::string dataSource, dataColumn;

    CheckBoxProperties() { Reset(); }
    void Reset();
    bool Transfer(PropertyIO& io);
};

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
                       const std::vector<uint8_t>& fontBytes, int32_t left, int32_t top,
                       int32_t width, int32_t height, HWND parent, uint32_t controlId);
    // Replaces the style bits under mask and redraws the frame without
    // moving, sizing, re-ordering or activating the control.
    void ReplaceStyle(DWORD mask, DWORD bits);

    UnitPicture picture_;
};

class ButtonUnit : public ButtonControl {
  public:
    ButtonProperties props;

    static UnitBase* Create(const void* block, int32_t length, uint32_t style, HWND parent,
                            uint32_t controlId, HMENU menu, int32_t left, int32_t top,
                            int32_t width, int32_t height, uint32_t windowId, uint32_t unitId,
                            HWND designHost, int32_t designMode);
    int32_t SetProperty(int32_t index, const uint32_t* value);
    int32_t GetProperty(int32_t index, uint32_t* value);
    bool IsDefault() const;
    std::vector<uint8_t> SaveBlock() override { return WritePropertyBlock(props); }
};

class CheckBoxUnit : public ButtonControl {
  public:
    CheckBoxProperties props;

    static UnitBase* Create(const void* block, int32_t length, uint32_t style, HWND parent,
                            uint32_t controlId, HMENU menu, int32_t left, int32_t top,
                            int32_t width, int32_t height, uint32_t windowId, uint32_t unitId,
                            HWND designHost, int32_t designMode);
    int32_t SetProperty(int32_t index, const uint32_t* value);
    int32_t GetProperty(int32_t index, uint32_t* value);
    bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // A rebuild keeps the check the user gave the control.
    std::vector<uint8_t> SaveBlock() override;

  private:
    void ReadCheck();
    COLORREF brushColour_ = 0; // what the brush was made of, resolved
};

} // namespace st

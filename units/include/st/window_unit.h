// The window unit ("窗口"/"window", 0x00010001): the top-level window that
// holds a template's units. It pre-translates every message for itself and
// its units (common input events, keyboard navigation), paints the
// background, and ends the message loop when the last loaded window goes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "st/bmp_decoder.h"
#include "st/core_unit_types.h"
#include "st/property_table.h"
#include "st/unit_base.h"
#include "st/window_properties.h"
#include "st/window_shapes.h"

namespace st {

struct UnitSlot; // window_internal.h

// The window's own properties 8-31, one field per row of its list; the
// stored order is Transfer's.
struct WindowProperties {
    static constexpr int32_t kVersion = 6;

    ST_WINDOW_PROPERTIES(ST_PROPERTY_FIELD)

    void Reset() { *this = WindowProperties{}; }
    bool Transfer(PropertyIO& io);
    void Clamp();
};

// The window's own property indices (0 = caption, property 8 of the table).
enum class WindowProperty : int32_t { ST_WINDOW_PROPERTIES(ST_PROPERTY_NAME) };

inline constexpr UINT TrayIconMessage = WM_APP + 0xA0;
inline constexpr UINT WM_UNITS_CREATED = 0x8004; // the loader's "all units exist"
inline constexpr UINT WM_END_MODAL = 0x8065;
inline constexpr UINT TrayIconId = 100;

class WindowUnit : public Unit {
  public:
    WindowProperties props;

    // Makes the window (UnitInterface entry 1 is CreateUnitOf).
    bool Build(const UnitPlacement& at);
    int32_t SetProperty(int32_t index, const uint32_t* value);
    int32_t GetProperty(int32_t index, uint32_t* value);

    bool PreTranslate(MSG& msg) override;
    bool IdleEvent(uint32_t milliseconds) override;
    WindowLoadState* LoadState() override { return &loadState_; }
    uint32_t EventUnit() const override { return 0; } // the window is unit 0 of its events
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage() override;
    std::vector<uint8_t> SaveBlock() override { return WritePropertyBlock(props); }

    // Paints the background (picture by layout, then the colour) into dc.
    void PaintBackground(HDC dc, const RECT& clip);
    // Adds, changes or (icon null) removes the tray icon; the window owns icon.
    void SetTrayIcon(HICON icon, const char* tip);
    bool HelpOpened() const { return helpOpened_; }
    // Set when help was opened for this window (F1, or a common dialog of
    // its own), so that destroying the window closes help.
    void SetHelpOpened(bool opened) { helpOpened_ = opened; }

    // The rows of ST_WINDOW_PROPERTIES (window_properties.cpp).
    using Props = WindowProperties;
    static const PropertyRow<WindowUnit, WindowProperties>
        kPropertyRows[WindowPropertyCount - CommonPropertyCount];

  private:
    // What setting a property does to the live window (the list's apply column).
    void ApplyCaption();
    void ApplyTitleBar();
    void ApplyBorder();
    void ApplyPicture();
    void ApplyIcons();
    void ApplyShape();
    void ApplyPosition();
    void ApplyTopmost(bool fromChange);
    void ApplyTopmostChange() { ApplyTopmost(true); }
    void ApplyMovable();
    void Repaint();
    bool HandleKey(MSG& msg);
    void OpenHelp();
    bool SetUnitCursor(HWND over);
    void MoveFocus(bool forward);
    bool PressEnter(UnitSlot* focused);
    bool Mnemonic(uint32_t key);
    bool MoveRadio(const UnitSlot& focused, bool forward);
    void OnActivate(WPARAM wParam);
    void EndModalState();

    WindowLoadState loadState_;
    DecodedPicture decoded_;
    bool pictureDecoded_ = false;
    OwnedIcon bigIcon_, smallIcon_; // made from property 20
    OwnedIcon trayIcon_;
    HWND lastFocus_ = nullptr;
    bool activatedOnce_ = false;
    bool helpOpened_ = false;
};

// Where picture layout 2 puts a pw x ph picture in a cw x ch client area:
// centred, shrunk to fit keeping its proportions, never enlarged.
RECT FitPicture(int32_t pw, int32_t ph, int32_t cw, int32_t ch);

// The help file of a window or a common dialog: file itself, or, when it is
// empty, the program file's name with "hlp" for its extension; empty when
// there is no program name.
std::string HelpFileName(const std::string& file);

// Big and small icons from icon file bytes; false (both null) when the bytes
// hold no icon we can make.
bool MakeIcons(const std::vector<uint8_t>& bytes, HICON& big, HICON& small);

} // namespace st

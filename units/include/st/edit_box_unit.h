// The edit box ("编辑框"/"EditBox", 0x00010005): a Win32 EDIT control, single-
// or multi-line, with colours, font, input modes that filter typed keys and
// normalise the content when the focus leaves, and an optional up-down arrow
// pair beside a single-line box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "st/core_unit_types.h"
#include "st/unit_base.h"

namespace st {

// The edit box's own properties 8-28; the stored order is Transfer's.
struct EditProperties {
    static constexpr int32_t kVersion = 2;

    std::string content;
    int32_t border;
    int32_t textColour, background; // COLORREF; the background may be DefaultColour
    std::vector<uint8_t> font;      // a 60-byte LOGFONTA or nothing
    int32_t hideSelection;
    int32_t maxLength; // bytes, 0 = no limit
    int32_t multiLine;
    int32_t scrollBars;   // 0 none, 1 horizontal, 2 vertical, 3 both
    int32_t alignment;    // 0 left, 1 centre, 2 right
    int32_t inputMode;    // edit::InputMode
    int32_t passwordChar; // one byte, stored as i16
    int32_t letterCase;   // 0 as typed, 1 lower, 2 upper
    int32_t upDown;       // 0 none, 1 automatic, 2 raises event 1
    int32_t lower, upper;
    int32_t selectionStart, selectionLength;
    std::string dataSource, dataColumn;

    EditProperties() { Reset(); }
    void Reset();
    bool Transfer(PropertyIO& io);
    void Clamp();
};

// The edit box's events (the common ones are in units.h).
namespace EditEvent {
inline constexpr int32_t Changed = 0;
inline constexpr int32_t UpDownPressed = 1; // argument 1 up, -1 down
} // namespace EditEvent

// The "msctls_updown32" arrow pair beside a single-line box: a sibling of the
// box, 18 pixels wide, on its right edge, right after it in the z-order. The
// box adopts it, so its notifications come to the box.
class UpDownCompanion {
  public:
    static constexpr int32_t kWidth = 18;

    UpDownCompanion() = default;
    UpDownCompanion(const UpDownCompanion&) = delete;
    UpDownCompanion& operator=(const UpDownCompanion&) = delete;
    ~UpDownCompanion() { Destroy(); }

    bool Create(Unit& box, uint32_t controlId, int32_t border);
    void Destroy();
    // Follows the box: place, z-order, shown, enabled.
    void Follow(HWND box);
    void SetRange(int32_t a, int32_t b); // from the smaller to the larger
    void SetPosition(int64_t value);     // clamped to the range
    void ApplyBorder(int32_t border);
    HWND Handle() const { return hwnd_; }
    int32_t Low() const { return low_; }
    int32_t High() const { return high_; }

  private:
    HWND hwnd_ = nullptr;
    Unit* owner_ = nullptr;
    int32_t low_ = 0, high_ = 0;
};

class EditBoxUnit : public Unit {
  public:
    EditProperties props;

    // UnitInterface entry 1 for the edit box type.
    static UnitBase* Create(const void* block, int32_t length, uint32_t style, HWND parent,
                            uint32_t controlId, HMENU menu, int32_t left, int32_t top,
                            int32_t width, int32_t height, uint32_t windowId, uint32_t unitId,
                            HWND designHost, int32_t designMode);
    int32_t SetProperty(int32_t index, const uint32_t* value);
    int32_t GetProperty(int32_t index, uint32_t* value);
    bool WantsKey(uint32_t key) const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    std::vector<uint8_t> SaveBlock() override;

    HWND Companion() const { return upDown_.Handle(); }

  private:
    struct Selection {
        int32_t start, end; // byte offsets, start <= end <= text length
    };

    bool Build(uint32_t style, HWND parent, uint32_t controlId, int32_t left, int32_t top,
               int32_t width, int32_t height);
    DWORD Style() const;
    void ApplyFontAndHeight();
    void ApplyInputMode();
    void ApplyPasswordChar();
    void Select(int64_t start, int64_t length);
    Selection CurrentSelection() const;
    std::string WindowText() const;
    // Sets the content as the unit itself and reports it as one change.
    void ReplaceContent(const std::string& text);
    void OnContentChanged();
    void OnKillFocus();
    void OnUpDown(int32_t delta, LRESULT& result);
    void PaintBands();

    UpDownCompanion upDown_;
    bool settingContent_ = false;
    uint8_t pendingLead_ = 0; // first byte of a double-byte character typed as two WM_CHARs
    uint32_t brushColour_ = 0;      // what the brush was made of, resolved
    int32_t lineHeight_ = 0;        // height of "W" in the current font
    RECT bandTop_{}, bandBottom_{}; // frame bands of a single-line box, window coordinates
    std::string readBuffer_;        // texts handed out by GetProperty live here
};

} // namespace st

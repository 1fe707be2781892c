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
#include "st/edit_box_properties.h"
#include "st/edit_input.h"
#include "st/property_table.h"
#include "st/unit_base.h"

namespace st {

// The edit box's own properties 8-28, one field per row of its list; the
// stored order is Transfer's.
struct EditProperties {
    static constexpr int32_t kVersion = 2;

    ST_EDIT_BOX_PROPERTIES(ST_PROPERTY_FIELD)

    void Reset() { *this = EditProperties{}; }
    bool Transfer(PropertyIO& io);
    void Clamp();
};
enum class EditBoxProperty : int32_t { ST_EDIT_BOX_PROPERTIES(ST_PROPERTY_NAME) };

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

    // Makes the control (UnitInterface entry 1 is CreateUnitOf).
    bool Build(const UnitPlacement& at);
    int32_t SetProperty(int32_t index, const uint32_t* value);
    int32_t GetProperty(int32_t index, uint32_t* value);
    bool WantsKey(uint32_t key) const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    std::vector<uint8_t> SaveBlock() override;

    HWND Companion() const { return upDown_.Handle(); }

    // The rows of ST_EDIT_BOX_PROPERTIES.
    using Props = EditProperties;
    static const PropertyRow<EditBoxUnit, EditProperties> kPropertyRows[];

  private:
    struct Selection {
        int32_t start, end; // byte offsets, start <= end <= text length
    };

    DWORD Style() const;
    // What setting a property does to the live box (the list's apply column).
    void ApplyContent() { ReplaceContent(props.content); }
    void ApplyBorder();
    void Repaint() { InvalidateRect(hwnd, nullptr, TRUE); }
    void ApplyBackground();
    void ApplyFontAndHeight();
    void ApplyMaxLength();
    void ApplyInputMode();
    void ApplyPasswordCharChange();
    void ApplyRange();
    void ApplySelectedText();
    void ApplyPasswordChar();
    // Property 24 or 25 written: -1 has a meaning of its own.
    void SetSelectionPart(bool start, int32_t number);
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
    uint8_t pendingLead_ = 0;       // first byte of a double-byte character typed as two WM_CHARs
    uint32_t brushColour_ = 0;      // what the brush was made of, resolved
    int32_t lineHeight_ = 0;        // height of "W" in the current font
    RECT bandTop_{}, bandBottom_{}; // frame bands of a single-line box, window coordinates
    std::string readBuffer_;        // texts handed out by GetProperty live here
};

} // namespace st

// What every unit type builds on: the Win32 window a unit owns (subclassed
// from its first message on, found again through a handle -> object map),
// event raising through the runtime callback, the property-block pattern,
// colours, fonts and border styles, and the common input events.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "st/gdi_owned.h"
#include "st/template_record.h"
#include "st/units.h"

namespace st {

// The runtime callback the core library received; 0 when there is none yet.
uint64_t CallRuntime(int32_t code, uint32_t value1 = 0, uint32_t value2 = 0);

// --- Property blocks ---------------------------------------------------------------

// A unit type's UnitPropertyData: Reset() sets every field to its default;
// Transfer(io) reads or writes the whole block (version first) and answers
// false for a version it does not know.
//
// An empty block leaves the defaults; a failed or short read answers false.
template <typename Data> bool ReadPropertyBlock(Data& data, const void* block, int32_t length) {
    data.Reset();
    if (!block || length <= 0) return true;
    PropertyReader reader(block, length);
    PropertyIO io(reader);
    return data.Transfer(io) && !io.Failed();
}

template <typename Data> std::vector<uint8_t> WritePropertyBlock(Data& data) {
    PropertyWriter writer;
    PropertyIO io(writer);
    data.Transfer(io);
    return writer.Take();
}

// Reads the version word: the stored one when reading (false when it is
// outside 0..current), the current one when writing.
bool TransferVersion(PropertyIO& io, int32_t current, int32_t& version);

// A movable, shareable global block holding exactly these bytes, unlocked;
// the caller owns it. Null when memory runs out.
HGLOBAL NewGlobalBlock(const void* bytes, size_t length);

// Registers a window class of the program's module, unless it exists: the
// default procedure (units subclass their windows), no background brush
// (units paint their own), the cursor cursor() loads (null: the arrow).
bool RegisterUnitClass(const char* name, UINT classStyle, HCURSOR (*cursor)() = nullptr);

// --- Values ------------------------------------------------------------------------------

// DefaultColour becomes the current button-face colour; anything else is itself.
COLORREF ResolveColour(uint32_t colour);

// A font from a 60-byte description with our fixed overrides; null when the
// description is not exactly 60 bytes or the font cannot be made.
HFONT MakeUnitFont(const std::vector<uint8_t>& description);

// The frame bits a control border style 0-5 (clamped) stands for.
struct BorderBits {
    DWORD style = 0;   // WS_BORDER or nothing
    DWORD exStyle = 0; // edge bits
};
BorderBits BorderStyleBits(int32_t style);

// Applies a control border style 0-5 (clamped) and redraws the frame. A
// window that already has that frame is left alone.
void ApplyBorderStyle(HWND window, int32_t style);

inline int32_t Clamp(int32_t value, int32_t low, int32_t high) {
    return value < low ? low : value > high ? high : value;
}

// --- Events ------------------------------------------------------------------------------

// Raises event number event of (window, unit) with up to five argument words;
// answers the handler's result when it reported one.
std::optional<uint32_t> RaiseUnitEvent(uint32_t window, uint32_t unit, int32_t event,
                                       std::initializer_list<uint32_t> args = {});

// 1 Ctrl, 2 Shift, 4 Alt, from GetKeyState; the key's own modifier is not
// counted for the key itself.
uint32_t ModifierState(uint32_t key = 0);
// VK_NUMPAD0-9 -> '0'-'9', VK_SUBTRACT -> 189, VK_DECIMAL -> 190, VK_DIVIDE -> 191.
uint32_t FoldKeypad(uint32_t key);

// --- The unit object ------------------------------------------------------------------

class Unit : public UnitBase {
  public:
    Unit() = default;
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;
    ~Unit() override;

    // The unit owning this window, or null.
    static Unit* FromHandle(HWND window);
    // The unit a control's notifications belong to: the unit owning it, or
    // the unit that adopted it; null for other windows.
    static Unit* NotificationOwner(HWND control);

    // A control the unit made beside its own window (the edit box's up-down
    // arrows) sends its notifications to the common parent like the unit's
    // own control does; adopted, they are passed back to this unit's
    // OnReflected as well. The adoption ends with ReleaseControl or when the
    // unit's own window is destroyed.
    void AdoptControl(HWND control);
    void ReleaseControl(HWND control);

    // Creates the unit's window and subclasses it before its first message.
    bool CreateUnitWindow(DWORD exStyle, const char* className, const char* text, DWORD style,
                          int32_t left, int32_t top, int32_t width, int32_t height, HWND parent,
                          HMENU menuOrId);

    // Events as the runtime sees them come from (windowId, EventUnit()).
    virtual uint32_t EventUnit() const { return unitId; }
    std::optional<uint32_t> RaiseEvent(int32_t event, std::initializer_list<uint32_t> args = {}) {
        return RaiseUnitEvent(windowId, EventUnit(), event, args);
    }

    // Makes the unit's font from a description (see MakeUnitFont), falling
    // back on DEFAULT_GUI_FONT, and hands it to the window with a redraw.
    void ApplyFont(const std::vector<uint8_t>& description);
    // Replaces the owned background brush with one of the colour, resolved now.
    void MakeBrush(uint32_t colour);

    // The unit's message handling; DefaultProc passes to the original procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);
    // A notification or control message the parent window passes back to the
    // unit that sent it (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*, scrolling, owner
    // draw); true when the unit answered it.
    virtual bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        (void)message, (void)wParam, (void)lParam, (void)result;
        return false;
    }
    // After the window's final message: tell the runtime (code 2000), which
    // owns the object and releases it (at once, or once the running event
    // handlers have returned). Nothing of the object may be touched afterwards.
    virtual void OnFinalMessage();
    // The unit's current PropertyBlock.
    virtual std::vector<uint8_t> SaveBlock() { return {}; }

  protected:
    // Controls that report focus through notifications raise -7/-8 there.
    bool focusEventsFromMessages_ = true;

  private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    friend LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);
    void Attach(HWND window);

    WNDPROC original_ = nullptr;
    bool creating_ = false;
};

// Turns a mouse, key, character or wheel message for a unit's own window into
// that unit's common event (-1..-6, -9..-12). Answers true when the message
// must be dropped: the handler said no, or the window died meanwhile. The
// message's wParam changes when a character handler replaced the character.
bool RaiseCommonInputEvent(Unit& unit, MSG& msg);

// Where and how UnitInterface entry 1 asks for a unit's window.
struct UnitPlacement {
    uint32_t style;
    HWND parent;
    uint32_t controlId;
    HMENU menu;
    int32_t left, top, width, height;

    HMENU ControlMenuId() const {
        return reinterpret_cast<HMENU>(static_cast<uintptr_t>(controlId));
    }
};

// UnitInterface entry 1 for a unit class T: a new T with its property block
// (T::props) read and its ids set, whose T::Build(placement) then makes its
// window. Null, with nothing left behind, when the block does not read or
// Build fails. The entry takes the menu it is given: the window made holds
// it, and whenever no window is made the menu is destroyed here.
template <typename T>
UnitBase* CreateUnitOf(const void* block, int32_t length, uint32_t style, HWND parent,
                       uint32_t controlId, HMENU menu, int32_t left, int32_t top, int32_t width,
                       int32_t height, uint32_t windowId, uint32_t unitId, HWND /*designHost*/,
                       int32_t designMode) {
    OwnedMenu ownMenu(menu);
    std::unique_ptr<T> unit(new T);
    if (!ReadPropertyBlock(unit->props, block, length)) return nullptr;
    unit->windowId = windowId;
    unit->unitId = unitId;
    unit->designMode = designMode;
    if (!unit->Build(UnitPlacement{style, parent, controlId, menu, left, top, width, height}))
        return nullptr;
    ownMenu.release();
    return unit.release();
}

// UnitInterface entry 5, shared by every type: the unit's current block as a
// new global block (see NewGlobalBlock), its length through length.
HGLOBAL SaveUnitProperties(UnitBase* unit, uint32_t* length);

} // namespace st

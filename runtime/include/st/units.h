// What the runtime and the unit types share: unit ids, the runtime-callback
// codes, event records, property kinds, the UnitInterface entries and the
// unit object's fixed virtual slots. Unit types reach the runtime only through
// the runtime callback; the runtime reaches a unit type only through its
// UnitInterface and the virtual slots of UnitBase below.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "st/gdi_owned.h"
#include "st/services.h"

namespace st {

// --- Unit ids -------------------------------------------------------------------

// Valid: low 24 bits not 0 and bits 24-27 not 0; an invalid id is never found.
inline constexpr bool IsValidUnitId(uint32_t id) {
    return (id & 0x00FFFFFFu) != 0 && ((id >> 24) & 0xFu) != 0;
}
inline constexpr bool IsMenuItemId(uint32_t id) {
    return ((id >> 24) & 0xFu) == 6 && (id >> 28) == 2;
}

// Data type ids of the core library's unit types (library 1).
namespace UnitType {
inline constexpr uint32_t Window = 0x00010001;
inline constexpr uint32_t Menu = 0x00010003;
inline constexpr uint32_t EditBox = 0x00010005;
inline constexpr uint32_t Button = 0x0001000B;
inline constexpr uint32_t CheckBox = 0x0001000C;
inline constexpr uint32_t HyperLinker = 0x0001001D;
inline constexpr uint32_t CommonDialog = 0x0001001F;
} // namespace UnitType

// Type flags beyond those in services.h.
namespace TypeFlag {
inline constexpr uint32_t NoFocusMoves = 0x10000; // never a target of Tab moves
inline constexpr uint32_t RadioKind = 0x400;
inline constexpr uint32_t ButtonKind = 0x800;
inline constexpr uint32_t CheckBoxKind = 0x1000;
inline constexpr uint32_t LabelKind = 0x2000;
inline constexpr uint32_t MnemonicKinds = 0x7C00;
inline constexpr uint32_t DragsWindow = 0x4000000;
} // namespace TypeFlag

// Unit record flags (field 14).
namespace UnitFlag {
inline constexpr uint32_t Visible = 1;
inline constexpr uint32_t Disabled = 2;
inline constexpr uint32_t TabStop = 4;
} // namespace UnitFlag

// --- Runtime callback codes ---------------------------------------------------

namespace CallbackCode {
inline constexpr int32_t DefaultIcons = 1000;     // -> large | small << 32
inline constexpr int32_t Registry = 1001;         // -> TemplateRegistry*
inline constexpr int32_t TypeRecordOf = 1002;     // (type id) -> const TypeRecord*
inline constexpr int32_t UnitWindowHandle = 1010; // (UnitBase*) -> HWND
inline constexpr int32_t AddIdleHook = 1012;
inline constexpr int32_t RemoveIdleHook = 1013;
inline constexpr int32_t UnitDestroyed = 2000;  // (window id, unit id or 0)
inline constexpr int32_t ValueToInteger = 2001; // (const TypedArg*) -> i32
inline constexpr int32_t ProgramDirectory = 2003;
inline constexpr int32_t ProgramFileName = 2004;
inline constexpr int32_t FindUnitObject = 2006; // (window id, unit id or 0) -> UnitBase* or null
inline constexpr int32_t GetUnitObject = 2007;  // as 2006; missing -> RuntimeError
inline constexpr int32_t RaiseEvent = 2008;     // (EventRecord*) -> 1 handled / 0
inline constexpr int32_t EnterConstruction = 2009;
inline constexpr int32_t LeaveConstruction = 2010;
inline constexpr int32_t KeyLookup = 2011;
inline constexpr int32_t KeyStore = 2012;
inline constexpr int32_t KeyRemove = 2013;
inline constexpr int32_t ProcessMessages = 2018;
inline constexpr int32_t Allocate = 2024;
inline constexpr int32_t Free = 2025;
inline constexpr int32_t Reallocate = 2026;
inline constexpr int32_t Fail = 2027;
inline constexpr int32_t End = 2028;
inline constexpr int32_t FirstBuildWord = 2030;
inline constexpr int32_t RaiseTypedEvent = 2031; // (TypedEventRecord*) -> 1 / 0
inline constexpr int32_t WindowCount = 2032;
// Our own codes for what the window unit needs of the runtime.
inline constexpr int32_t LoopEntered = 3000;       // -> 1 once the message loop was entered
inline constexpr int32_t LoadedWindowCount = 3001; // -> windows whose own unit is live
inline constexpr int32_t MessageWindow = 3002;     // -> the runtime's message window
inline constexpr int32_t LoadingModally = 3003; // -> 1 while a window is created for a modal load
// The MP3 player module, for the play command.
inline constexpr int32_t PlayerEntry = 3100;  // (NUL-terminated name) -> entry point or null
inline constexpr int32_t PlayerHandle = 3101; // (handle, 1 = store it) -> the handle held before
} // namespace CallbackCode

// --- Events ---------------------------------------------------------------------

struct EventRecord {
    uint32_t window;
    uint32_t unit;
    int32_t event;
    uint32_t argCount; // at most 5
    uint32_t args[5];
    uint32_t hasResult;
    uint32_t result;
};
static_assert(sizeof(EventRecord) == 44, "plain event record");

struct TypedArg {
    uint32_t low, high;
    uint32_t type;  // TypeTag or data type id
    uint32_t flags; // bit 0: first word as a reference; bit 1: both words
};
static_assert(sizeof(TypedArg) == 16, "typed argument record");

struct TypedEventRecord {
    uint32_t window;
    uint32_t unit;
    int32_t event;
    uint32_t argCount; // at most 12
    TypedArg args[12];
    uint32_t hasResult;
    uint32_t result[2]; // low first
};
static_assert(sizeof(TypedEventRecord) == 16 + 12 * 16 + 12, "typed event record");

// Events common to all window units.
namespace CommonEvent {
inline constexpr int32_t LeftDown = -1, LeftUp = -2, LeftDoubleClick = -3, RightDown = -4,
                         RightUp = -5, MouseMove = -6, FocusReceived = -7, FocusLost = -8,
                         KeyDown = -9, KeyUp = -10, Char = -11, Wheel = -12;
}

// The window unit's own events.
namespace WindowEvent {
inline constexpr int32_t QueryClose = 1; // answer 0 refuses the close
inline constexpr int32_t Destroyed = 2, Moved = 3, Resized = 4, Activated = 5, Deactivated = 6;
inline constexpr int32_t Idle = 7;           // (milliseconds) -> non-zero asks for more
inline constexpr int32_t FirstActivated = 8; // once, before the first Activated
inline constexpr int32_t TrayIcon = 9;       // (1 click, 2 double click, 3 right click)
inline constexpr int32_t Shown = 10, Hidden = 11;
} // namespace WindowEvent

// --- Properties -------------------------------------------------------------------

namespace PropertyKind {
inline constexpr uint16_t Integer = 1001;
inline constexpr uint16_t Logical = 1003;
inline constexpr uint16_t Text = 1005;
inline constexpr uint16_t Choice = 1006;
inline constexpr uint16_t Picture = 1009;
inline constexpr uint16_t Icon = 1010;
inline constexpr uint16_t MousePointer = 1011;
inline constexpr uint16_t Sound = 1012;
inline constexpr uint16_t Font = 1013;
inline constexpr uint16_t Colour = 1014;
inline constexpr uint16_t FileName = 1016;
inline constexpr uint16_t ColourOrDefault = 1017;
inline constexpr uint16_t DataSource = 1018;
inline constexpr uint16_t DataColumn = 1020;
} // namespace PropertyKind

// One entry of a TypeRecord's property table.
struct PropertyEntry {
    const char* name;
    const char* englishName;
    const char* explanation;
    uint16_t kind;  // PropertyKind
    uint16_t state; // 0xE000 for the common eight, 0x8000 (| 1, 2, 8) for the type's own
    const void* pickList;
};
static_assert(sizeof(PropertyEntry) == 20 || sizeof(void*) != 4, "20-byte property entry");

inline constexpr uint32_t DefaultColour = 0xFF000000; // the system button-face colour
inline constexpr int32_t FontDescriptionSize = 60;    // sizeof(LOGFONTA)
static_assert(sizeof(LOGFONTA) == FontDescriptionSize, "LOGFONTA is 60 bytes");

// --- The unit object ----------------------------------------------------------------

// Run-time state of a window's own unit that the runtime's loader keeps.
struct WindowLoadState {
    bool modal = false;
    bool completelyLoaded = false;
    std::vector<HWND> disabledForModal; // re-enabled when the modal state ends
};

// Every unit object. The runtime calls only these virtual slots, in this
// order; everything else belongs to the unit types.
class UnitBase {
  public:
    virtual ~UnitBase() = default;
    // The window unit's pre-translation of a message for it or its descendants;
    // true when the message is consumed. Other units answer false.
    virtual bool PreTranslate(MSG& msg) {
        (void)msg;
        return false;
    }
    // The window unit's idle event 7; true when it asks for more idle calls.
    virtual bool IdleEvent(uint32_t milliseconds) {
        (void)milliseconds;
        return false;
    }
    // Property 5 written true/false on a live unit (the window applies its own rules).
    virtual void ShowUnit(bool show) { ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE); }
    // The window's own unit answers its load state; other units null.
    virtual WindowLoadState* LoadState() { return nullptr; }

    HWND hwnd = nullptr;
    uint32_t windowId = 0;
    uint32_t unitId = 0;
    int32_t designMode = 0;
    OwnedFont font;   // made from the unit's properties
    OwnedBrush brush; // made from the unit's properties
};

// --- UnitInterface entries ---------------------------------------------------------

namespace UnitEntry {
inline constexpr int32_t CreateUnit = 1;
inline constexpr int32_t SetUnitProperty = 4;
inline constexpr int32_t SaveUnitProperties = 5;
inline constexpr int32_t GetUnitProperty = 6;
inline constexpr int32_t GetWindowIcon = 7;
inline constexpr int32_t WantsKey = 8;
inline constexpr int32_t ListBlockTexts = 9;
inline constexpr int32_t IsDefaultButton = 10;
} // namespace UnitEntry

// Entry 1 takes the menu it is given (a window's only): the window it makes
// holds it; when it makes none, it destroys the menu before answering null.
using CreateUnitFn = UnitBase* (*)(const void* block, int32_t length, uint32_t style, HWND parent,
                                   uint32_t controlId, HMENU menu, int32_t left, int32_t top,
                                   int32_t width, int32_t height, uint32_t windowId,
                                   uint32_t unitId, HWND designHost, int32_t designMode);
// value points at the value's two words as the kind table says (text: word 0 is
// the pointer; byte sets and fonts: pointer, length). Answers 1 when the unit
// must be rebuilt.
using SetUnitPropertyFn = int32_t (*)(UnitBase* unit, int32_t index, const uint32_t* value,
                                      uint32_t* out);
// Answers a GMEM_MOVEABLE | GMEM_SHARE block the caller frees; its length through length.
using SaveUnitPropertiesFn = HGLOBAL (*)(UnitBase* unit, uint32_t* length);
// value receives one or two words; texts and byte sets point into the unit.
using GetUnitPropertyFn = int32_t (*)(UnitBase* unit, int32_t index, uint32_t* value);
using GetWindowIconFn = HGLOBAL (*)(const void* block, int32_t length, uint32_t* iconLength);
using WantsKeyFn = int32_t (*)(UnitBase* unit, uint32_t key);
using ReportTextFn = void (*)(void* argument, const char* text, int32_t isFontFace);
using ListBlockTextsFn = HGLOBAL (*)(const void* block, int32_t length, ReportTextFn report,
                                     void* argument, uint32_t* newLength);
using IsDefaultButtonFn = int32_t (*)(UnitBase* unit);

// The address a value word holds (a text, a byte set, a font). Read every
// such word through this: the empty asm leaves the compiler no idea where the
// word came from. GCC 12 otherwise takes a pointer made from a word loaded out
// of a local array (the usual `uint32_t value[2]` a GetUnitProperty call
// fills) to point into that array itself, limits strlen on it to the array's
// size, and so copies a 726-byte text into a std::string's 16-byte inline
// buffer, over the caller's stack.
template <typename T> T* WordAddress(uint32_t word) {
    asm("" : "+r"(word));
    return reinterpret_cast<T*>(static_cast<uintptr_t>(word));
}

template <typename Fn> Fn UnitEntryOf(const TypeRecord* type, int32_t entry) {
    if (!type || !type->unitInterface) return nullptr;
    return reinterpret_cast<Fn>(type->unitInterface(entry));
}

// --- The window registry as units see it (callback 1001) ----------------------------

struct UnitRecordView; // st/template_record.h

class TemplateRegistry {
  public:
    virtual int32_t WindowCount() = 0;
    virtual uint32_t WindowIdAt(int32_t index) = 0;
    // Units of a window's current unit list, record 0 being the window itself;
    // -1 when the window is not in the registry.
    virtual int32_t UnitCount(uint32_t window) = 0;
    // The index-th record of the window's unit list; false when out of range.
    virtual bool UnitAt(uint32_t window, int32_t index, UnitRecordView& out) = 0;
    // A unit by id (0 = the window itself); false when missing.
    virtual bool FindUnit(uint32_t window, uint32_t unit, UnitRecordView& out) = 0;

  protected:
    ~TemplateRegistry() = default;
};

} // namespace st

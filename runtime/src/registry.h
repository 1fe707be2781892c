// The unit registry: the window templates read at start-up, the windows and
// units built from them, property access for application code, event
// dispatch to the application's handlers, and the runtime-callback requests
// that concern windows and units.
#pragma once

#include <map>

#include "runtime_state.h"
#include "st/template_record.h"
#include "st/units.h"
#include "template_segment.h"

namespace st {

class UnitRegistry final : public WindowRegistry, public TemplateRegistry {
  public:
    // --- WindowRegistry (the runtime's view) ---
    bool LoadTemplates(const void* start, uint32_t length, const void* codeBase) override;
    bool AnyWindowAlive() override;
    bool LoadWindow(uint32_t window, bool show, bool modal, HWND owner) override;
    void DestroyAll() override;
    uint64_t GetProperty(uint32_t window, uint32_t unit, int32_t index, int32_t part) override;
    void SetProperty(uint32_t window, uint32_t unit, int32_t index, int32_t part, uint32_t low,
                     uint32_t high) override;
    uint64_t Callback(int32_t code, uint32_t value1, uint32_t value2) override;
    uint32_t ModalWindow() override { return modal_; }
    bool PreTranslate(MSG& msg) override;
    bool IdleEvents(uint32_t milliseconds, bool newPeriod) override;

    // --- TemplateRegistry (what units see through callback 1001) ---
    int32_t WindowCount() override { return static_cast<int32_t>(windows_.size()); }
    uint32_t WindowIdAt(int32_t index) override;
    int32_t UnitCount(uint32_t window) override;
    bool UnitAt(uint32_t window, int32_t index, UnitRecordView& out) override;
    bool FindUnit(uint32_t window, uint32_t unit, UnitRecordView& out) override;

    // --- Finding ---
    WindowRecord* FindWindow(uint32_t id);
    // Index of a unit in a window's list; 0 stands for the window itself.
    int32_t FindUnitIndex(WindowRecord& w, uint32_t unit);
    // The live object of record index of w, or null.
    UnitBase* ObjectAt(WindowRecord& w, int32_t index);
    // The window's own unit object when its window exists.
    UnitBase* WindowObject(WindowRecord& w);
    // Windows whose own unit is live.
    int32_t LoadedCount();

    // --- Events ---
    // Handler entry point for (window, unit, event), or 0; sets the event source.
    uint32_t Dispatch(uint32_t window, uint32_t unit, int32_t event);
    uint32_t RaiseEvent(EventRecord& record);
    uint32_t RaiseTypedEvent(TypedEventRecord& record);

    // --- Destruction (callback 2000), release and rebuilding ---
    // A window or unit is gone: its objects leave their slots and are released.
    void UnitDestroyed(uint32_t window, uint32_t unit);
    // The one way a unit object created by a type's CreateUnit ends: deleted
    // at once, or, while an event's handler runs, after the outermost event
    // has returned to the message pump (AfterDispatch).
    void ReleaseObject(UnitBase* object);
    void AfterDispatch() override;
    void RebuildUnit(WindowRecord& w, int32_t index);
    // Unit objects released but not yet deleted (tests).
    size_t ReleasePending() const { return released_.size(); }

    void Clear(); // forgets every window (tests)

  private:
    bool CreateUnits(WindowRecord& w, HWND window);
    void FinishUnits(WindowRecord& w, HWND window, int32_t onlyIndex);
    void CreateCursor(UnitRecordView& v);
    void DestroyCursor(UnitRecordView& v);
    bool OnHiddenPage(WindowRecord& w, uint32_t unit);
    void ShowUnit(WindowRecord& w, int32_t index, bool show);
    uint64_t GetCommon(WindowRecord& w, int32_t index, int32_t property);
    void SetCommon(WindowRecord& w, int32_t index, int32_t property, uint32_t low);
    uint64_t GetMenuItem(WindowRecord& w, int32_t index, int32_t property);
    void SetMenuItem(WindowRecord& w, int32_t index, int32_t property, uint32_t low);
    uint64_t GetTyped(WindowRecord& w, int32_t index, int32_t property, int32_t part);
    void SetTyped(WindowRecord& w, int32_t index, int32_t property, int32_t part, uint32_t low,
                  uint32_t high);
    HMENU BuildMenu(WindowRecord& w);
    // Clears record index's live slots (destroying its custom cursor) and
    // answers the object it held.
    UnitBase* TakeObject(WindowRecord& w, int32_t index);

    WindowList windows_;
    uint32_t modal_ = 0;
    bool loadingModal_ = false; // while the window of a modal load is created
    uint32_t codeBase_ = 0;
    std::map<uint32_t, uint8_t> keys_;   // callback 2011-2013
    std::vector<HCURSOR> ownedCursors_;  // made from pointer data; destroyed by us
    std::vector<uint32_t> idleDeclined_; // windows that answered false this idle period
    int32_t eventDepth_ = 0;             // handlers running, nested ones counted
    std::vector<UnitBase*> released_;    // deleted when no handler runs any more
};

// The runtime's registry.
UnitRegistry& Registry();

// Record i of a window's list, walked; false for menu items and broken records.
bool ViewUnit(WindowRecord& w, int32_t index, UnitRecordView& out);

// Conversion of a typed argument record to a 32-bit integer (callback 2001).
int32_t ValueToInteger(const TypedArg& arg);

// Mouse pointer: index 1-14 <-> system cursor identifier; other words unchanged.
uint32_t PointerIndexToCursor(uint32_t index);
uint32_t CursorToPointerIndex(uint32_t cursor);

// Font conversion between the application's FontRecord and LOGFONTA.
LOGFONTA FontFromRecord(const FontRecord& record);
// The current font of a property with one part (0-6) changed.
void ChangeFontPart(LOGFONTA& font, int32_t part, uint32_t value);
// One part (0-6) of a font as a property value (face: a new text).
uint32_t FontPart(const LOGFONTA& font, int32_t part);
FontRecord* NewFontRecord(const LOGFONTA& font);

// A type's own property (index as the type counts it) through its interface
// entries 6 and 4, converted by PropertyKind: texts and byte sets as new
// runtime values, logical 0/1, fonts as FontRecord or one part. Units and
// library objects (Notify 4, 5) alike. Write answers SetUnitProperty's
// result (1: rebuild), -1 when the type has no such entry.
// The PropertyKind of entry index of a type's property table; 0 when none.
uint16_t KindOf(const TypeRecord* type, int32_t index);
bool ReadConverted(const TypeRecord* type, void* object, int32_t index, uint16_t kind, int32_t part,
                   uint64_t& out);
int32_t WriteConverted(const TypeRecord* type, void* object, int32_t index, uint16_t kind,
                       int32_t part, uint32_t low, uint32_t high);
LOGFONTA DefaultGuiFont();

} // namespace st

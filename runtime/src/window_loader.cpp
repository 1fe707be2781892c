// Building a window and its units from the registry, rebuilding one unit,
// and the bookkeeping when windows and units are destroyed.
#include <algorithm>
#include <cstring>

#include "registry.h"

namespace st {

namespace {

constexpr UINT kAfterCreation = 0x806F;
constexpr UINT kUnitsExist = 0x8004;
constexpr UINT kLoadFinished = 0x8076;

uint32_t StyleBits(uint32_t flags) {
    uint32_t style = 0;
    if (flags & UnitFlag::Disabled) style |= WS_DISABLED;
    if (flags & UnitFlag::TabStop) style |= WS_TABSTOP;
    return style;
}

uint32_t TypeFlags(uint32_t typeId) {
    const TypeRecord* type = FindTypeRecord(typeId);
    return type ? type->flags : 0;
}

void SetSlot(uint32_t* slot, uint32_t value) {
    std::memcpy(slot, &value, 4);
}

uint32_t Slot(const uint32_t* slot) {
    uint32_t v;
    std::memcpy(&v, slot, 4);
    return v;
}

// A cursor from .cur file bytes (its first image).
HCURSOR CursorFromFile(const uint8_t* data, uint32_t length) {
    if (length < 22) return nullptr;
    uint16_t type, count, hotX, hotY;
    uint32_t size, offset;
    std::memcpy(&type, data + 2, 2);
    std::memcpy(&count, data + 4, 2);
    std::memcpy(&hotX, data + 10, 2);
    std::memcpy(&hotY, data + 12, 2);
    std::memcpy(&size, data + 14, 4);
    std::memcpy(&offset, data + 18, 4);
    if (type != 2 || count == 0 || offset > length || size > length - offset || size < 40)
        return nullptr;
    // A cursor resource is the image preceded by its hot spot.
    std::vector<uint8_t> resource(4 + size);
    std::memcpy(resource.data(), &hotX, 2);
    std::memcpy(resource.data() + 2, &hotY, 2);
    std::memcpy(resource.data() + 4, data + offset, size);
    return reinterpret_cast<HCURSOR>(CreateIconFromResourceEx(
        resource.data(), static_cast<DWORD>(resource.size()), FALSE, 0x00030000, 0, 0, 0));
}

// Control id of unit record index: 100, 110, ... in creation order (last record first).
uint32_t ControlId(const WindowRecord& w, int32_t index) {
    uint32_t id = 100;
    for (int32_t i = static_cast<int32_t>(w.units.ids.size()) - 1; i > index; --i)
        if (!IsMenuItem(w.units.ids[i])) id += 10;
    return id;
}

} // namespace

void UnitRegistry::CreateCursor(UnitRecordView& v) {
    if (v.pointerLength < 4) return;
    uint32_t cursorId;
    std::memcpy(&cursorId, v.pointer, 4);
    HCURSOR cursor = nullptr;
    if (v.pointerLength > 4) {
        cursor = CursorFromFile(v.pointer + 4, v.pointerLength - 4);
        if (cursor) ownedCursors_.push_back(cursor);
    } else if (cursorId != 0) {
        cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(cursorId));
    }
    SetSlot(v.cursorSlot, reinterpret_cast<uint32_t>(cursor));
}

void UnitRegistry::DestroyCursor(UnitRecordView& v) {
    HCURSOR cursor = reinterpret_cast<HCURSOR>(Slot(v.cursorSlot));
    SetSlot(v.cursorSlot, 0);
    auto it = std::find(ownedCursors_.begin(), ownedCursors_.end(), cursor);
    if (cursor && it != ownedCursors_.end()) {
        ownedCursors_.erase(it);
        ::DestroyCursor(cursor);
    }
}

bool UnitRegistry::OnHiddenPage(WindowRecord& w, uint32_t unit) {
    for (size_t i = 1; i < w.units.ids.size(); ++i) {
        UnitRecordView c;
        if (!ViewUnit(w, static_cast<int32_t>(i), c)) continue;
        bool firstPage = true;
        for (uint32_t k = 0; k < c.childCount; ++k) {
            uint32_t child;
            std::memcpy(&child, c.children + k, 4);
            if (child == 0)
                firstPage = false;
            else if (child == unit && !firstPage)
                return true;
        }
    }
    return false;
}

HMENU UnitRegistry::BuildMenu(WindowRecord& w) {
    // Menu items as one flat menu; the command id is the item's record index.
    HMENU menu = nullptr;
    for (size_t i = 1; i < w.units.ids.size(); ++i) {
        if (!IsMenuItem(w.units.ids[i])) continue;
        MenuItemView m;
        std::vector<uint8_t>& r = w.units.records[i];
        if (!m.Parse(r.data(), static_cast<uint32_t>(r.size())) || (m.Flags() & 1)) continue;
        if (!menu) menu = CreateMenu();
        UINT flags =
            MF_STRING | ((m.Flags() & 2) ? MF_GRAYED : 0) | ((m.Flags() & 4) ? MF_CHECKED : 0);
        AppendMenuA(menu, flags, i, m.caption);
    }
    return menu;
}

// Steps after creation, for all units (only < 0) or one rebuilt unit.
void UnitRegistry::FinishUnits(WindowRecord& w, HWND window, int32_t only) {
    int32_t n = static_cast<int32_t>(w.units.ids.size());
    int32_t first = only < 0 ? 1 : only, last = only < 0 ? n - 1 : only;
    for (int32_t i = first; i <= last; ++i) {
        UnitRecordView v;
        UnitBase* unit = ObjectAt(w, i);
        if (!unit || !unit->hwnd || !ViewUnit(w, i, v) || v.parent == 0) continue;
        if (UnitBase* container = ObjectAt(w, FindUnitIndex(w, v.parent)))
            if (container->hwnd) SetParent(unit->hwnd, container->hwnd);
    }
    if (only < 0) {
        // Record order is top to bottom.
        for (int32_t i = 1; i < n; ++i)
            if (UnitBase* unit = ObjectAt(w, i))
                if (unit->hwnd)
                    SetWindowPos(unit->hwnd, HWND_BOTTOM, 0, 0, 0, 0,
                                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    for (int32_t i = only < 0 ? 0 : only; i <= last; ++i) {
        UnitRecordView v;
        if (ObjectAt(w, i) && ViewUnit(w, i, v)) CreateCursor(v);
    }
    for (int32_t i = last; i >= first; --i)
        if (UnitBase* unit = ObjectAt(w, i))
            if (unit->hwnd) SendMessageA(unit->hwnd, kAfterCreation, 0, 0);
    if (only < 0) SendMessageA(window, kUnitsExist, 0, 0);
    for (int32_t i = first; i <= last; ++i) {
        UnitRecordView v;
        UnitBase* unit = ObjectAt(w, i);
        if (!unit || !unit->hwnd || !ViewUnit(w, i, v)) continue;
        bool visible = (v.Flags() & UnitFlag::Visible) &&
                       !(TypeFlags(v.type) & TypeFlag::Windowless) &&
                       !OnHiddenPage(w, w.units.ids[i]);
        ShowWindow(unit->hwnd, visible ? SW_SHOWNA : SW_HIDE);
    }
}

bool UnitRegistry::CreateUnits(WindowRecord& w, HWND window) {
    uint32_t controlId = 100;
    for (int32_t i = static_cast<int32_t>(w.units.ids.size()) - 1; i >= 1; --i) {
        if (IsMenuItem(w.units.ids[i])) continue;
        UnitRecordView v;
        if (!ViewUnit(w, i, v)) return false;
        auto create = UnitEntryOf<CreateUnitFn>(FindTypeRecord(v.type), UnitEntry::Create);
        UnitBase* unit = create ? create(v.propertyBlock, static_cast<int32_t>(v.propertyLength),
                                         StyleBits(v.Flags()), window, controlId, nullptr,
                                         v.geometry[0], v.geometry[1], v.geometry[2], v.geometry[3],
                                         w.id, w.units.ids[i], nullptr, 0)
                                : nullptr;
        if (!unit) return false;
        if (!ViewUnit(w, i, v)) return false;
        SetSlot(v.objectSlot, reinterpret_cast<uint32_t>(unit));
        controlId += 10;
    }
    return true;
}

bool UnitRegistry::LoadWindow(uint32_t id, bool show, bool modal, HWND owner) {
    WindowRecord* found = FindWindow(id);
    if (!found || found->units.ids.empty() || IsMenuItem(found->units.ids[0])) return false;
    WindowRecord& w = *found;

    if (UnitBase* self = WindowObject(w)) {
        // Already open: bring it forward, build nothing.
        if (show && !IsWindowVisible(self->hwnd)) self->ShowUnit(true);
        if (IsIconic(self->hwnd))
            ShowWindow(self->hwnd, SW_RESTORE);
        else
            SetActiveWindow(self->hwnd);
        return true;
    }

    HWND focus = GetFocus();
    EnterConstruction();
    w.saved = w.units;
    w.hasSaved = true;

    UnitRecordView v;
    UnitBase* self = nullptr;
    if (ViewUnit(w, 0, v)) {
        auto create = UnitEntryOf<CreateUnitFn>(FindTypeRecord(v.type), UnitEntry::Create);
        HMENU menu = BuildMenu(w);
        // The window type asks (code 3003) whether it is made for a modal load.
        loadingModal_ = modal;
        if (create)
            self = create(v.propertyBlock, static_cast<int32_t>(v.propertyLength),
                          StyleBits(v.Flags()), owner, 0, menu, v.geometry[0], v.geometry[1],
                          v.geometry[2], v.geometry[3], w.id, w.units.ids[0], nullptr, 0);
        loadingModal_ = false;
        if (!self && menu && IsMenu(menu)) DestroyMenu(menu);
    }
    if (self && ViewUnit(w, 0, v)) SetSlot(v.objectSlot, reinterpret_cast<uint32_t>(self));
    if (!self || !self->hwnd || !CreateUnits(w, self->hwnd)) {
        // Take down what was built; the window's own report restores the list
        // (and the window object deletes itself).
        HWND window = self ? self->hwnd : nullptr;
        if (window && IsWindow(window)) DestroyWindow(window);
        if (WindowObject(w) || w.hasSaved) UnitDestroyed(w.id, 0);
        if (self && !window) delete self; // an object without a window: nothing took it down
        LeaveConstruction();
        return false;
    }
    if (WindowLoadState* state = self->LoadState()) state->modal = modal;

    FinishUnits(w, self->hwnd, -1);
    if (show || (v.Flags() & UnitFlag::Visible)) self->ShowUnit(true);
    LeaveConstruction();

    for (int32_t event : {0, 3, 4}) {
        UnitBase* now = WindowObject(w);
        if (!now || !IsWindow(now->hwnd)) return true;
        EventRecord record{};
        record.window = w.id;
        record.unit = w.units.ids[0];
        record.event = event;
        RaiseEvent(record);
    }
    self = WindowObject(w);
    if (!self) return true;
    WindowLoadState* state = self->LoadState();

    if (modal) {
        for (auto& other : windows_) {
            UnitBase* o = other.get() == &w ? nullptr : WindowObject(*other);
            if (!o || !o->hwnd || !IsWindowEnabled(o->hwnd)) continue;
            EnableWindow(o->hwnd, FALSE);
            if (state) state->disabledForModal.push_back(o->hwnd);
        }
        modal_ = w.id;
    }

    for (int32_t i = static_cast<int32_t>(w.units.ids.size()) - 1; i >= 1; --i)
        if (UnitBase* unit = ObjectAt(w, i))
            if (unit->hwnd) SendMessageA(unit->hwnd, kLoadFinished, 0, 0);
    // A window loaded hidden leaves the focus where it was; one that was shown
    // was activated and keeps it.
    if (focus && IsWindow(focus) && GetFocus() != focus && !IsWindowVisible(self->hwnd))
        SetFocus(focus);
    if (state) state->completelyLoaded = true;
    return true;
}

void UnitRegistry::UnitDestroyed(uint32_t window, uint32_t unit) {
    WindowRecord* found = FindWindow(window);
    if (!found) return;
    WindowRecord& w = *found;
    int32_t index = FindUnitIndex(w, unit);
    if (index < 0) return;
    if (index > 0) {
        UnitRecordView v;
        if (ViewUnit(w, index, v)) {
            DestroyCursor(v);
            SetSlot(v.objectSlot, 0);
        } else if (IsMenuItem(w.units.ids[index])) {
            MenuItemView m;
            std::vector<uint8_t>& r = w.units.records[index];
            if (m.Parse(r.data(), static_cast<uint32_t>(r.size()))) SetSlot(m.objectSlot, 0);
        }
        return;
    }
    // The window itself: units without a window of their own (windowless
    // types) go with it, then the list is put back as it was before the load.
    for (size_t i = w.units.ids.size(); i-- > 0;) {
        UnitRecordView v;
        if (!ViewUnit(w, static_cast<int32_t>(i), v)) continue;
        DestroyCursor(v);
        UnitBase* object = reinterpret_cast<UnitBase*>(Slot(v.objectSlot));
        SetSlot(v.objectSlot, 0);
        if (i > 0 && object && (!object->hwnd || !IsWindow(object->hwnd))) delete object;
    }
    if (w.hasSaved) {
        w.units = std::move(w.saved);
        w.saved = UnitList{};
        w.hasSaved = false;
    }
    if (modal_ == w.id) modal_ = 0;
}

void UnitRegistry::DestroyAll() {
    std::vector<uint32_t> ids;
    for (auto& w : windows_)
        ids.push_back(w->id);
    for (uint32_t id : ids) {
        WindowRecord* w = FindWindow(id);
        UnitBase* self = w ? WindowObject(*w) : nullptr;
        if (self && self->hwnd && IsWindow(self->hwnd)) DestroyWindow(self->hwnd);
        // A window object that outlived its window still loses its units.
        if ((w = FindWindow(id)) && WindowObject(*w)) {
            UnitBase* object = WindowObject(*w);
            UnitDestroyed(id, 0);
            if (!object->hwnd || !IsWindow(object->hwnd)) delete object;
        }
    }
    for (HCURSOR cursor : ownedCursors_)
        ::DestroyCursor(cursor);
    ownedCursors_.clear();
    windows_.clear();
    modal_ = 0;
}

void UnitRegistry::RebuildUnit(WindowRecord& w, int32_t index) {
    UnitBase* self = WindowObject(w);
    UnitBase* unit = ObjectAt(w, index);
    UnitRecordView v;
    if (index <= 0 || !self || !unit || !ViewUnit(w, index, v)) return;
    const TypeRecord* type = FindTypeRecord(v.type);

    // The unit's current properties become its record's block.
    if (auto save = UnitEntryOf<SaveUnitPropertiesFn>(type, UnitEntry::SaveProperties)) {
        uint32_t length = 0;
        if (HGLOBAL block = save(unit, &length)) {
            const uint8_t* bytes = static_cast<const uint8_t*>(GlobalLock(block));
            if (bytes && length <= GlobalSize(block)) {
                std::vector<uint8_t>& r = w.units.records[index];
                r.resize(static_cast<size_t>(v.propertyBlock - v.record));
                r.insert(r.end(), bytes, bytes + length);
            }
            GlobalUnlock(block);
            GlobalFree(block);
        }
    }

    HWND old = unit->hwnd;
    HWND above = old ? GetWindow(old, GW_HWNDPREV) : nullptr;
    if (old && IsWindow(old)) DestroyWindow(old); // the unit reports 2000 and deletes itself
    if (ObjectAt(w, index) == unit && ViewUnit(w, index, v)) {
        DestroyCursor(v);
        SetSlot(v.objectSlot, 0);
        if (!old) delete unit;
    }

    auto create = UnitEntryOf<CreateUnitFn>(type, UnitEntry::Create);
    if (!create || !ViewUnit(w, index, v)) return;
    UnitBase* fresh =
        create(v.propertyBlock, static_cast<int32_t>(v.propertyLength), StyleBits(v.Flags()),
               self->hwnd, ControlId(w, index), nullptr, v.geometry[0], v.geometry[1],
               v.geometry[2], v.geometry[3], w.id, w.units.ids[index], nullptr, 0);
    if (!fresh || !ViewUnit(w, index, v)) return;
    SetSlot(v.objectSlot, reinterpret_cast<uint32_t>(fresh));
    if (fresh->hwnd)
        SetWindowPos(fresh->hwnd, above && IsWindow(above) ? above : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    FinishUnits(w, self->hwnd, index);
    if (fresh->hwnd) SendMessageA(fresh->hwnd, kLoadFinished, 0, 0);
}

} // namespace st

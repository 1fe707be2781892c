// Building a window and its units from the registry, rebuilding one unit,
// and the bookkeeping when windows and units are destroyed.
#include <algorithm>
#include <cstring>
#include <utility>

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
    v.SetCursor(reinterpret_cast<uint32_t>(cursor));
}

void UnitRegistry::DestroyCursor(UnitRecordView& v) {
    HCURSOR cursor = reinterpret_cast<HCURSOR>(v.Cursor());
    v.SetCursor(0);
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
        auto create = UnitEntryOf<CreateUnitFn>(FindTypeRecord(v.type), UnitEntry::CreateUnit);
        UnitBase* unit = create ? create(v.propertyBlock, static_cast<int32_t>(v.propertyLength),
                                         StyleBits(v.Flags()), window, controlId, nullptr,
                                         v.geometry[0], v.geometry[1], v.geometry[2], v.geometry[3],
                                         w.id, w.units.ids[i], nullptr, 0)
                                : nullptr;
        if (!unit) return false;
        if (!ViewUnit(w, i, v)) {
            ReleaseObject(unit);
            return false;
        }
        v.SetObject(unit);
        controlId += 10;
    }
    return true;
}

// Already open: bring it forward, build nothing.
static void BringForward(UnitBase& self, bool show) {
    if (show && !IsWindowVisible(self.hwnd)) self.ShowUnit(true);
    if (IsIconic(self.hwnd))
        ShowWindow(self.hwnd, SW_RESTORE);
    else
        SetActiveWindow(self.hwnd);
}

bool UnitRegistry::LoadWindow(uint32_t id, bool show, bool modal, HWND owner) {
    WindowRecord* found = FindWindow(id);
    if (!found || found->units.ids.empty() || IsMenuItem(found->units.ids[0])) return false;
    WindowRecord& w = *found;

    if (UnitBase* self = WindowObject(w)) {
        BringForward(*self, show);
        return true;
    }

    HWND focus = GetFocus();
    EnterConstruction();
    // Entering construction runs what waits in the queue; a handler there may
    // have loaded this very window.
    if (UnitBase* self = WindowObject(w)) {
        LeaveConstruction();
        BringForward(*self, show);
        return true;
    }
    w.saved = w.units;
    w.hasSaved = true;

    UnitRecordView v;
    UnitBase* self = nullptr;
    if (ViewUnit(w, 0, v)) {
        auto create = UnitEntryOf<CreateUnitFn>(FindTypeRecord(v.type), UnitEntry::CreateUnit);
        // The create entry takes the menu; without one it goes here.
        OwnedMenu menu(BuildMenu(w));
        // The window type asks (code 3003) whether it is made for a modal load.
        loadingModal_ = modal;
        if (create)
            self =
                create(v.propertyBlock, static_cast<int32_t>(v.propertyLength),
                       StyleBits(v.Flags()), owner, 0, menu.release(), v.geometry[0], v.geometry[1],
                       v.geometry[2], v.geometry[3], w.id, w.units.ids[0], nullptr, 0);
        loadingModal_ = false;
    }
    if (self) {
        if (ViewUnit(w, 0, v))
            v.SetObject(self);
        else
            ReleaseObject(std::exchange(self, nullptr));
    }
    if (!self || !self->hwnd || !CreateUnits(w, self->hwnd)) {
        // Take down what was built: the window's report (or ours, when it
        // has none) releases every object and restores the list.
        HWND window = self ? self->hwnd : nullptr;
        if (window && IsWindow(window)) DestroyWindow(window);
        if (WindowObject(w) || w.hasSaved) UnitDestroyed(w.id, 0);
        LeaveConstruction();
        return false;
    }
    if (WindowLoadState* state = self->LoadState()) state->modal = modal;

    FinishUnits(w, self->hwnd, -1);
    const bool shown = show || (v.Flags() & UnitFlag::Visible);
    LeaveConstruction();

    // Events 0, 3 and 4 first; the first show then raises the activation and
    // focus events, which construction would have swallowed.
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
    if (shown) {
        self->ShowUnit(true);
        if (!(self = WindowObject(w))) return true;
    }
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
        ReleaseObject(TakeObject(w, index));
        return;
    }
    // The window itself: its object and every unit still in the list
    // (windowless types among them) go with it, then the list is put back as
    // it was before the load.
    for (size_t i = w.units.ids.size(); i-- > 0;)
        ReleaseObject(TakeObject(w, static_cast<int32_t>(i)));
    if (w.hasSaved) {
        w.units = std::move(w.saved);
        w.saved = UnitList{};
        w.hasSaved = false;
    }
    if (modal_ == w.id) modal_ = 0;
}

UnitBase* UnitRegistry::TakeObject(WindowRecord& w, int32_t index) {
    UnitBase* object = nullptr;
    UnitRecordView v;
    if (ViewUnit(w, index, v)) {
        DestroyCursor(v);
        object = v.Object();
        v.SetObject(nullptr);
    } else if (index >= 0 && static_cast<size_t>(index) < w.units.ids.size() &&
               IsMenuItem(w.units.ids[index])) {
        MenuItemView m;
        std::vector<uint8_t>& r = w.units.records[index];
        if (m.Parse(r.data(), static_cast<uint32_t>(r.size()))) {
            object = m.Object();
            m.SetObject(nullptr);
        }
    }
    return object;
}

void UnitRegistry::ReleaseObject(UnitBase* object) {
    if (!object) return;
    // A handler may still be running on the object's behalf (one that pumps
    // messages while its window is closed): the object waits for the
    // outermost event to end.
    if (eventDepth_ > 0)
        released_.push_back(object);
    else
        delete object;
}

void UnitRegistry::AfterDispatch() {
    if (eventDepth_ > 0 || released_.empty()) return;
    std::vector<UnitBase*> objects;
    objects.swap(released_);
    for (UnitBase* object : objects)
        delete object;
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
        if ((w = FindWindow(id)) && WindowObject(*w)) UnitDestroyed(id, 0);
    }
    AfterDispatch();
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
    if (auto save = UnitEntryOf<SaveUnitPropertiesFn>(type, UnitEntry::SaveUnitProperties)) {
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
    if (old && IsWindow(old)) DestroyWindow(old); // the unit reports 2000: released
    if (ObjectAt(w, index) == unit) ReleaseObject(TakeObject(w, index));

    auto create = UnitEntryOf<CreateUnitFn>(type, UnitEntry::CreateUnit);
    if (!create || !ViewUnit(w, index, v)) return;
    UnitBase* fresh =
        create(v.propertyBlock, static_cast<int32_t>(v.propertyLength), StyleBits(v.Flags()),
               self->hwnd, ControlId(w, index), nullptr, v.geometry[0], v.geometry[1],
               v.geometry[2], v.geometry[3], w.id, w.units.ids[index], nullptr, 0);
    if (!fresh) return;
    if (!ViewUnit(w, index, v)) {
        ReleaseObject(fresh);
        return;
    }
    v.SetObject(fresh);
    if (fresh->hwnd)
        SetWindowPos(fresh->hwnd, above && IsWindow(above) ? above : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    FinishUnits(w, self->hwnd, index);
    if (fresh->hwnd) SendMessageA(fresh->hwnd, kLoadFinished, 0, 0);
}

} // namespace st

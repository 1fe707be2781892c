// GetProperty and SetProperty: the common properties 0-7 from the unit record
// and the live window, the type's own properties through its UnitInterface.
#include <algorithm>
#include <cstring>

#include "registry.h"

namespace st {

namespace {

constexpr int32_t kCoordinateLimit = 32627;

const char* const kCursorNames[15] = {
    nullptr,    IDC_ARROW,       IDC_CROSS,  IDC_IBEAM,   IDC_WAIT,
    IDC_HELP,   IDC_APPSTARTING, IDC_NO,     IDC_SIZEALL, IDC_SIZENESW,
    IDC_SIZENS, IDC_SIZENWSE,    IDC_SIZEWE, IDC_UPARROW, IDC_HAND,
};

uint32_t CursorWord(int32_t index) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kCursorNames[index]));
}

bool IsTextKind(uint16_t kind) {
    return kind == PropertyKind::Text || kind == PropertyKind::FileName ||
           kind == PropertyKind::DataSource || kind == PropertyKind::DataColumn;
}

bool IsByteSetKind(uint16_t kind) {
    return kind == PropertyKind::Picture || kind == PropertyKind::Icon ||
           kind == PropertyKind::MousePointer || kind == PropertyKind::Sound;
}

} // namespace

uint16_t KindOf(const TypeRecord* type, int32_t index) {
    if (!type || !type->properties || index < 0 || index >= type->propertyCount) return 0;
    return static_cast<const PropertyEntry*>(type->properties)[index].kind;
}

namespace {

// The record with bytes [from, to) replaced.
void Splice(std::vector<uint8_t>& record, size_t from, size_t to, const void* bytes, size_t n) {
    std::vector<uint8_t> out(record.begin(), record.begin() + static_cast<ptrdiff_t>(from));
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    out.insert(out.end(), b, b + n);
    out.insert(out.end(), record.begin() + static_cast<ptrdiff_t>(to), record.end());
    record.swap(out);
}

bool Live(UnitBase* unit) {
    return unit && unit->hwnd && IsWindow(unit->hwnd);
}

// The window rectangle in its parent's client coordinates (screen for top-level windows).
RECT PlacedRect(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    if (GetWindowLongA(h, GWL_STYLE) & WS_CHILD)
        MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

uint64_t Word(int32_t v) {
    return static_cast<uint32_t>(v);
}

} // namespace

uint32_t PointerIndexToCursor(uint32_t index) {
    return index >= 1 && index <= 14 ? CursorWord(static_cast<int32_t>(index)) : index;
}

uint32_t CursorToPointerIndex(uint32_t cursor) {
    for (int32_t i = 1; i <= 14; ++i)
        if (CursorWord(i) == cursor) return static_cast<uint32_t>(i);
    return cursor;
}

LOGFONTA DefaultGuiFont() {
    LOGFONTA font{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    return font;
}

// A face name of 1 to longest bytes is kept; anything else becomes 宋体.
static void SetFace(LOGFONTA& font, const char* face, size_t longest) {
    size_t n = face ? std::strlen(face) : 0;
    if (n == 0 || n > longest) face = "宋体", n = std::strlen(face);
    std::memset(font.lfFaceName, 0, sizeof font.lfFaceName);
    std::memcpy(font.lfFaceName, face, n);
}

LOGFONTA FontFromRecord(const FontRecord& r) {
    LOGFONTA font{};
    font.lfEscapement = font.lfOrientation = r.angle;
    font.lfWeight = r.bold ? FW_BOLD : 0;
    font.lfItalic = r.italic ? 1 : 0;
    font.lfUnderline = r.underline ? 1 : 0;
    font.lfStrikeOut = r.strikeOut ? 1 : 0;
    font.lfHeight = -MulDiv(std::max(r.size, 0), ScreenDpi(), 72);
    SetFace(font, r.face, 30); // a whole record: below 31 bytes
    return font;
}

void ChangeFontPart(LOGFONTA& font, int32_t part, uint32_t value) {
    int32_t v = static_cast<int32_t>(value);
    switch (part) {
    case 0:
        v %= 3600;
        font.lfEscapement = font.lfOrientation = v < 0 ? v + 3600 : v;
        break;
    case 1:
        font.lfWeight = v ? FW_BOLD : 0;
        break;
    case 2:
        font.lfItalic = v ? 1 : 0;
        break;
    case 3:
        font.lfUnderline = v ? 1 : 0;
        break;
    case 4:
        font.lfStrikeOut = v ? 1 : 0;
        break;
    case 5:
        font.lfHeight = -MulDiv(std::max(v, 0), ScreenDpi(), 72);
        break;
    case 6:
        SetFace(font, reinterpret_cast<const char*>(value), LF_FACESIZE - 1);
        break;
    }
}

static int32_t PointSize(const LOGFONTA& font) {
    return MulDiv(font.lfHeight < 0 ? -font.lfHeight : font.lfHeight, 72, ScreenDpi());
}

uint32_t FontPart(const LOGFONTA& font, int32_t part) {
    switch (part) {
    case 0:
        return static_cast<uint32_t>(font.lfEscapement);
    case 1:
        return font.lfWeight >= FW_BOLD ? 1 : 0;
    case 2:
        return font.lfItalic ? 1 : 0;
    case 3:
        return font.lfUnderline ? 1 : 0;
    case 4:
        return font.lfStrikeOut ? 1 : 0;
    case 5:
        return static_cast<uint32_t>(PointSize(font));
    case 6: {
        char face[LF_FACESIZE + 1] = {};
        std::memcpy(face, font.lfFaceName, LF_FACESIZE);
        return reinterpret_cast<uint32_t>(CopyText(face));
    }
    default:
        return 0;
    }
}

FontRecord* NewFontRecord(const LOGFONTA& font) {
    FontRecord* r = static_cast<FontRecord*>(AllocMemory(sizeof(FontRecord)));
    r->angle = font.lfEscapement;
    for (int32_t part = 1; part <= 5; ++part)
        (&r->angle)[part] = static_cast<int32_t>(FontPart(font, part));
    r->face = reinterpret_cast<TextValue>(FontPart(font, 6));
    return r;
}

// --- Lookup --------------------------------------------------------------------------

static WindowRecord& WindowOrFail(UnitRegistry& registry, uint32_t window) {
    WindowRecord* w = registry.FindWindow(window);
    if (!w) RuntimeError("未载入欲访问窗口组件所在的窗口", 0);
    return *w;
}

static int32_t UnitOrFail(UnitRegistry& registry, WindowRecord& w, uint32_t unit) {
    int32_t index = registry.FindUnitIndex(w, unit);
    if (index < 0) RuntimeError("指定窗口或窗口组件不存在或尚未载入", 0);
    return index;
}

uint64_t UnitRegistry::GetProperty(uint32_t window, uint32_t unit, int32_t property, int32_t part) {
    WindowRecord& w = WindowOrFail(*this, window);
    int32_t index = UnitOrFail(*this, w, unit);
    if (IsMenuItem(w.units.ids[index])) return GetMenuItem(w, index, property);
    if (property < 0) return 0;
    if (property < 8) return GetCommon(w, index, property);
    return GetTyped(w, index, property, part);
}

void UnitRegistry::SetProperty(uint32_t window, uint32_t unit, int32_t property, int32_t part,
                               uint32_t low, uint32_t high) {
    WindowRecord& w = WindowOrFail(*this, window);
    int32_t index = UnitOrFail(*this, w, unit);
    if (IsMenuItem(w.units.ids[index]))
        SetMenuItem(w, index, property, low);
    else if (property >= 0 && property < 8)
        SetCommon(w, index, property, low);
    else if (property >= 8)
        SetTyped(w, index, property, part, low, high);
}

// --- Common properties ------------------------------------------------------------------

uint64_t UnitRegistry::GetCommon(WindowRecord& w, int32_t index, int32_t property) {
    UnitRecordView v;
    if (!ViewUnit(w, index, v)) return 0;
    UnitBase* unit = ObjectAt(w, index);
    bool live = Live(unit);
    switch (property) {
    case 0:
    case 1: {
        if (!live) return Word(v.geometry[property]);
        RECT r = PlacedRect(unit->hwnd);
        return Word(property == 0 ? r.left : r.top);
    }
    case 2:
    case 3: {
        if (!live) return Word(v.geometry[property]);
        RECT r;
        GetWindowRect(unit->hwnd, &r);
        return Word(property == 2 ? r.right - r.left : r.bottom - r.top);
    }
    case 4:
        return reinterpret_cast<uint32_t>(CopyText(v.tag));
    case 5:
        return live ? (IsWindowVisible(unit->hwnd) ? 1 : 0) : (v.Flags() & UnitFlag::Visible);
    case 6:
        return live ? (IsWindowEnabled(unit->hwnd) ? 0 : 1) : (v.Flags() & UnitFlag::Disabled) >> 1;
    default: {
        std::vector<uint8_t> bytes(v.pointer, v.pointer + v.pointerLength);
        if (bytes.size() >= 4) {
            uint32_t first;
            std::memcpy(&first, bytes.data(), 4);
            first = CursorToPointerIndex(first);
            std::memcpy(bytes.data(), &first, 4);
        }
        return reinterpret_cast<uint32_t>(
            ByteSetFromBytes(bytes.data(), static_cast<int32_t>(bytes.size())));
    }
    }
}

void UnitRegistry::ShowUnit(WindowRecord& w, int32_t index, bool show) {
    UnitBase* unit = ObjectAt(w, index);
    UnitRecordView v;
    if (!unit || !ViewUnit(w, index, v)) return;
    if (index > 0) {
        if (FindTypeRecord(v.type) && (FindTypeRecord(v.type)->flags & TypeFlag::Windowless))
            return; // stays hidden
        if (show && OnHiddenPage(w, w.units.ids[index])) return;
    }
    unit->ShowUnit(show);
}

void UnitRegistry::SetCommon(WindowRecord& w, int32_t index, int32_t property, uint32_t low) {
    UnitRecordView v;
    if (!ViewUnit(w, index, v)) return;
    UnitBase* unit = ObjectAt(w, index);
    bool live = Live(unit);
    int32_t value = static_cast<int32_t>(low);
    switch (property) {
    case 0:
    case 1: {
        value = std::clamp(value, -kCoordinateLimit, kCoordinateLimit);
        v.geometry[property] = value;
        if (!live) return;
        RECT r = PlacedRect(unit->hwnd);
        SetWindowPos(unit->hwnd, nullptr, property == 0 ? value : r.left,
                     property == 1 ? value : r.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    case 2:
    case 3: {
        value = std::clamp(value, 0, kCoordinateLimit);
        v.geometry[property] = value;
        if (!live) return;
        RECT r;
        GetWindowRect(unit->hwnd, &r);
        SetWindowPos(unit->hwnd, nullptr, 0, 0, property == 2 ? value : r.right - r.left,
                     property == 3 ? value : r.bottom - r.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    case 4: {
        const char* tag = low ? reinterpret_cast<const char*>(low) : "";
        Splice(w.units.records[index], v.tagOffset, v.afterTagOffset, tag, std::strlen(tag) + 1);
        return;
    }
    case 5: {
        uint32_t flags = (v.Flags() & ~UnitFlag::Visible) | (low ? UnitFlag::Visible : 0);
        std::memcpy(v.flags, &flags, 4);
        if (unit) ShowUnit(w, index, low != 0);
        return;
    }
    case 6: {
        uint32_t flags = (v.Flags() & ~UnitFlag::Disabled) | (low ? UnitFlag::Disabled : 0);
        std::memcpy(v.flags, &flags, 4);
        if (live) EnableWindow(unit->hwnd, low ? FALSE : TRUE);
        return;
    }
    default: {
        const void* set = reinterpret_cast<const void*>(low);
        int32_t n = std::max(ByteSetLength(set), 0);
        std::vector<uint8_t> block(4);
        uint32_t length = static_cast<uint32_t>(n);
        std::memcpy(block.data(), &length, 4);
        if (n) block.insert(block.end(), ByteSetData(set), ByteSetData(set) + n);
        if (n >= 4) {
            uint32_t first;
            std::memcpy(&first, block.data() + 4, 4);
            first = PointerIndexToCursor(first);
            std::memcpy(block.data() + 4, &first, 4);
        }
        DestroyCursor(v);
        size_t from = static_cast<size_t>(v.pointer - v.record) - 4;
        Splice(w.units.records[index], from, v.tagOffset, block.data(), block.size());
        if (!ViewUnit(w, index, v)) return;
        if (unit) CreateCursor(v);
        if (live) {
            POINT at;
            GetCursorPos(&at);
            SetCursorPos(at.x, at.y);
        }
        return;
    }
    }
}

// --- Menu items: caption (0), the two state bits (1, 2), visible (3) -----------------------

uint64_t UnitRegistry::GetMenuItem(WindowRecord& w, int32_t index, int32_t property) {
    MenuItemView m;
    std::vector<uint8_t>& r = w.units.records[index];
    if (!m.Parse(r.data(), static_cast<uint32_t>(r.size()))) return 0;
    switch (property) {
    case 0:
        return reinterpret_cast<uint32_t>(CopyText(m.caption));
    case 1:
    case 2:
        return (m.Flags() >> property) & 1;
    case 3:
        return (m.Flags() & 1) ? 0 : 1;
    default:
        return 0;
    }
}

void UnitRegistry::SetMenuItem(WindowRecord& w, int32_t index, int32_t property, uint32_t low) {
    MenuItemView m;
    std::vector<uint8_t>& r = w.units.records[index];
    if (!m.Parse(r.data(), static_cast<uint32_t>(r.size()))) return;
    uint32_t flags = m.Flags();
    switch (property) {
    case 0: {
        const char* caption = low ? reinterpret_cast<const char*>(low) : "";
        size_t end = static_cast<size_t>(reinterpret_cast<const uint8_t*>(m.handler) - m.record);
        Splice(r, m.captionOffset, end, caption, std::strlen(caption) + 1);
        return;
    }
    case 1:
    case 2:
        flags = (flags & ~(1u << property)) | ((low ? 1u : 0u) << property);
        break;
    case 3:
        flags = (flags & ~1u) | (low ? 0u : 1u);
        break;
    default:
        return;
    }
    std::memcpy(m.flags, &flags, 4);
}

// --- The type's own properties --------------------------------------------------------------

// The current font of a property: the unit's 60-byte description, else the
// default GUI font.
static LOGFONTA CurrentFont(GetUnitPropertyFn get, void* object, int32_t index) {
    LOGFONTA font = DefaultGuiFont();
    uint32_t value[2] = {0, 0};
    if (get && get(static_cast<UnitBase*>(object), index, value) && value[0] &&
        value[1] == FontDescriptionSize)
        std::memcpy(&font, WordAddress<const void>(value[0]), sizeof font);
    return font;
}

bool ReadConverted(const TypeRecord* type, void* object, int32_t index, uint16_t kind, int32_t part,
                   uint64_t& out) {
    auto get = UnitEntryOf<GetUnitPropertyFn>(type, UnitEntry::GetUnitProperty);
    uint32_t value[2] = {0, 0};
    if (!get || !get(static_cast<UnitBase*>(object), index, value)) return false;
    if (IsTextKind(kind)) {
        out = reinterpret_cast<uint32_t>(CopyText(WordAddress<const char>(value[0])));
    } else if (IsByteSetKind(kind)) {
        out = value[0] ? reinterpret_cast<uint32_t>(
                             ByteSetFromBytes(WordAddress<const void>(value[0]),
                                              std::max(static_cast<int32_t>(value[1]), 0)))
                       : 0;
    } else if (kind == PropertyKind::Logical) {
        out = value[0] ? 1 : 0;
    } else if (kind == PropertyKind::Font) {
        LOGFONTA font = CurrentFont(get, object, index);
        out = part == -1 ? reinterpret_cast<uint32_t>(NewFontRecord(font)) : FontPart(font, part);
    } else {
        out = value[0] | static_cast<uint64_t>(value[1]) << 32;
    }
    return true;
}

int32_t WriteConverted(const TypeRecord* type, void* object, int32_t index, uint16_t kind,
                       int32_t part, uint32_t low, uint32_t high) {
    auto set = UnitEntryOf<SetUnitPropertyFn>(type, UnitEntry::SetUnitProperty);
    if (!set) return -1;
    static const uint8_t kNoBytes[1] = {0};
    uint32_t value[2] = {low, high};
    LOGFONTA font;
    if (IsTextKind(kind)) {
        value[0] = low ? low : reinterpret_cast<uint32_t>(EmptyText);
        value[1] = 0;
    } else if (IsByteSetKind(kind)) {
        const void* bytes = reinterpret_cast<const void*>(low);
        int32_t n = std::max(ByteSetLength(bytes), 0);
        value[0] = reinterpret_cast<uint32_t>(n ? ByteSetData(bytes) : kNoBytes);
        value[1] = static_cast<uint32_t>(n);
    } else if (kind == PropertyKind::Logical) {
        value[0] = low ? 1 : 0;
        value[1] = 0;
    } else if (kind == PropertyKind::Font) {
        if (part == -1) {
            if (low) font = FontFromRecord(*reinterpret_cast<const FontRecord*>(low));
        } else if (part >= 0 && part <= 6) {
            font = CurrentFont(UnitEntryOf<GetUnitPropertyFn>(type, UnitEntry::GetUnitProperty),
                               object, index);
            ChangeFontPart(font, part, low);
        } else {
            return -1;
        }
        bool none = part == -1 && !low;
        value[0] = none ? 0 : reinterpret_cast<uint32_t>(&font);
        value[1] = none ? 0 : FontDescriptionSize;
    }
    uint32_t out = 0;
    return set(static_cast<UnitBase*>(object), index, value, &out);
}

uint64_t UnitRegistry::GetTyped(WindowRecord& w, int32_t index, int32_t property, int32_t part) {
    UnitBase* unit = ObjectAt(w, index);
    UnitRecordView v;
    if (!unit || !ViewUnit(w, index, v)) RuntimeError("指定窗口尚未载入", 0);
    const TypeRecord* type = FindTypeRecord(v.type);
    uint64_t value = 0;
    return ReadConverted(type, unit, property - 8, KindOf(type, property), part, value) ? value : 0;
}

void UnitRegistry::SetTyped(WindowRecord& w, int32_t index, int32_t property, int32_t part,
                            uint32_t low, uint32_t high) {
    UnitBase* unit = ObjectAt(w, index);
    UnitRecordView v;
    if (!unit || !ViewUnit(w, index, v)) RuntimeError("指定窗口尚未载入", 0);
    const TypeRecord* type = FindTypeRecord(v.type);
    if (WriteConverted(type, unit, property - 8, KindOf(type, property), part, low, high) != 1)
        return;
    if (!WindowObject(w)) return;
    // Properties that only a new control can take: rebuild the unit.
    uint32_t unitId = w.units.ids[index], windowId = w.id;
    EnterConstruction();
    if (WindowRecord* again = FindWindow(windowId)) {
        int32_t at = FindUnitIndex(*again, unitId);
        if (at > 0 && WindowObject(*again)) RebuildUnit(*again, at);
    }
    LeaveConstruction();
}

} // namespace st

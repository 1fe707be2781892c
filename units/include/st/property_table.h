// One row per property: a unit type lists its own properties once, and the
// properties struct, the type's property entries, SetProperty and
// GetProperty all come from that list.
//
// The list is an X-macro in a header of its own (no includes, so that the
// core library's type table can count it without <windows.h>):
//
//   #define ST_EDIT_BOX_PROPERTIES(ROW)  (each line but the last ends in a backslash)
//       ROW(text,      Text,    0x8000, {},            0, 0, &EditBoxUnit::ApplyText, Live)
//       ROW(maxLength, Integer, 0x8000, 0,             0, 0, nullptr,                 Rebuild)
//       ROW(colour,    Colour,  0x8000, DefaultColour, 0, 0, &EditBoxUnit::Repaint,   Live)
//
// Columns, in order:
//   field    the member of the properties struct (and of the index enum)
//   kind     PropertyKind of the entry; it also says how the value travels and
//            how it is stored (see PropertyValueOf):
//              Integer, Choice, MousePointer    int32_t
//              Logical                          int32_t, stored as 0 or 1
//              Colour, ColourOrDefault          uint32_t
//              Text, FileName, Data*            std::string (value[0] is the text)
//              Picture, Icon, Sound, Font       std::vector<uint8_t> (value[0]
//                                               the bytes, value[1] the length)
//   state    the entry's state word (0x8000, | 1, 2, 8)
//   initial  the default: a number, or {} for empty texts and byte blocks
//   low, high  integers are clamped into [low, high] when low < high (on a set
//            and after reading a stored block); 0, 0 leaves them alone
//   apply    a member function of the unit run after a set, or nullptr
//   effect   Live: the set is done once stored and applied; Rebuild: the
//            runtime must build the unit anew (SetProperty answers 1);
//            RebuildOnChange: a number that only a new control shows, rebuilt
//            for when the stored value changed
//
// In the unit type:
//
//   struct EditBoxProperties {
//       ST_EDIT_BOX_PROPERTIES(ST_PROPERTY_FIELD)
//       void Reset() { *this = EditBoxProperties{}; }
//       ...
//   };
//   enum class EditBoxProperty : int32_t { ST_EDIT_BOX_PROPERTIES(ST_PROPERTY_NAME) };
//   const PropertyEntry EditBoxPropertyEntries[] = {
//       ST_COMMON_PROPERTY_ENTRIES ST_EDIT_BOX_PROPERTIES(ST_PROPERTY_ENTRY)};
//   // a static member of the unit class, so that apply may be private;
//   // ST_PROPERTY_ROW names the properties struct as Props:
//   using Props = EditBoxProperties;
//   const PropertyRow<EditBoxUnit, EditBoxProperties> EditBoxUnit::kPropertyRows[] = {
//       ST_EDIT_BOX_PROPERTIES(ST_PROPERTY_ROW)};
//
// and SetProperty / GetProperty / Clamp call SetPropertyFromRows,
// GetPropertyFromRows and ClampFromRows; the UnitInterface entries 4 and 6
// are SetPropertyEntry / GetPropertyEntry, entry 9 ListTextsOf. A type that
// reads or writes a property otherwise (a value the live control holds)
// answers that index itself before handing the rest to the rows. The stored
// block's order is the type's own (Transfer), not the list's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "st/unit_base.h"
#include "st/units.h"

namespace st {

// How a property's value travels through Set/GetProperty and is stored.
enum class PropertyValue { Integer, Logical, Colour, Text, Bytes };

constexpr PropertyValue PropertyValueOf(uint16_t kind) {
    switch (kind) {
    case PropertyKind::Logical:
        return PropertyValue::Logical;
    case PropertyKind::Colour:
    case PropertyKind::ColourOrDefault:
        return PropertyValue::Colour;
    case PropertyKind::Text:
    case PropertyKind::FileName:
    case PropertyKind::DataSource:
    case PropertyKind::DataColumn:
        return PropertyValue::Text;
    case PropertyKind::Picture:
    case PropertyKind::Icon:
    case PropertyKind::Sound:
    case PropertyKind::Font:
        return PropertyValue::Bytes;
    default:
        return PropertyValue::Integer;
    }
}

template <PropertyValue V> struct PropertyStorage { using Type = int32_t; };
template <> struct PropertyStorage<PropertyValue::Colour> { using Type = uint32_t; };
template <> struct PropertyStorage<PropertyValue::Text> { using Type = std::string; };
template <> struct PropertyStorage<PropertyValue::Bytes> { using Type = std::vector<uint8_t>; };
template <uint16_t Kind>
using PropertyField = typename PropertyStorage<PropertyValueOf(Kind)>::Type;

enum class PropertyEffect { Live, Rebuild, RebuildOnChange };

// A member of the properties struct, whichever of the four storage types it has.
template <class Props> struct PropertyMember {
    int32_t Props::*integer = nullptr;
    uint32_t Props::*colour = nullptr;
    std::string Props::*text = nullptr;
    std::vector<uint8_t> Props::*bytes = nullptr;

    constexpr PropertyMember(int32_t Props::*m) : integer(m) {}
    constexpr PropertyMember(uint32_t Props::*m) : colour(m) {}
    constexpr PropertyMember(std::string Props::*m) : text(m) {}
    constexpr PropertyMember(std::vector<uint8_t> Props::*m) : bytes(m) {}
};

template <class Unit, class Props> struct PropertyRow {
    uint16_t kind;
    PropertyMember<Props> member;
    int32_t low, high;
    void (Unit::*apply)();
    PropertyEffect effect;
};

// --- The row macros ----------------------------------------------------------------------

#define ST_PROPERTY_FIELD(field, kind, state, initial, low, high, apply, effect)                   \
    ::st::PropertyField<::st::PropertyKind::kind> field = initial;
#define ST_PROPERTY_NAME(field, kind, state, initial, low, high, apply, effect) field,
#define ST_PROPERTY_ENTRY(field, kind, state, initial, low, high, apply, effect)                   \
    {"", "", "", ::st::PropertyKind::kind, state, nullptr},
#define ST_PROPERTY_ROW(field, kind, state, initial, low, high, apply, effect)                     \
    {::st::PropertyKind::kind, &Props::field, low, high, apply, ::st::PropertyEffect::effect},

// The eight properties every window unit has (left, top, width, height, tag,
// visible, disabled, mouse pointer); the runtime keeps them, and a type's
// own properties follow them in its entry table.
inline constexpr int32_t CommonPropertyCount = 8;
#define ST_COMMON_PROPERTY_ENTRIES                                                                 \
    {"", "", "", ::st::PropertyKind::Integer, 0xE000, nullptr},                                    \
        {"", "", "", ::st::PropertyKind::Integer, 0xE000, nullptr},                                \
        {"", "", "", ::st::PropertyKind::Integer, 0xE000, nullptr},                                \
        {"", "", "", ::st::PropertyKind::Integer, 0xE000, nullptr},                                \
        {"", "", "", ::st::PropertyKind::Text, 0xE000, nullptr},                                   \
        {"", "", "", ::st::PropertyKind::Logical, 0xE000, nullptr},                                \
        {"", "", "", ::st::PropertyKind::Logical, 0xE000, nullptr},                                \
        {"", "", "", ::st::PropertyKind::MousePointer, 0xE000, nullptr},

// --- What comes of the rows --------------------------------------------------------------

template <class Unit, class Props>
void ClampProperty(const PropertyRow<Unit, Props>& row, Props& props) {
    switch (PropertyValueOf(row.kind)) {
    case PropertyValue::Integer:
        if (row.low < row.high)
            props.*row.member.integer = Clamp(props.*row.member.integer, row.low, row.high);
        break;
    case PropertyValue::Logical:
        props.*row.member.integer = props.*row.member.integer != 0;
        break;
    default:
        break;
    }
}

// After reading a stored block: every number back into its range.
template <class Unit, class Props, size_t N>
void ClampFromRows(const PropertyRow<Unit, Props> (&rows)[N], Props& props) {
    for (const auto& row : rows)
        ClampProperty(row, props);
}

// UnitInterface entry 4 on a type's own property index: stores the value as
// the row says (texts: word 0 points at the text, null = empty; byte blocks
// and fonts: address and length), applies it, and answers 1 when the unit
// must be rebuilt. Indices outside the list are ignored (0).
template <class Unit, class Props, size_t N>
int32_t SetPropertyFromRows(const PropertyRow<Unit, Props> (&rows)[N], Unit& unit, Props& props,
                            int32_t index, const uint32_t* value) {
    if (index < 0 || static_cast<size_t>(index) >= N || !value) return 0;
    const PropertyRow<Unit, Props>& row = rows[index];
    bool changed = true;
    switch (PropertyValueOf(row.kind)) {
    case PropertyValue::Integer:
    case PropertyValue::Logical: {
        const int32_t before = props.*row.member.integer;
        props.*row.member.integer = static_cast<int32_t>(value[0]);
        ClampProperty(row, props);
        changed = props.*row.member.integer != before;
        break;
    }
    case PropertyValue::Colour:
        props.*row.member.colour = value[0];
        break;
    case PropertyValue::Text: {
        const char* p = reinterpret_cast<const char*>(static_cast<uintptr_t>(value[0]));
        props.*row.member.text = p ? p : "";
        break;
    }
    case PropertyValue::Bytes: {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(value[0]));
        int32_t n = static_cast<int32_t>(value[1]);
        props.*row.member.bytes =
            p && n > 0 ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
        break;
    }
    }
    if (row.effect == PropertyEffect::RebuildOnChange) return changed ? 1 : 0;
    if (row.apply) (unit.*row.apply)();
    return row.effect == PropertyEffect::Rebuild ? 1 : 0;
}

// UnitInterface entry 6 on a type's own property index: one word, or (texts)
// the text's address, or (byte blocks) address and length, null for none;
// both point into the unit. Answers 0 for an index outside the list.
template <class Unit, class Props, size_t N>
int32_t GetPropertyFromRows(const PropertyRow<Unit, Props> (&rows)[N], const Props& props,
                            int32_t index, uint32_t* value) {
    if (index < 0 || static_cast<size_t>(index) >= N || !value) return 0;
    const PropertyRow<Unit, Props>& row = rows[index];
    value[1] = 0;
    switch (PropertyValueOf(row.kind)) {
    case PropertyValue::Integer:
    case PropertyValue::Logical:
        value[0] = static_cast<uint32_t>(props.*row.member.integer);
        break;
    case PropertyValue::Colour:
        value[0] = props.*row.member.colour;
        break;
    case PropertyValue::Text:
        value[0] = reinterpret_cast<uintptr_t>((props.*row.member.text).c_str());
        break;
    case PropertyValue::Bytes: {
        const std::vector<uint8_t>& bytes = props.*row.member.bytes;
        value[0] = bytes.empty() ? 0 : reinterpret_cast<uintptr_t>(bytes.data());
        value[1] = static_cast<uint32_t>(bytes.size());
        break;
    }
    }
    return 1;
}

// UnitInterface entries 4 and 6 for a unit class T with SetProperty and
// GetProperty of its own; other objects (and, when LiveOnly, a unit whose
// window is gone) answer 0.
template <typename T, bool LiveOnly = false>
int32_t SetPropertyEntry(UnitBase* unit, int32_t index, const uint32_t* value, uint32_t* out) {
    if (out) *out = 0;
    auto* own = dynamic_cast<T*>(unit);
    return own && (!LiveOnly || own->hwnd) && value ? own->SetProperty(index, value) : 0;
}
template <typename T, bool LiveOnly = false>
int32_t GetPropertyEntry(UnitBase* unit, int32_t index, uint32_t* value) {
    auto* own = dynamic_cast<T*>(unit);
    return own && (!LiveOnly || own->hwnd) && value ? own->GetProperty(index, value) : 0;
}

// The UnitInterface entries every unit type answers alike: 1 create
// (CreateUnitOf<T>), 4 set, 5 save and 6 get; null for the others, which a
// type answers itself before handing the rest here.
template <typename T, bool LiveOnly = false> void* CommonUnitEntry(int32_t entry) {
    switch (entry) {
    case UnitEntry::CreateUnit:
        return reinterpret_cast<void*>(static_cast<CreateUnitFn>(&CreateUnitOf<T>));
    case UnitEntry::SetUnitProperty:
        return reinterpret_cast<void*>(
            static_cast<SetUnitPropertyFn>(&SetPropertyEntry<T, LiveOnly>));
    case UnitEntry::SaveUnitProperties:
        return reinterpret_cast<void*>(static_cast<SaveUnitPropertiesFn>(&SaveUnitProperties));
    case UnitEntry::GetUnitProperty:
        return reinterpret_cast<void*>(
            static_cast<GetUnitPropertyFn>(&GetPropertyEntry<T, LiveOnly>));
    default:
        return nullptr;
    }
}

// UnitInterface entry 9: reads the block, reports the texts and the face
// names of 60-byte fonts of the rows named by order (row indexes, in the
// order the caller wants them), and answers the block written again.
template <class Unit, class Props, size_t N>
HGLOBAL ListTextsOf(const PropertyRow<Unit, Props> (&rows)[N], std::initializer_list<int32_t> order,
                    const void* block, int32_t length, ReportTextFn report, void* argument,
                    uint32_t* newLength) {
    if (newLength) *newLength = 0;
    Props props;
    if (!ReadPropertyBlock(props, block, length)) return nullptr;
    for (int32_t index : order) {
        if (!report) break;
        const PropertyRow<Unit, Props>& row = rows[static_cast<size_t>(index)];
        if (PropertyValueOf(row.kind) == PropertyValue::Text) {
            report(argument, (props.*row.member.text).c_str(), 0);
        } else if (row.kind == PropertyKind::Font &&
                   (props.*row.member.bytes).size() == static_cast<size_t>(FontDescriptionSize)) {
            char face[LF_FACESIZE + 1] = {};
            std::memcpy(face, (props.*row.member.bytes).data() + offsetof(LOGFONTA, lfFaceName),
                        LF_FACESIZE);
            report(argument, face, 1);
        }
    }
    std::vector<uint8_t> written = WritePropertyBlock(props);
    HGLOBAL memory = NewGlobalBlock(written.data(), written.size());
    if (memory && newLength) *newLength = static_cast<uint32_t>(written.size());
    return memory;
}

// A row index of a type's property enum, for the order lists above.
template <typename E> constexpr int32_t RowOf(E property) {
    return static_cast<int32_t>(property);
}

} // namespace st

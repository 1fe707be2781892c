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
//            runtime must build the unit anew (SetProperty answers 1)
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
// GetPropertyFromRows and ClampFromRows. The stored block's order is the
// type's own (Transfer), not the list's.
#pragma once

#include <cstdint>
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

enum class PropertyEffect { Live, Rebuild };

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
// the row says, applies it, and answers 1 when the unit must be rebuilt.
// Indices outside the list are ignored (0).
template <class Unit, class Props, size_t N>
int32_t SetPropertyFromRows(const PropertyRow<Unit, Props> (&rows)[N], Unit& unit, Props& props,
                            int32_t index, const uint32_t* value) {
    if (index < 0 || static_cast<size_t>(index) >= N) return 0;
    const PropertyRow<Unit, Props>& row = rows[index];
    switch (PropertyValueOf(row.kind)) {
    case PropertyValue::Integer:
    case PropertyValue::Logical:
        props.*row.member.integer = static_cast<int32_t>(value[0]);
        ClampProperty(row, props);
        break;
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
    if (row.apply) (unit.*row.apply)();
    return row.effect == PropertyEffect::Rebuild ? 1 : 0;
}

// UnitInterface entry 6 on a type's own property index: one word, or (texts)
// the text's address, or (byte blocks) address and length; both point into
// the unit. Answers 0 for an index outside the list.
template <class Unit, class Props, size_t N>
int32_t GetPropertyFromRows(const PropertyRow<Unit, Props> (&rows)[N], const Props& props,
                            int32_t index, uint32_t* value) {
    if (index < 0 || static_cast<size_t>(index) >= N) return 0;
    const PropertyRow<Unit, Props>& row = rows[index];
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
    case PropertyValue::Bytes:
        value[0] = reinterpret_cast<uintptr_t>((props.*row.member.bytes).data());
        value[1] = static_cast<uint32_t>((props.*row.member.bytes).size());
        break;
    }
    return 1;
}

} // namespace st

// One row per unit-specific property: its kind and state flags (the type
// record's entry), the field of the type's property data it lives in, how a
// written value is limited, and what writing it on a live unit does. The
// type record's entries, the setter and the getter all come from the rows.
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "st/unit_base.h"

namespace st {

enum class Limit : uint8_t { None, Logical, Range };

template <typename Props, typename Action> struct ControlPropertyRow {
    uint16_t kind;
    uint16_t state;
    int32_t Props::*number = nullptr;
    std::string Props::*text = nullptr;
    std::vector<uint8_t> Props::*bytes = nullptr;
    Limit limit = Limit::None;
    int32_t low = 0, high = 0;
    Action apply{};
};

// Row makers, so a table reads as kind, field, limit, action.
template <typename P, typename A>
constexpr ControlPropertyRow<P, A> NumberRow(uint16_t kind, int32_t P::*field, A apply,
                                      uint16_t state = 0x8000) {
    Limit limit = kind == PropertyKind::Logical ? Limit::Logical : Limit::None;
    return {kind, state, field, nullptr, nullptr, limit, 0, 0, apply};
}
template <typename P, typename A>
constexpr ControlPropertyRow<P, A> RangeRow(uint16_t kind, int32_t P::*field, int32_t low, int32_t high,
                                     A apply, uint16_t state = 0x8000) {
    return {kind, state, field, nullptr, nullptr, Limit::Range, low, high, apply};
}
template <typename P, typename A>
constexpr ControlPropertyRow<P, A> TextRow(uint16_t kind, std::string P::*field, A apply,
                                    uint16_t state = 0x8000) {
    return {kind, state, nullptr, field, nullptr, Limit::None, 0, 0, apply};
}
template <typename P, typename A>
constexpr ControlPropertyRow<P, A> BytesRow(uint16_t kind, std::vector<uint8_t> P::*field, A apply,
                                     uint16_t state = 0x8000) {
    return {kind, state, nullptr, nullptr, field, Limit::None, 0, 0, apply};
}

template <typename P, typename A>
int32_t LimitedValue(const ControlPropertyRow<P, A>& row, int32_t value) {
    switch (row.limit) {
    case Limit::Logical:
        return value != 0;
    case Limit::Range:
        return Clamp(value, row.low, row.high);
    default:
        return value;
    }
}

// The type record's property entries: the eight common ones, then the rows.
template <typename P, typename A, size_t N>
constexpr std::array<PropertyEntry, 8 + N> EntriesOf(const std::array<ControlPropertyRow<P, A>, N>& rows) {
    constexpr uint16_t kCommon[8] = {
        PropertyKind::Integer, PropertyKind::Integer, PropertyKind::Integer,
        PropertyKind::Integer, PropertyKind::Text,    PropertyKind::Logical,
        PropertyKind::Logical, PropertyKind::MousePointer,
    };
    std::array<PropertyEntry, 8 + N> entries{};
    for (size_t i = 0; i < 8; ++i)
        entries[i] = {"", "", "", kCommon[i], 0xE000, nullptr};
    for (size_t i = 0; i < N; ++i)
        entries[8 + i] = {"", "", "", rows[i].kind, rows[i].state, nullptr};
    return entries;
}

// Stores a value as it crosses the unit interface (text: word 0 points at
// the text, null = empty; byte sets and fonts: pointer and length), limited
// as the row says. Answers the row, or null for an index the type lacks.
template <typename P, typename A, size_t N>
const ControlPropertyRow<P, A>* StoreProperty(const std::array<ControlPropertyRow<P, A>, N>& rows, P& props,
                                       int32_t index, const uint32_t* value) {
    if (index < 0 || static_cast<size_t>(index) >= N || !value) return nullptr;
    const ControlPropertyRow<P, A>& row = rows[static_cast<size_t>(index)];
    if (row.number) {
        props.*row.number = LimitedValue(row, static_cast<int32_t>(value[0]));
    } else if (row.text) {
        const char* p = reinterpret_cast<const char*>(static_cast<uintptr_t>(value[0]));
        props.*row.text = p ? p : "";
    } else if (row.bytes) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(value[0]));
        const int32_t n = static_cast<int32_t>(value[1]);
        props.*row.bytes = p && n > 0 ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
    }
    return &row;
}

// The stored value in the interface's form: texts and byte sets point into
// props; an empty byte set or font answers none.
template <typename P, typename A, size_t N>
bool LoadProperty(const std::array<ControlPropertyRow<P, A>, N>& rows, const P& props, int32_t index,
                  uint32_t* value) {
    if (index < 0 || static_cast<size_t>(index) >= N || !value) return false;
    const ControlPropertyRow<P, A>& row = rows[static_cast<size_t>(index)];
    value[1] = 0;
    if (row.number) {
        value[0] = static_cast<uint32_t>(props.*row.number);
    } else if (row.text) {
        value[0] = reinterpret_cast<uintptr_t>((props.*row.text).c_str());
    } else {
        const std::vector<uint8_t>& b = props.*row.bytes;
        value[0] = b.empty() ? 0 : reinterpret_cast<uintptr_t>(b.data());
        value[1] = static_cast<uint32_t>(b.size());
    }
    return true;
}

// Limits every numeric field after a block was read.
template <typename P, typename A, size_t N>
void LimitAll(const std::array<ControlPropertyRow<P, A>, N>& rows, P& props) {
    for (const ControlPropertyRow<P, A>& row : rows)
        if (row.number) props.*row.number = LimitedValue(row, props.*row.number);
}

// Reports the texts and the face names of 60-byte fonts of the rows named by
// order (row indexes in the block's field order), for ListBlockTexts.
template <typename P, typename A, size_t N>
void ReportTexts(const std::array<ControlPropertyRow<P, A>, N>& rows, const P& props,
                 std::initializer_list<int32_t> order, ReportTextFn report, void* argument) {
    if (!report) return;
    for (int32_t index : order) {
        const ControlPropertyRow<P, A>& row = rows[static_cast<size_t>(index)];
        if (row.text) {
            report(argument, (props.*row.text).c_str(), 0);
        } else if (row.bytes && row.kind == PropertyKind::Font &&
                   (props.*row.bytes).size() == static_cast<size_t>(FontDescriptionSize)) {
            char face[LF_FACESIZE + 1] = {};
            std::memcpy(face, (props.*row.bytes).data() + offsetof(LOGFONTA, lfFaceName),
                        LF_FACESIZE);
            report(argument, face, 1);
        }
    }
}

// UnitInterface entry 9 for a type whose property data has rows: read the
// block, report its texts, answer it written again.
template <typename P, typename A, size_t N>
HGLOBAL ListTextsOf(const std::array<ControlPropertyRow<P, A>, N>& rows,
                    std::initializer_list<int32_t> order, const void* block, int32_t length,
                    ReportTextFn report, void* argument, uint32_t* newLength) {
    if (newLength) *newLength = 0;
    P props;
    if (!ReadPropertyBlock(props, block, length)) return nullptr;
    ReportTexts(rows, props, order, report, argument);
    std::vector<uint8_t> written = WritePropertyBlock(props);
    HGLOBAL memory = NewGlobalBlock(written.data(), written.size());
    if (memory && newLength) *newLength = static_cast<uint32_t>(written.size());
    return memory;
}

// UnitInterface entries 4 and 6 for a unit class T with SetProperty and
// GetProperty of its own; other objects answer 0.
template <typename T>
int32_t SetPropertyEntry(UnitBase* unit, int32_t index, const uint32_t* value, uint32_t* out) {
    if (out) *out = 0;
    auto* own = dynamic_cast<T*>(unit);
    return own && value ? own->SetProperty(index, value) : 0;
}
template <typename T> int32_t GetPropertyEntry(UnitBase* unit, int32_t index, uint32_t* value) {
    auto* own = dynamic_cast<T*>(unit);
    return own && value ? own->GetProperty(index, value) : 0;
}

} // namespace st

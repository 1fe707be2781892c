// What every library command needs to read its ArgRecords and hand back
// runtime values. Internal to the command library.
#pragma once

#include "st/values.h"
#include "st/text_core.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace st::cmd {

// The i-th argument; one past the count reads as omitted, so a caller that
// passes fewer records than a command knows never makes it read stray memory.
inline const ArgRecord& Arg(int32_t count, const ArgRecord* args, int32_t i) {
    static const ArgRecord omitted{0, 0, 0};
    return (args && i >= 0 && i < count) ? args[i] : omitted;
}

inline bool Supplied(const ArgRecord& a) {
    return a.tag != TypeTag::Omitted;
}

inline int32_t IntValue(const ArgRecord& a) {
    return static_cast<int32_t>(a.low);
}

inline std::optional<int32_t> OptionalInt(const ArgRecord& a) {
    if (!Supplied(a)) return std::nullopt;
    return IntValue(a);
}

template <typename T> T PointerValue(const ArgRecord& a) {
    return reinterpret_cast<T>(static_cast<uintptr_t>(a.low));
}

// Callers pass EmptyText for a null text; a null pointer is read as empty all
// the same rather than trusted to never arrive.
inline std::string_view TextArg(const ArgRecord& a) {
    const char* p = PointerValue<const char*>(a);
    return p ? std::string_view(p) : std::string_view();
}

inline std::string_view ByteSetArg(const ArgRecord& a) {
    const void* set = PointerValue<const void*>(a);
    if (!set || st::ByteSetLength(set) <= 0) return {};
    return {reinterpret_cast<const char*>(ByteSetData(set)),
            static_cast<size_t>(st::ByteSetLength(set))};
}

// New heap text of the bytes; empty gives null.
inline TextValue NewText(std::string_view bytes) {
    if (bytes.empty()) return nullptr;
    char* t = static_cast<char*>(AllocMemory(static_cast<int32_t>(bytes.size() + 1)));
    std::memcpy(t, bytes.data(), bytes.size());
    t[bytes.size()] = '\0';
    return t;
}

// New heap byte set of the bytes; empty gives null.
inline void* NewByteSet(std::string_view bytes) {
    if (bytes.empty()) return nullptr;
    auto* set = static_cast<ByteSetHeader*>(AllocMemory(static_cast<int32_t>(bytes.size() + 8)));
    set->dimensions = 1;
    set->length = static_cast<int32_t>(bytes.size());
    std::memcpy(ByteSetData(set), bytes.data(), bytes.size());
    return set;
}

inline void SetPointer(ArgRecord* result, const void* p) {
    result->low = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}
inline void SetInt(ArgRecord* result, int32_t v) {
    result->low = static_cast<uint32_t>(v);
}
inline void SetBool(ArgRecord* result, bool v) {
    result->low = v ? 1 : 0;
}
inline void SetDouble(ArgRecord* result, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    result->low = static_cast<uint32_t>(bits);
    result->high = static_cast<uint32_t>(bits >> 32);
}

inline double DoubleValue(const ArgRecord& a) {
    uint64_t bits = (uint64_t{a.high} << 32) | a.low;
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}
inline float FloatValue(const ArgRecord& a) {
    float v;
    std::memcpy(&v, &a.low, 4);
    return v;
}
inline int64_t LongValue(const ArgRecord& a) {
    return static_cast<int64_t>((uint64_t{a.high} << 32) | a.low);
}

// Size of one element of the numeric kinds (byte, short, integer, long,
// float, double); 0 for every other kind.
inline int32_t NumericElementSize(uint32_t kind) {
    using namespace TypeTag;
    bool numeric = kind == Byte || kind == Short || kind == Int || kind == Long || kind == Float ||
                   kind == Double;
    return numeric ? ElementSize(kind) : 0;
}

// The elements of an array block as bytes: k, k sizes, then the elements.
inline std::string_view ArrayElementBytes(const void* array, int32_t elementSize) {
    if (!array) return {};
    const int32_t* words = static_cast<const int32_t*>(array);
    const int32_t k = words[0];
    if (k < 1) return {};
    int64_t count = 1;
    for (int32_t i = 0; i < k; ++i)
        count *= words[1 + i] < 0 ? 0 : words[1 + i];
    return {reinterpret_cast<const char*>(words + 1 + k), static_cast<size_t>(count * elementSize)};
}

// A scalar as the commands show it (ToText's patterns, "真"/"假", the
// date-time text); nullopt for kinds that have no text of their own.
std::optional<std::string> ScalarText(const ArgRecord& value);

} // namespace st::cmd

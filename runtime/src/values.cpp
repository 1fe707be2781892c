// Value-level operations shared by the commands, the runtime and application code.
#include <cstring>

#include "st/services.h"
#include "st/values.h"

namespace st {

ST_CONSTANT const char EmptyText[1] = {0};
ST_CONSTANT const int32_t EmptyBlock[2] = {1, 0};

int32_t ElementSize(uint32_t kind) {
    switch (kind) {
    case TypeTag::Byte:
        return 1;
    case TypeTag::Short:
        return 2;
    case TypeTag::Int:
    case TypeTag::Float:
    case TypeTag::Bool:
    case TypeTag::Address:
    case TypeTag::Text:
    case TypeTag::Bytes:
        return 4;
    case TypeTag::Long:
    case TypeTag::Double:
    case TypeTag::DateTime:
    case TypeTag::Opaque8:
        return 8;
    default:
        return TypeTag::IsArray(kind) ? 4 : 0;
    }
}

TextValue CopyText(const char* text) {
    if (!text || !*text) return nullptr;
    return TextFromBytes(text, static_cast<int32_t>(std::strlen(text)));
}

TextValue AssignText(const char* text) {
    if (!text) return nullptr;
    size_t n = std::strlen(text);
    auto* p = static_cast<char*>(AllocMemory(static_cast<int32_t>(n + 1)));
    std::memcpy(p, text, n + 1);
    return p;
}

TextValue TextFromBytes(const void* bytes, int32_t n) {
    if (n <= 0) return nullptr;
    auto* p = static_cast<char*>(AllocMemory(n + 1));
    std::memcpy(p, bytes, static_cast<size_t>(n));
    p[n] = 0;
    return p;
}

void* ByteSetFromBytes(const void* bytes, int32_t n) {
    // A negative length is as empty as 0; it cannot describe any bytes.
    if (n <= 0) return nullptr;
    void* p = AllocMemory(n + 8);
    auto* h = static_cast<ByteSetHeader*>(p);
    h->dimensions = 1;
    h->length = n;
    std::memcpy(ByteSetData(p), bytes, static_cast<size_t>(n));
    return p;
}

TextValue ConcatTexts(const char* const* parts, int32_t count) {
    size_t total = 0;
    for (int32_t i = 0; i < count; ++i)
        if (parts[i]) total += std::strlen(parts[i]);
    auto* p = static_cast<char*>(AllocMemory(static_cast<int32_t>(total + 1)));
    char* at = p;
    for (int32_t i = 0; i < count; ++i)
        if (parts[i]) {
            size_t n = std::strlen(parts[i]);
            std::memcpy(at, parts[i], n);
            at += n;
        }
    *at = 0;
    return p;
}

void* CopyByteSet(const void* set) {
    if (!set) return nullptr;
    int32_t n = ByteSetLength(set);
    if (n < 0) n = 0;
    void* p = AllocMemory(n + 8);
    std::memcpy(p, set, static_cast<size_t>(n) + 8);
    return p;
}

int32_t ElementCount(const void* array) {
    if (!array) return 0;
    const auto* words = static_cast<const int32_t*>(array);
    int32_t count = 1;
    for (int32_t i = 1; i <= words[0]; ++i)
        count *= words[i];
    return count;
}

static void StoreCopy(void* slot, uint32_t kind, const ArgRecord& value) {
    int32_t size = ElementSize(kind);
    if (kind == TypeTag::Text) {
        TextValue t = CopyText(reinterpret_cast<const char*>(value.low));
        std::memcpy(slot, &t, 4);
    } else if (kind == TypeTag::Bytes) {
        void* b = CopyByteSet(reinterpret_cast<const void*>(value.low));
        std::memcpy(slot, &b, 4);
    } else {
        uint32_t words[2] = {value.low, value.high};
        std::memcpy(slot, words, static_cast<size_t>(size > 8 ? 8 : size));
    }
}

void AppendElement(void** arrayVariable, uint32_t elementKind, const ArgRecord& value) {
    int32_t size = ElementSize(elementKind);
    if (size <= 0) RaiseError(5);
    if (!*arrayVariable) *arrayVariable = const_cast<int32_t*>(EmptyBlock);
    Services.Notify(NotifyCode::MakeArrayWritable, size, arrayVariable);
    auto* words = static_cast<int32_t*>(*arrayVariable);
    int32_t count = ElementCount(words);
    int32_t dimensions = words[0];
    if (dimensions != 1) {
        // Flatten to one dimension: the elements move down over the extra sizes.
        std::memmove(words + 2, words + 1 + dimensions,
                     static_cast<size_t>(count) * static_cast<size_t>(size));
        words[0] = 1;
        words[1] = count;
    }
    words = static_cast<int32_t*>(ReallocMemory(words, 8 + size * (count + 1)));
    words[1] = count + 1;
    *arrayVariable = words;
    StoreCopy(reinterpret_cast<char*>(words + 2) + count * size, elementKind, value);
}

void* ElementAt(void* array, int32_t index, int32_t elementSize) {
    int64_t i = static_cast<int64_t>(index) - 1;
    if (i < 0) RaiseError(4);
    if (i >= ElementCount(array)) RaiseError(1);
    auto* words = static_cast<int32_t*>(array);
    return reinterpret_cast<char*>(words + 1 + words[0]) + (index - 1) * elementSize;
}

void FreeArray(void* array, uint32_t elementKind) {
    if (!array) return;
    if (elementKind == TypeTag::Text || elementKind == TypeTag::Bytes ||
        TypeTag::IsArray(elementKind)) {
        auto* words = static_cast<int32_t*>(array);
        auto* elements = reinterpret_cast<void**>(words + 1 + words[0]);
        int32_t count = ElementCount(array);
        uint32_t inner = TypeTag::ElementKind(elementKind);
        for (int32_t i = 0; i < count; ++i) {
            if (!elements[i]) continue;
            if (TypeTag::IsArray(elementKind))
                FreeArray(elements[i], inner);
            else
                FreeMemory(elements[i]);
        }
    }
    FreeMemory(array);
}

bool ValueByteForm(const ArgRecord& value, const void** bytes, int32_t* length) {
    uint32_t tag = value.tag;
    if (tag == TypeTag::Bytes) {
        const void* set = reinterpret_cast<const void*>(value.low);
        *bytes = set ? ByteSetData(set) : nullptr;
        *length = ByteSetLength(set);
        return true;
    }
    if (tag == TypeTag::Text) {
        const char* text = reinterpret_cast<const char*>(value.low);
        *bytes = text;
        *length = text ? static_cast<int32_t>(std::strlen(text)) + 1 : 0;
        return true;
    }
    if (TypeTag::IsArray(tag) || tag == TypeTag::Opaque8) return false;
    int32_t size = ElementSize(tag);
    if (size == 0) return false;
    // The record's own words, little-endian, at the kind's size.
    *bytes = &value.low;
    *length = size;
    return true;
}

} // namespace st

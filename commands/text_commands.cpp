// Text and conversion commands: thin fronts that read ArgRecords, run the
// byte logic of text_core and hand back new heap values (empty is null).
#include "st/library_commands.h"

#include "command_support.h"

#include <algorithm>

namespace st::cmd {

using text::FindTextCore;

std::optional<std::string> ScalarText(const ArgRecord& v) {
    switch (v.tag) {
    case TypeTag::Byte:
        return text::FormatByte(static_cast<uint8_t>(v.low));
    case TypeTag::Short:
        return text::FormatInteger(static_cast<int16_t>(v.low));
    case TypeTag::Int:
        return text::FormatInteger(IntValue(v));
    case TypeTag::Long:
        return text::FormatLong(LongValue(v));
    case TypeTag::Float:
        return text::FormatFloat(FloatValue(v));
    case TypeTag::Double:
        return text::FormatDouble(DoubleValue(v));
    case TypeTag::Bool:
        return std::string(v.low ? "真" : "假");
    case TypeTag::DateTime:
        return text::DateTimeText(DoubleValue(v));
    case TypeTag::Text:
        return std::string(TextArg(v));
    default:
        return std::nullopt;
    }
}

void TextLength(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetInt(result, static_cast<int32_t>(TextArg(Arg(count, args, 0)).size()));
}

void ByteSetLength(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetInt(result, static_cast<int32_t>(ByteSetArg(Arg(count, args, 0)).size()));
}

void TextLeft(ArgRecord* result, int32_t count, ArgRecord* args) {
    std::string_view t = TextArg(Arg(count, args, 0));
    int32_t n = IntValue(Arg(count, args, 1));
    if (n <= 0) return;
    SetPointer(result, NewText(t.substr(0, std::min<size_t>(n, t.size()))));
}

void TextRight(ArgRecord* result, int32_t count, ArgRecord* args) {
    std::string_view t = TextArg(Arg(count, args, 0));
    int32_t n = IntValue(Arg(count, args, 1));
    if (n <= 0) return;
    size_t m = std::min<size_t>(n, t.size());
    SetPointer(result, NewText(t.substr(t.size() - m)));
}

void TextMiddle(ArgRecord* result, int32_t count, ArgRecord* args) {
    std::string_view t = TextArg(Arg(count, args, 0));
    int64_t p = int64_t{IntValue(Arg(count, args, 1))} - 1;
    int32_t n = IntValue(Arg(count, args, 2));
    if (p < 0 || p >= static_cast<int64_t>(t.size()) || n <= 0) return;
    SetPointer(result, NewText(t.substr(static_cast<size_t>(p), static_cast<size_t>(n))));
}

void CharFromCode(ArgRecord* result, int32_t count, ArgRecord* args) {
    char c = static_cast<char>(Arg(count, args, 0).low & 0xFF);
    if (c != 0) SetPointer(result, NewText(std::string_view(&c, 1)));
}

void CharCode(ArgRecord* result, int32_t count, ArgRecord* args) {
    std::string_view t = TextArg(Arg(count, args, 0));
    std::optional<int32_t> position = OptionalInt(Arg(count, args, 1));
    int64_t p = position ? *position : 1;
    if (p <= 0 || p > static_cast<int64_t>(t.size())) return;
    SetInt(result, static_cast<signed char>(t[static_cast<size_t>(p - 1)]));
}

void FindText(ArgRecord* result, int32_t count, ArgRecord* args) {
    const ArgRecord& ignore = Arg(count, args, 3);
    SetInt(result, FindTextCore(TextArg(Arg(count, args, 0)), TextArg(Arg(count, args, 1)),
                                OptionalInt(Arg(count, args, 2)),
                                Supplied(ignore) && ignore.low == 1, false));
}

void ToUpper(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetPointer(result, NewText(text::CaseAndWidthCore(TextArg(Arg(count, args, 0)), 0)));
}

void ToLower(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetPointer(result, NewText(text::CaseAndWidthCore(TextArg(Arg(count, args, 0)), 1)));
}

void ToNumber(ArgRecord* result, int32_t count, ArgRecord* args) {
    const ArgRecord& v = Arg(count, args, 0);
    double d = 0.0;
    switch (v.tag) {
    case TypeTag::Bool:
    case TypeTag::Int:
        d = IntValue(v);
        break;
    case TypeTag::Byte:
        d = v.low & 0xFF;
        break;
    case TypeTag::Short:
        d = static_cast<int16_t>(v.low);
        break;
    case TypeTag::Long:
        d = static_cast<double>(LongValue(v));
        break;
    case TypeTag::Float:
        d = FloatValue(v);
        break;
    case TypeTag::Double:
        d = DoubleValue(v);
        break;
    case TypeTag::Address:
        d = v.low;
        break;
    case TypeTag::Text:
        d = text::ReadDecimalNumber(text::FullWidthToHalfWidth(TextArg(v), false));
        break;
    default:
        break;
    }
    SetDouble(result, d);
}

void ToInteger(ArgRecord* result, int32_t count, ArgRecord* args) {
    const ArgRecord& v = Arg(count, args, 0);
    int32_t n = 0;
    switch (v.tag) {
    case TypeTag::Bool:
    case TypeTag::Int:
    case TypeTag::Long:
    case TypeTag::Address:
        n = IntValue(v);
        break;
    case TypeTag::Byte:
        n = v.low & 0xFF;
        break;
    case TypeTag::Short:
        n = static_cast<int16_t>(v.low);
        break;
    case TypeTag::Float:
        n = text::TruncateToInt32(FloatValue(v));
        break;
    case TypeTag::Double:
        n = text::TruncateToInt32(DoubleValue(v));
        break;
    case TypeTag::Text:
        n = text::ReadDecimalInteger(text::FullWidthToHalfWidth(TextArg(v), false));
        break;
    default:
        break;
    }
    SetInt(result, n);
}

void RemoveAllSpaces(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetPointer(result, NewText(text::SpaceTrimCore(TextArg(Arg(count, args, 0)), 3)));
}

void ReplaceText(ArgRecord* result, int32_t count, ArgRecord* args) {
    const ArgRecord& replacement = Arg(count, args, 3);
    std::optional<std::string_view> with;
    if (Supplied(replacement)) with = TextArg(replacement);
    SetPointer(result, NewText(text::ReplaceBytes(TextArg(Arg(count, args, 0)),
                                                  IntValue(Arg(count, args, 1)),
                                                  IntValue(Arg(count, args, 2)), with)));
}

// The stored bytes of a value as ToByteSet and ToText read them.
static std::string_view RawBytes(const ArgRecord& v) {
    if (TypeTag::IsArray(v.tag)) {
        int32_t size = NumericElementSize(TypeTag::ElementKind(v.tag));
        return size ? ArrayElementBytes(PointerValue<const void*>(v), size) : std::string_view();
    }
    const char* words = reinterpret_cast<const char*>(&v.low);
    switch (v.tag) {
    case TypeTag::Text:
        return TextArg(v);
    case TypeTag::Bytes:
        return ByteSetArg(v);
    case TypeTag::Byte:
        return {words, 1};
    case TypeTag::Short:
        return {words, 2};
    case TypeTag::Bool:
    case TypeTag::Int:
    case TypeTag::Float:
    case TypeTag::Address:
        return {words, 4};
    default:
        break;
    }
    // The 8-byte kinds: low and high word are adjacent in the record, so the
    // record itself holds the value's little-endian bytes.
    if (v.tag == TypeTag::Long || v.tag == TypeTag::Double || v.tag == TypeTag::DateTime)
        return {words, 8};
    return {};
}

void ToByteSet(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetPointer(result, NewByteSet(RawBytes(Arg(count, args, 0))));
}

void SpaceText(ArgRecord* result, int32_t count, ArgRecord* args) {
    int32_t n = IntValue(Arg(count, args, 0));
    if (n > 0) SetPointer(result, NewText(std::string(static_cast<size_t>(n), ' ')));
}

void ByteSetLeft(ArgRecord* result, int32_t count, ArgRecord* args) {
    std::string_view data = ByteSetArg(Arg(count, args, 0));
    int64_t m = std::min<int64_t>(static_cast<int64_t>(data.size()), IntValue(Arg(count, args, 1)));
    if (m > 0) SetPointer(result, NewByteSet(data.substr(0, static_cast<size_t>(m))));
}

void ZeroByteSet(ArgRecord* result, int32_t count, ArgRecord* args) {
    int32_t n = IntValue(Arg(count, args, 0));
    if (n > 0) SetPointer(result, NewByteSet(std::string(static_cast<size_t>(n), '\0')));
}

void ToText(ArgRecord* result, int32_t count, ArgRecord* args) {
    const ArgRecord& v = Arg(count, args, 0);
    if (v.tag == TypeTag::Bytes || TypeTag::IsArray(v.tag)) {
        std::string_view bytes = RawBytes(v);
        SetPointer(result, NewText(bytes.substr(0, bytes.find('\0'))));
        return;
    }
    if (std::optional<std::string> t = ScalarText(v)) SetPointer(result, NewText(*t));
}

void ToHexText(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetPointer(result, NewText(text::FormatHex(Arg(count, args, 0).low)));
}

} // namespace st::cmd

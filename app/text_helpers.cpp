#include "text_helpers.h"

#include "command_access.h"
#include "external_functions.h"
#include "st/owned.h"

#include <cstring>
#include <string>

namespace app {
namespace {

using namespace calls;
using st::Held;

bool IsUnreserved(unsigned v) {
    return (v >= '0' && v <= '9') || (v >= 'A' && v <= 'Z') || (v >= 'a' && v <= 'z') || v == '-' ||
           v == '_' || v == '.' || v == '~';
}

// "%" and two upper-case hex digits: ToHexText leaves out a leading zero.
std::string Escape(unsigned v) {
    Held hex(AsText(Command(CommandId::ToHexText, {IntArg(static_cast<int32_t>(v))})));
    std::string out = "%";
    if (v < 0x10) out += '0';
    out += hex.text();
    return out;
}

std::string EscapeByte(unsigned v) {
    if (IsUnreserved(v)) return std::string(1, static_cast<char>(v));
    return Escape(v);
}

} // namespace

st::TextValue EncodeRequestText(const st::TextValue& text) {
    // Every byte that is not unreserved is escaped: a space or "&" must not
    // end the query value and a line break must not reach the request line.
    const ArgRecord s = TextArg(text);
    const int32_t length = static_cast<int32_t>(Command(CommandId::TextLength, {s}).low);
    std::string out;
    for (int32_t i = 1; i <= length; ++i) {
        Held c(AsText(Command(CommandId::TextMiddle, {s, IntArg(i), IntArg(1)})));
        const int32_t code =
            static_cast<int32_t>(Command(CommandId::CharCode, {TextArg(c.text())}).low);
        if (code < 0 && i < length) {
            c.reset(AsText(Command(CommandId::TextMiddle, {s, IntArg(i), IntArg(2)})));
            ++i;
            Held escaped(PercentEncodeChar(c.text()));
            if (escaped) out += escaped.text();
        } else {
            // A single byte, or a lead byte that is the last byte: never raw.
            out += EscapeByte(static_cast<unsigned char>(code));
        }
    }
    return out.empty() ? nullptr : CopyOf(out.c_str());
}

st::TextValue PercentEncodeChar(const st::TextValue& character) {
    Held utf8(GbkToUtf8(character));
    const ArgRecord b = BytesArg(utf8.get());
    const int32_t n = static_cast<int32_t>(Command(CommandId::ByteSetLength, {b}).low);
    // The conversion delivers a terminating zero byte; it is not part of the character.
    Held bytes(Pointer(Command(CommandId::ByteSetLeft, {b, IntArg(n - 1)}).low));
    std::string out;
    const int32_t m = st::ByteSetLength(bytes.get());
    for (int32_t i = 0; i < m; ++i)
        out += EscapeByte(st::ByteSetData(bytes.get())[i]);
    return out.empty() ? nullptr : CopyOf(out.c_str());
}

void* GbkToUtf8(const st::TextValue& text) {
    Held utf16(GbkToUtf16(text));
    return Utf16ToUtf8(utf16.get());
}

void* GbkToUtf16(const st::TextValue& text) {
    const char* source = text ? text : st::EmptyText;
    const int32_t units = ext::MultiByteToWideChar(936, 0, source, -1, nullptr, 0);
    if (units <= 0) return nullptr;
    void* buffer = Pointer(Command(CommandId::ZeroByteSet, {IntArg(2 * units)}).low);
    ext::MultiByteToWideChar(936, 0, source, -1, st::ByteSetData(buffer), units);
    return buffer; // already a new block of its own: the copy the caller owns
}

void* Utf16ToUtf8(void* const& utf16) {
    const int32_t units = st::ByteSetLength(utf16) / 2;
    if (units <= 0) return nullptr;
    const void* data = st::ByteSetData(utf16);
    const int32_t bytes =
        ext::WideCharToMultiByte(65001, 0, data, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return nullptr;
    void* buffer = Pointer(Command(CommandId::ZeroByteSet, {IntArg(bytes)}).low);
    // The unit count, not -1: the input is read no further than its own length
    // even if it does not end in a zero unit.
    ext::WideCharToMultiByte(65001, 0, data, units,
                             reinterpret_cast<char*>(st::ByteSetData(buffer)), bytes, nullptr,
                             nullptr);
    return buffer;
}

st::TextValue TextBetween(const st::TextValue& text, const st::TextValue& left,
                          const st::TextValue& right, bool& found) {
    const ArgRecord t = TextArg(text);
    const int32_t leftLength =
        static_cast<int32_t>(Command(CommandId::TextLength, {TextArg(left)}).low);
    const int32_t a = static_cast<int32_t>(
        Command(CommandId::FindText, {t, TextArg(left), IntArg(0), BoolArg(false)}).low);
    if (a == -1) {
        found = false;
        return CopyOf("未找到左边内容");
    }
    // The right marker counts only behind the first left marker; one that
    // stands earlier in the page is not the end of this piece.
    const int32_t start = a + leftLength;
    const int32_t b = static_cast<int32_t>(
        Command(CommandId::FindText, {t, TextArg(right), IntArg(start), BoolArg(false)}).low);
    if (b == -1) {
        found = false;
        return CopyOf("未找到右边内容");
    }
    found = true;
    return AsText(Command(CommandId::TextMiddle, {t, IntArg(start), IntArg(b - start)}));
}

int32_t CompareTexts(const char* a, const char* b) {
    if (!a) return (!b || !*b) ? 0 : -1;
    if (!b) return *a ? 1 : 0;
    const int c = std::strcmp(a, b); // strcmp compares as unsigned bytes
    return c == 0 ? 0 : (c < 0 ? -1 : 1);
}

} // namespace app

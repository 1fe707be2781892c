// The speech tool's own text handling: the request encoding, cutting a piece
// out of a page between two markers, and a null-safe text comparison.
//
// Texts arrive by reference (the caller's variable); every text or byte set
// returned is a new runtime value owned by the caller (null when empty).
#pragma once

#include "st/values.h"

#include <cstdint>

namespace app {

// The text as a URL query value: ASCII letters, digits and - _ . ~ as they
// are, every other byte as %XX, double-byte characters as the escapes of
// their UTF-8 bytes.
st::TextValue EncodeRequestText(const st::TextValue& text);
// The escapes of one double-byte character (its UTF-8 bytes).
st::TextValue PercentEncodeChar(const st::TextValue& character);
// GBK to UTF-8 bytes ending in one zero byte.
void* GbkToUtf8(const st::TextValue& text);
// GBK to UTF-16LE bytes ending in two zero bytes; null when conversion fails.
void* GbkToUtf16(const st::TextValue& text);
// UTF-16LE bytes (with their terminating zero unit) to UTF-8.
void* Utf16ToUtf8(void* const& utf16);

// The bytes after the first left marker up to the first right marker behind
// it. A missing marker sets found to false and returns the message
// "未找到左边内容" or "未找到右边内容" as the text.
st::TextValue TextBetween(const st::TextValue& text, const st::TextValue& left,
                          const st::TextValue& right, bool& found);

// 0 when equal (null and the empty text are equal), -1 or 1 otherwise.
int32_t CompareTexts(const char* a, const char* b);

} // namespace app

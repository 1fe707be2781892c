// Byte-level text logic: GBK walking, positions, number reading, date texts.
// Built for both presets; literals are GBK on both.
#include <doctest.h>

#include "st/text_core.h"

#include <limits>

using namespace st::text;

namespace {
// A double-byte character whose second byte is the ASCII letter 'a'.
const std::string kLeadA = "\x81\x61";
} // namespace

TEST_CASE("FindTextCore: positions and empty sought text") {
    CHECK(FindTextCore("hello", "l", std::nullopt, false, false) == 3);
    CHECK(FindTextCore("hello", "lo", 4, false, false) == 4);
    CHECK(FindTextCore("hello", "he", 2, false, false) == -1);
    CHECK(FindTextCore("hello", "o", 5, false, false) == 5);
    // Start 0 and negative starts read as the first byte.
    CHECK(FindTextCore("hello", "h", 0, false, false) == 1);
    CHECK(FindTextCore("hello", "h", -7, false, false) == 1);
    // Start beyond the end leaves nothing to scan.
    CHECK(FindTextCore("hello", "o", 6, false, false) == -1);
    CHECK(FindTextCore("hello", "hellox", std::nullopt, false, false) == -1);
    // Empty sought text: 1 while any byte remains, otherwise -1.
    CHECK(FindTextCore("hello", "", 3, false, false) == 1);
    CHECK(FindTextCore("hello", "", 6, false, false) == -1);
    CHECK(FindTextCore("", "", std::nullopt, false, false) == -1);
}

TEST_CASE("FindTextCore never matches across the two bytes of a character") {
    CHECK(FindTextCore(kLeadA + "b", "a", std::nullopt, false, false) == -1);
    CHECK(FindTextCore(kLeadA + "b", "ab", std::nullopt, false, false) == -1);
    CHECK(FindTextCore("x" + kLeadA + "a", "a", std::nullopt, false, false) == 4);
    // Chinese text: the marker is found at its byte position.
    CHECK(FindTextCore("中文abc", "abc", std::nullopt, false, false) == 5);
    CHECK(FindTextCore("中文abc", "文", std::nullopt, false, false) == 3);
    // A lone lead byte at the end stops the scan without reading past it.
    CHECK(FindTextCore("ab\xD6", "\xD6", std::nullopt, false, false) == 3);
    CHECK(FindTextCore("ab\xD6", "x", std::nullopt, false, false) == -1);
}

TEST_CASE("FindTextCore ignores ASCII case only when asked") {
    const std::string headers = "HTTP/1.1 200 OK\r\naccept: */*\r\n";
    CHECK(FindTextCore(headers, "Accept: ", std::nullopt, true, false) == 18);
    CHECK(FindTextCore(headers, "Accept: ", std::nullopt, false, false) == -1);
    // Case folding touches ASCII letters only, never the bytes of a character.
    CHECK(FindTextCore("\x81\x41", "\x81\x61", std::nullopt, true, false) == -1);
}

TEST_CASE("FindTextCore backward finds the last match at or before the start") {
    CHECK(FindTextCore("abcabc", "bc", std::nullopt, false, true) == 5);
    CHECK(FindTextCore("abcabc", "bc", 4, false, true) == 2);
    CHECK(FindTextCore("abcabc", "x", std::nullopt, false, true) == -1);
}

TEST_CASE("CaseAndWidthCore changes ASCII letters and leaves characters alone") {
    CHECK(CaseAndWidthCore(kLeadA + "ab中Z", 0) == kLeadA + "AB中Z");
    CHECK(CaseAndWidthCore("\x81\x41"
                           "AB",
                           1) == "\x81\x41"
                                 "ab");
    CHECK(CaseAndWidthCore("", 0).empty());
    CHECK(CaseAndWidthCore("ＡＢ１", 3) == "AB1");
}

TEST_CASE("FullWidthToHalfWidth maps full-width ASCII and the 0xA1 symbols") {
    CHECK(FullWidthToHalfWidth("８０", false) == "80");
    CHECK(FullWidthToHalfWidth("\xA1\xAB\xA1\xA1\xA1\xEE\xA1\xEF", false) == "~ **");
    CHECK(FullWidthToHalfWidth("a　b c", true) == "abc");
    CHECK(FullWidthToHalfWidth("中，", false) == "中,");
    // Other 0xA1 characters stay as they are.
    CHECK(FullWidthToHalfWidth("\xA1\xA2", false) == "\xA1\xA2");
}

TEST_CASE("SpaceTrimCore finds spaces on character boundaries only") {
    const std::string text = " 　a 中　b 　 ";
    CHECK(SpaceTrimCore(text, 0) == "a 中　b 　 ");
    CHECK(SpaceTrimCore(text, 1) == " 　a 中　b");
    CHECK(SpaceTrimCore(text, 2) == "a 中　b");
    CHECK(SpaceTrimCore(text, 3) == "a中b");
    CHECK(SpaceTrimCore(" 　 　", 3).empty());
    CHECK(SpaceTrimCore(" 　 　", 2).empty());
    // 啊 is B0 A1: its second byte and a following A1 are not a full-width space.
    CHECK(SpaceTrimCore("啊\xA1", 3) == "啊\xA1");
    CHECK(SpaceTrimCore("x\xB0\xA1\xA1\xA1", 1) == "x\xB0\xA1");
}

TEST_CASE("ReplaceBytes clamps positions and counts") {
    CHECK(ReplaceBytes("0123456789abcdef", 1, 12, std::nullopt) == "cdef");
    CHECK(ReplaceBytes("abc", 10, 2, "xy") == "abcxy");
    CHECK(ReplaceBytes("abc", -3, 1, "X") == "Xbc");
    CHECK(ReplaceBytes("abc", 2, -1, "X") == "aXbc");
    CHECK(ReplaceBytes("abc", 2, 99, std::nullopt) == "a");
    CHECK(ReplaceBytes("abc", 2, 1, "") == "ac");
    CHECK(ReplaceBytes("abc", 1, 3, std::nullopt).empty());
}

TEST_CASE("Decimal readers on half-width text") {
    CHECK(ReadDecimalNumber(FullWidthToHalfWidth("\xA3\xB8\xA3\xB0", false)) == 80.0);
    CHECK(ReadDecimalNumber(":5") == 0.0);
    CHECK(ReadDecimalNumber(" \t-1.5e2x") == -150.0);
    CHECK(ReadDecimalNumber(".5") == 0.5);
    CHECK(ReadDecimalNumber("1e") == 1.0);
    CHECK(ReadDecimalNumber("+") == 0.0);
    // Only the plain decimal form: no hex, no infinity, no NaN out of user text.
    CHECK(ReadDecimalNumber("0x1A") == 0.0);
    CHECK(ReadDecimalNumber("inf") == 0.0);
    CHECK(ReadDecimalNumber("nan") == 0.0);

    CHECK(ReadDecimalInteger(FullWidthToHalfWidth("－４２", false)) == -42);
    CHECK(ReadDecimalInteger("  17.9") == 17);
    CHECK(ReadDecimalInteger("abc") == 0);
    CHECK(ReadDecimalInteger("99999999999") == std::numeric_limits<int32_t>::max());
    CHECK(ReadDecimalInteger("-99999999999") == std::numeric_limits<int32_t>::min());
}

TEST_CASE("Number renderings") {
    CHECK(FormatHex(255) == "FF");
    CHECK(FormatHex(10) == "A");
    CHECK(FormatHex(0xFFFFFFFFu) == "FFFFFFFF");
    CHECK(FormatByte(200) == "200");
    CHECK(FormatLong(-5000000000LL) == "-5000000000");
    CHECK(FormatDouble(0.1) == "0.1");
    CHECK(FormatDouble(1234567.125) == "1234567.125");
    CHECK(FormatFloat(0.1f) == "0.1");
    CHECK(FormatFloat(3.14159274f) == "3.14159");
    CHECK(TruncateToInt32(-2.7) == -2);
    CHECK(TruncateToInt32(2147483647.9) == 2147483647);
    CHECK(TruncateToInt32(1e10) == std::numeric_limits<int32_t>::min());
}

TEST_CASE("DateTimeText leaves zero fields off from the right") {
    auto at = [](int h, int m, int s) { return MakeDateTime({2012, 1, 20, h, m, s}); };
    CHECK(MakeDateTime({2012, 1, 20, 0, 0, 0}) == 40928.0);
    CHECK(DateTimeText(at(5, 23, 31)) == "2012年1月20日5时23分31秒");
    CHECK(DateTimeText(at(5, 23, 0)) == "2012年1月20日5时23分");
    CHECK(DateTimeText(at(5, 0, 0)) == "2012年1月20日5时");
    CHECK(DateTimeText(at(0, 0, 0)) == "2012年1月20日");
    CHECK(DateTimeText(at(0, 0, 7)) == "2012年1月20日0时0分7秒");
    CHECK(DateTimeText(0.0) == "1899年12月30日");
    CHECK(DateTimeText(MakeDateTime({2000, 2, 29, 23, 59, 59})) == "2000年2月29日23时59分59秒");
}

TEST_CASE("DateTimeText before 1899-12-30, at the range ends and when rounding") {
    // Whole days count back, the fraction is still the time of that day.
    CHECK(DateTimeText(-1.25) == "1899年12月29日6时");
    CHECK(DateTimeText(-1.0) == "1899年12月29日");
    CHECK(DateTimeText(MakeDateTime({1800, 3, 1, 12, 30, 0})) == "1800年3月1日12时30分");
    CHECK(DateTimeText(-2000000.0) == "100年1月1日");
    CHECK(DateTimeText(1e12) == "9999年12月31日");
    // Half a second before midnight rounds into the next day.
    CHECK(DateTimeText(1.0 - 0.4 / 86400.0) == "1899年12月31日");
    const CalendarFields f = SplitDateTime(MakeDateTime({1650, 7, 4, 8, 9, 10}));
    CHECK(f.year == 1650);
    CHECK(f.month == 7);
    CHECK(f.day == 4);
    CHECK(f.hour == 8);
    CHECK(f.minute == 9);
    CHECK(f.second == 10);
}

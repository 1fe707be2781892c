// Byte-level text logic behind the text and conversion commands.
//
// Everything here works on GBK bytes held in std::string and knows nothing of
// runtime values or the heap, so the same code builds for the host and can be
// checked there quickly. A byte of 0x80 or above is the lead byte of a
// double-byte character; walks step over both bytes together.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace st::text {

inline bool IsLeadByte(unsigned char c) {
    return c >= 0x80;
}

// Position (1-based) of sought in text, or -1. start is the caller's 1-based
// start when it was supplied. The forward scan steps by characters, so a match
// never begins on the second byte of a double-byte character.
int32_t FindTextCore(std::string_view text, std::string_view sought, std::optional<int32_t> start,
                     bool ignoreCase, bool backward);

// Mode 0 upper case, 1 lower case (ASCII letters only, double-byte characters
// untouched), 3 full-width to half-width with spaces kept. Mode 2 belongs to
// the library but no command reaches it; it returns the copy unchanged.
std::string CaseAndWidthCore(std::string_view text, int mode);

// Full-width ASCII (lead 0xA3) to ASCII, and the few 0xA1 symbols that have a
// half-width twin; optionally drops every space.
std::string FullWidthToHalfWidth(std::string_view text, bool dropSpaces);

// Mode 0 leading, 1 trailing, 2 both, 3 every space removed; spaces are 0x20
// and the full-width 0xA1 0xA1.
std::string SpaceTrimCore(std::string_view text, int mode);

// Removes count bytes from the 1-based start and inserts the replacement there
// when one was given. Out-of-range positions and counts are clamped.
std::string ReplaceBytes(std::string_view text, int32_t start, int32_t count,
                         std::optional<std::string_view> replacement);

// Decimal readers used on text converted to half width: leading white space,
// optional sign, digits (and for numbers a point and exponent); reading stops
// at the first character that does not fit; nothing readable gives 0.
double ReadDecimalNumber(std::string_view text);
int32_t ReadDecimalInteger(std::string_view text);

// Truncation toward zero with the processor's answer (0x80000000) for values
// that have no 32-bit integer.
int32_t TruncateToInt32(double value);

// The ToText renderings of numbers.
std::string FormatByte(uint8_t value);
std::string FormatInteger(int32_t value);
std::string FormatLong(int64_t value);
std::string FormatFloat(float value);
std::string FormatDouble(double value);
std::string FormatHex(uint32_t value);

// Calendar fields of a date-time (days since 1899-12-30, time as fraction).
struct CalendarFields {
    int year, month, day, hour, minute, second;
};
// Clamped to the valid range, rounded to the nearest second.
CalendarFields SplitDateTime(double dateTime);
// Days since 1899-12-30 for a calendar date and time of day.
double MakeDateTime(const CalendarFields& fields);
// "2012年1月20日5时23分31秒"; seconds, minutes and hours are left off from
// the right while they are zero.
std::string DateTimeText(double dateTime);

inline constexpr double MinDateTime = -657434.0;
inline constexpr double MaxDateTime = 2958465.0;

} // namespace st::text

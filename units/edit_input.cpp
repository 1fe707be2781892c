// The edit box's input-mode rules.
#include "st/edit_input.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace st::edit {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool Numeric(int32_t mode) {
    return mode >= InputMode::IntegerText && mode <= InputMode::Double;
}

bool TakesPoint(int32_t mode) {
    return mode == InputMode::DecimalText || mode == InputMode::Float || mode == InputMode::Double;
}

std::string Nonzero(std::string text) {
    return text == "0" ? std::string() : text;
}

} // namespace

bool AcceptsChar(int32_t mode, uint32_t character) {
    if (character < 32 || !Numeric(mode)) return true;
    if (character >= '0' && character <= '9') return true;
    if (character == '-') return mode != InputMode::Byte;
    return character == '.' && TakesPoint(mode);
}

int64_t ReadClampedInteger(std::string_view text, int64_t low, int64_t high) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulated as a negative number so that INT64_MIN itself fits.
    int64_t value = 0;
    bool saturated = false;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        const int digit = text[i] - '0';
        if (value < (INT64_MIN + digit) / 10) {
            saturated = true;
            break;
        }
        value = value * 10 - digit;
    }
    int64_t result;
    if (negative)
        result = saturated ? INT64_MIN : value;
    else
        result = saturated || value == INT64_MIN ? INT64_MAX : -value;
    return result < low ? low : result > high ? high : result;
}

std::optional<std::string> Normalise(int32_t mode, std::string_view text) {
    switch (mode) {
    case InputMode::Byte:
        return Nonzero(text::FormatInteger(int32_t(ReadClampedInteger(text, 0, 255))));
    case InputMode::Short:
        return Nonzero(
            text::FormatInteger(int32_t(ReadClampedInteger(text, INT16_MIN, INT16_MAX))));
    case InputMode::Integer:
        return Nonzero(
            text::FormatInteger(int32_t(ReadClampedInteger(text, INT32_MIN, INT32_MAX))));
    case InputMode::Long:
        return Nonzero(text::FormatLong(ReadClampedInteger(text, INT64_MIN, INT64_MAX)));
    case InputMode::Float: {
        // Too large for a float saturates instead of printing "inf".
        double d = text::ReadDecimalNumber(text);
        d = d > FLT_MAX ? FLT_MAX : d < -FLT_MAX ? -FLT_MAX : d;
        float f = static_cast<float>(d);
        return Nonzero(text::FormatFloat(f == 0.0f ? 0.0f : f));
    }
    case InputMode::Double: {
        double d = text::ReadDecimalNumber(text);
        d = d > DBL_MAX ? DBL_MAX : d < -DBL_MAX ? -DBL_MAX : d;
        return Nonzero(text::FormatDouble(d == 0.0 ? 0.0 : d));
    }
    case InputMode::DateTime: {
        std::optional<text::CalendarFields> fields =
            ReadDateTime(text::FullWidthToHalfWidth(text, false));
        if (!fields) return std::string();
        const double value = text::MakeDateTime(*fields);
        return value == 0.0 ? std::string() : text::DateTimeText(value);
    }
    default:
        return std::nullopt;
    }
}

std::optional<text::CalendarFields> ReadDateTime(std::string_view text) {
    // The unit characters that may follow each number, in order.
    static const char* const kUnits[5] = {"年", "月", "日", "时", "分"};
    static const int kDigits[6] = {4, 2, 2, 2, 2, 2};
    int numbers[6] = {};
    size_t i = 0;
    for (int field = 0; field < 6; ++field) {
        for (int n = 0; n < kDigits[field] && i < text.size() && IsDigit(text[i]); ++n, ++i)
            numbers[field] = numbers[field] * 10 + (text[i] - '0');
        if (field == 5 || i >= text.size()) continue;
        const char c = text[i];
        const size_t unitLength = std::strlen(kUnits[field]);
        if (c == '-' || c == '.' || c == '/' || c == ':' || (field == 2 && c == ' '))
            ++i;
        else if (text.substr(i, unitLength) == kUnits[field])
            i += unitLength;
    }
    std::string_view rest = text.substr(i);
    if (!rest.empty() && rest != "秒") return std::nullopt;
    text::CalendarFields f{numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5]};
    if (f.year < 100 || f.year > 9999 || f.month < 1 || f.month > 12) return std::nullopt;
    static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (f.year % 4 == 0 && f.year % 100 != 0) || f.year % 400 == 0;
    const int monthDays = kMonthDays[f.month - 1] + (f.month == 2 && leap ? 1 : 0);
    if (f.day < 1 || f.day > monthDays || f.hour > 23 || f.minute > 59 || f.second > 59)
        return std::nullopt;
    return f;
}

int32_t StepWrapped(std::string_view content, int32_t delta, int32_t low, int32_t high) {
    const int64_t next = ReadClampedInteger(content, INT32_MIN, INT32_MAX) + (delta > 0 ? 1 : -1);
    if (next < low || next > high) return delta > 0 ? low : high;
    return static_cast<int32_t>(next);
}

} // namespace st::edit

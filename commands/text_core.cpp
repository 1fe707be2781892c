#include "st/text_core.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace st::text {
namespace {

unsigned char At(std::string_view s, size_t i) {
    return static_cast<unsigned char>(s[i]);
}

unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
}

// Case folding applies to single-byte letters only: the second byte of a
// double-byte character may lie in a-z, and folding it would match another
// character.
bool SameBytes(std::string_view text, size_t pos, std::string_view sought, bool ignoreCase) {
    bool secondByte = false;
    for (size_t i = 0; i < sought.size(); ++i) {
        unsigned char a = At(text, pos + i), b = At(sought, i);
        bool fold = ignoreCase && !secondByte;
        if (fold ? FoldAscii(a) != FoldAscii(b) : a != b) return false;
        secondByte = !secondByte && IsLeadByte(a);
    }
    return true;
}

// Length of the character at i: 2 for a lead byte with its second byte
// present, 1 otherwise (a lone lead byte at the end counts as one byte).
size_t CharLength(std::string_view s, size_t i) {
    return (IsLeadByte(At(s, i)) && i + 1 < s.size()) ? 2 : 1;
}

bool IsSpaceAt(std::string_view s, size_t i, size_t len) {
    return (len == 1 && s[i] == ' ') || (len == 2 && At(s, i) == 0xA1 && At(s, i + 1) == 0xA1);
}

bool IsWhite(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

int32_t FindTextCore(std::string_view text, std::string_view sought, std::optional<int32_t> start,
                     bool ignoreCase, bool backward) {
    const int64_t L = static_cast<int64_t>(text.size());
    const int64_t S = static_cast<int64_t>(sought.size());
    int64_t b = start ? static_cast<int64_t>(*start) - 1 : (backward ? L : 0);
    if (b < 0) b = 0;

    if (backward) {
        // The last match that starts on a character boundary at or before b.
        if (S == 0) return L > 0 ? static_cast<int32_t>(std::min(b, L - 1) + 1) : -1;
        int32_t found = -1;
        for (int64_t pos = 0; pos <= b && pos + S <= L;
             pos += static_cast<int64_t>(CharLength(text, pos))) {
            if (SameBytes(text, pos, sought, ignoreCase)) found = static_cast<int32_t>(pos + 1);
            if (IsLeadByte(At(text, pos)) && pos + 1 >= L) break;
        }
        return found;
    }

    if (b >= L) return -1;
    if (S == 0) return 1;
    for (int64_t pos = b; L - pos >= S;) {
        if (SameBytes(text, pos, sought, ignoreCase)) return static_cast<int32_t>(pos + 1);
        if (IsLeadByte(At(text, pos))) {
            if (pos + 1 >= L) break; // lead byte followed by the NUL
            pos += 2;
        } else {
            pos += 1;
        }
    }
    return -1;
}

std::string CaseAndWidthCore(std::string_view text, int mode) {
    if (mode == 3) return FullWidthToHalfWidth(text, false);
    std::string out(text);
    if (mode != 0 && mode != 1) return out;
    for (size_t i = 0; i < out.size(); i += CharLength(out, i)) {
        unsigned char c = At(out, i);
        if (mode == 0 && c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 0x20);
        if (mode == 1 && c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 0x20);
    }
    return out;
}

std::string FullWidthToHalfWidth(std::string_view text, bool dropSpaces) {
    std::string out;
    out.reserve(text.size());
    auto put = [&](char c) {
        if (!(dropSpaces && c == ' ')) out += c;
    };
    for (size_t i = 0; i < text.size();) {
        size_t len = CharLength(text, i);
        if (len == 1) {
            put(text[i]);
        } else {
            unsigned char lead = At(text, i), second = At(text, i + 1);
            if (lead == 0xA1 && second == 0xAB) {
                put('~');
            } else if (lead == 0xA1 && second == 0xA1) {
                put(' ');
            } else if (lead == 0xA1 && (second == 0xEE || second == 0xEF)) {
                put('*');
            } else if (lead == 0xA3 && second >= 0xA1 && second <= 0xFE) {
                put(static_cast<char>(second & 0x7F));
            } else {
                out.append(text.substr(i, 2));
            }
        }
        i += len;
    }
    return out;
}

std::string SpaceTrimCore(std::string_view text, int mode) {
    // Character boundaries first: a trailing A1 A1 is only a space when the
    // A1 before it is not the second byte of another character.
    size_t first = text.size(); // offset of the first non-space character
    size_t end = 0;             // end of the last non-space character
    std::string all;
    for (size_t i = 0; i < text.size();) {
        size_t len = CharLength(text, i);
        if (!IsSpaceAt(text, i, len)) {
            if (first == text.size()) first = i;
            end = i + len;
            all.append(text.substr(i, len));
        }
        i += len;
    }
    switch (mode) {
    case 0:
        return std::string(first < text.size() ? text.substr(first) : std::string_view());
    case 1:
        return std::string(text.substr(0, end));
    case 2:
        return first < end ? std::string(text.substr(first, end - first)) : std::string();
    case 3:
        return all;
    default:
        return std::string(text);
    }
}

std::string ReplaceBytes(std::string_view text, int32_t start, int32_t count,
                         std::optional<std::string_view> replacement) {
    const int64_t L = static_cast<int64_t>(text.size());
    int64_t p = static_cast<int64_t>(start) - 1;
    if (p < 0) p = 0;
    if (p > L) p = L;
    int64_t k = count < 0 ? 0 : count;
    if (k > L - p) k = L - p;
    std::string out(text.substr(0, static_cast<size_t>(p)));
    if (replacement) out.append(*replacement);
    out.append(text.substr(static_cast<size_t>(p + k)));
    return out;
}

double ReadDecimalNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsWhite(text[i]))
        ++i;
    const size_t begin = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0) return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            while (j < text.size() && text[j] >= '0' && text[j] <= '9')
                ++j;
            i = j;
        }
    }
    // Only the plain decimal form reaches strtod, so it never reads hex,
    // "inf" or "nan" out of user text.
    std::string number(text.substr(begin, i - begin));
    return std::strtod(number.c_str(), nullptr);
}

int32_t ReadDecimalInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsWhite(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{1} << 32) value = int64_t{1} << 32; // saturate, below
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t TruncateToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

namespace {
template <typename... A> std::string Format(const char* pattern, A... args) {
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, pattern, args...);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}
} // namespace

std::string FormatByte(uint8_t value) {
    return Format("%u", static_cast<unsigned>(value));
}
std::string FormatInteger(int32_t value) {
    return Format("%d", static_cast<int>(value));
}
std::string FormatLong(int64_t value) {
    return Format("%lld", static_cast<long long>(value));
}
std::string FormatDouble(double value) {
    return Format("%.13g", value);
}
std::string FormatHex(uint32_t value) {
    return Format("%X", static_cast<unsigned>(value));
}

std::string FormatFloat(float value) {
    // Through the float's own shortest decimal first, so 0.1f shows as 0.1
    // and not as the binary neighbour a double would print.
    double rounded = std::strtod(Format("%.9g", static_cast<double>(value)).c_str(), nullptr);
    for (int digits = 1; digits <= 9; ++digits) {
        std::string shortest = Format("%.*g", digits, static_cast<double>(value));
        if (std::strtof(shortest.c_str(), nullptr) == value) {
            rounded = std::strtod(shortest.c_str(), nullptr);
            break;
        }
    }
    return Format("%.6g", rounded);
}

namespace {
// Days since 1970-01-01 for a proleptic Gregorian date, and back: eras of
// 400 years (146097 days), years starting in March so the leap day is last.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

constexpr int64_t EpochOffset = -25569; // 1899-12-30 in days since 1970-01-01
} // namespace

CalendarFields SplitDateTime(double d) {
    if (!(d >= MinDateTime)) d = MinDateTime; // NaN lands here too
    if (d > MaxDateTime) d = MaxDateTime;
    // Before day 0 the whole days count backwards but the fraction is still
    // the time of that day: -1.25 is 1899-12-29 06:00.
    int64_t days = static_cast<int64_t>(std::trunc(d));
    int64_t seconds = std::llround(std::fabs(d - static_cast<double>(days)) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += 1;
    }
    CalendarFields f{};
    CivilFromDays(days + EpochOffset, f.year, f.month, f.day);
    f.hour = static_cast<int>(seconds / 3600);
    f.minute = static_cast<int>(seconds / 60 % 60);
    f.second = static_cast<int>(seconds % 60);
    return f;
}

double MakeDateTime(const CalendarFields& f) {
    double days = static_cast<double>(DaysFromCivil(f.year, f.month, f.day) - EpochOffset);
    double time = (f.hour * 3600.0 + f.minute * 60.0 + f.second) / 86400.0;
    return days >= 0 ? days + time : days - time;
}

std::string DateTimeText(double dateTime) {
    const CalendarFields f = SplitDateTime(dateTime);
    std::string out = Format("%d年%d月%d日", f.year, f.month, f.day);
    if (f.second != 0)
        out += Format("%d时%d分%d秒", f.hour, f.minute, f.second);
    else if (f.minute != 0)
        out += Format("%d时%d分", f.hour, f.minute);
    else if (f.hour != 0)
        out += Format("%d时", f.hour);
    return out;
}

} // namespace st::text

#include "mandarin_text.h"

#include <algorithm>
#include <array>
#include <optional>

namespace speech {

namespace {

constexpr std::array<std::string_view, 10> kDigitWords = {"零", "一", "二", "三", "四",
                                                          "五", "六", "七", "八", "九"};
// Places inside a group of four digits, highest first.
constexpr std::array<std::string_view, 4> kPlaceWords = {"千", "百", "十", ""};
// Groups of four digits, lowest first: a 16-digit number is the most we read as a number.
constexpr std::array<std::string_view, 4> kGroupWords = {"", "万", "亿", "万亿"};
constexpr std::size_t kMaxIntegerDigits = 4 * kGroupWords.size();
// Digit strings of this length are phone numbers, read digit by digit.
constexpr std::size_t kPhoneDigits = 11;

constexpr std::string_view kPoint = "点";
constexpr std::string_view kNegative = "负";
constexpr std::string_view kPercentOf = "百分之";
constexpr std::string_view kYear = "年", kMonth = "月", kDay = "日";
constexpr std::string_view kHour = "点", kMinute = "分", kSecond = "秒";

struct Words {
    std::string_view symbol;
    std::string_view words;
};

// Read where they stand. A hyphen is not here: between numbers it reads as
// minus or "to", elsewhere it is only a break (ReadHyphen).
constexpr std::array kSymbolWords = {
    Words{"+", "加"},      Words{"＋", "加"},      Words{"×", "乘"},       Words{"÷", "除以"},
    Words{"=", "等于"},    Words{"＝", "等于"},    Words{"≠", "不等于"},   Words{"<", "小于"},
    Words{">", "大于"},    Words{"≤", "小于等于"}, Words{"≥", "大于等于"}, Words{"℃", "摄氏度"},
    Words{"°C", "摄氏度"}, Words{"℉", "华氏度"},   Words{"°", "度"},       Words{"%", "百分号"},
    Words{"％", "百分号"}, Words{"‰", "千分号"},   Words{"&", "和"},       Words{"@", "艾特"},
    Words{"#", "井号"},    Words{"~", "到"},       Words{"～", "到"},      Words{"¥", "元"},
    Words{"￥", "元"},     Words{"$", "美元"},     Words{"€", "欧元"},     Words{"£", "英镑"},
};

// A currency sign before a number is read after it: ¥100 -> 一百元.
constexpr std::array kCurrencyWords = {
    Words{"¥", "元"}, Words{"￥", "元"}, Words{"$", "美元"}, Words{"€", "欧元"}, Words{"£", "英镑"},
};

constexpr std::array<std::string_view, 2> kPercentSigns = {"%", "％"};
constexpr std::array<std::string_view, 2> kMinusSigns = {"-", "−"};
constexpr std::array<char, 3> kDateSeparators = {'-', '/', '.'};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLatin(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

std::size_t DigitRun(std::string_view s, std::size_t at) {
    std::size_t end = at;
    while (end < s.size() && IsDigit(s[end]))
        ++end;
    return end - at;
}

// Bytes in the UTF-8 sequence that starts with this byte (1 for a stray byte).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    return 1;
}

char32_t CodePointAt(std::string_view s, std::size_t at, std::size_t* length) {
    unsigned char lead = static_cast<unsigned char>(s[at]);
    std::size_t n = SequenceLength(lead);
    if (at + n > s.size()) n = 1;
    *length = n;
    if (n == 1) return lead;
    char32_t cp = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[at + k]) & 0x3F);
    return cp;
}

bool StartsWithAny(std::string_view s, std::size_t at, const auto& signs, std::size_t* length) {
    for (std::string_view sign : signs) {
        if (s.substr(at).starts_with(sign)) {
            *length = sign.size();
            return true;
        }
    }
    return false;
}

std::string DigitByDigit(std::string_view digits) {
    std::string out;
    for (char c : digits)
        out += kDigitWords[static_cast<std::size_t>(c - '0')];
    return out;
}

// One group of up to four digits, as it is read inside a larger number. The
// leading 一 of 一十 is dropped only at the very start of a number (十万, 十二).
std::string GroupWords(unsigned group, bool startOfNumber) {
    std::string out;
    bool spoken = false, zeroPending = false;
    unsigned divisor = 1000;
    for (std::size_t place = 0; place < kPlaceWords.size(); ++place, divisor /= 10) {
        unsigned digit = group / divisor % 10;
        if (digit == 0) {
            zeroPending = spoken;
            continue;
        }
        if (zeroPending) out += kDigitWords[0];
        zeroPending = false;
        bool bareTen = place == 2 && digit == 1 && !spoken && startOfNumber;
        if (!bareTen) out += kDigitWords[digit];
        out += kPlaceWords[place];
        spoken = true;
    }
    return out;
}

// Digits with any leading zeros already stripped; a lone zero is 零.
std::string NumberWordsForDigits(std::string_view digits) {
    while (digits.size() > 1 && digits[0] == '0')
        digits.remove_prefix(1);
    if (digits.size() > kMaxIntegerDigits) return DigitByDigit(digits);
    if (digits == "0") return std::string(kDigitWords[0]);
    std::size_t groups = (digits.size() + 3) / 4;
    std::array<unsigned, kGroupWords.size()> values{};
    std::size_t end = digits.size();
    for (std::size_t g = 0; g < groups; ++g, end -= std::min<std::size_t>(end, 4)) {
        std::size_t begin = end >= 4 ? end - 4 : 0;
        for (std::size_t k = begin; k < end; ++k)
            values[g] = values[g] * 10 + static_cast<unsigned>(digits[k] - '0');
    }
    std::string out;
    bool zeroPending = false;
    for (std::size_t g = groups; g-- > 0;) {
        unsigned value = values[g];
        if (value == 0) {
            zeroPending = !out.empty();
            continue;
        }
        // A gap in the middle of a number is read as one 零: 一万零五百, 一亿零一.
        if (!out.empty() && (zeroPending || value < 1000)) out += kDigitWords[0];
        out += GroupWords(value, out.empty());
        // 一千万亿 but 一千万五千亿: the 亿 of 万亿 is said once, by the group below.
        bool yiFollows = g == kGroupWords.size() - 1 && values[g - 1] != 0;
        out += yiFollows ? kGroupWords[1] : kGroupWords[g];
        zeroPending = false;
    }
    return out;
}

// A number at `at`: integer digits (thousands separators allowed) and an
// optional fraction. Nothing when no digit stands there.
struct Number {
    std::string integer;
    std::string fraction;
    std::size_t length = 0;
};

std::optional<Number> NumberAt(std::string_view s, std::size_t at) {
    std::size_t run = DigitRun(s, at);
    if (run == 0) return std::nullopt;
    Number n;
    n.integer = s.substr(at, run);
    std::size_t end = at + run;
    // 12,345: only groups of exactly three after a first group of one to three.
    if (run <= 3) {
        std::size_t probe = end;
        std::string grouped = n.integer;
        while (probe < s.size() && s[probe] == ',' && DigitRun(s, probe + 1) == 3) {
            grouped += s.substr(probe + 1, 3);
            probe += 4;
        }
        if (probe != end) {
            n.integer = grouped;
            end = probe;
        }
    }
    if (end + 1 < s.size() && s[end] == '.' && IsDigit(s[end + 1])) {
        std::size_t fraction = DigitRun(s, end + 1);
        n.fraction = s.substr(end + 1, fraction);
        end += 1 + fraction;
    }
    n.length = end - at;
    return n;
}

std::string NumberWords(const Number& n) {
    std::string out = NumberWordsForDigits(n.integer);
    if (!n.fraction.empty()) {
        out += kPoint;
        out += DigitByDigit(n.fraction);
    }
    return out;
}

struct Reading {
    std::size_t length; // bytes of the text it reads
    std::string words;
};

using ReadingRule = std::optional<Reading> (*)(std::string_view, std::size_t);

std::optional<unsigned> SmallNumber(std::string_view s, std::size_t at, std::size_t minDigits,
                                    std::size_t maxDigits, std::size_t* length) {
    std::size_t run = DigitRun(s, at);
    if (run < minDigits || run > maxDigits) return std::nullopt;
    unsigned value = 0;
    for (std::size_t k = 0; k < run; ++k)
        value = value * 10 + static_cast<unsigned>(s[at + k] - '0');
    *length = run;
    return value;
}

// 2026-12-08, 2026/12/8, 2026.12.08 -> 二零二六年十二月八日
std::optional<Reading> ReadDate(std::string_view s, std::size_t at) {
    if (DigitRun(s, at) != 4) return std::nullopt;
    std::size_t p = at + 4;
    if (p >= s.size()) return std::nullopt;
    char separator = s[p];
    bool known = false;
    for (char c : kDateSeparators)
        known = known || c == separator;
    if (!known) return std::nullopt;
    std::size_t monthLength = 0, dayLength = 0;
    auto month = SmallNumber(s, p + 1, 1, 2, &monthLength);
    if (!month || *month < 1 || *month > 12) return std::nullopt;
    p += 1 + monthLength;
    if (p >= s.size() || s[p] != separator) return std::nullopt;
    auto day = SmallNumber(s, p + 1, 1, 2, &dayLength);
    if (!day || *day < 1 || *day > 31) return std::nullopt;
    p += 1 + dayLength;
    std::string words = DigitByDigit(s.substr(at, 4)) + std::string(kYear) +
                        NumberWordsForDigits(std::to_string(*month)) + std::string(kMonth) +
                        NumberWordsForDigits(std::to_string(*day)) + std::string(kDay);
    return Reading{p - at, words};
}

// 12:30 -> 十二点三十分, 8:05 -> 八点零五分, 12:00 -> 十二点, 8:05:09 adds 零九秒
std::optional<Reading> ReadTime(std::string_view s, std::size_t at) {
    std::size_t hourLength = 0, minuteLength = 0, secondLength = 0;
    auto hour = SmallNumber(s, at, 1, 2, &hourLength);
    std::size_t p = at + hourLength;
    if (!hour || *hour > 24 || p >= s.size() || s[p] != ':') return std::nullopt;
    auto minute = SmallNumber(s, p + 1, 2, 2, &minuteLength);
    if (!minute || *minute > 59) return std::nullopt;
    p += 1 + minuteLength;
    std::optional<unsigned> second;
    if (p < s.size() && s[p] == ':') {
        second = SmallNumber(s, p + 1, 2, 2, &secondLength);
        if (!second || *second > 59) return std::nullopt;
        p += 1 + secondLength;
    }
    auto part = [](unsigned value) {
        std::string words = value < 10 ? std::string(kDigitWords[0]) : std::string();
        return words + NumberWordsForDigits(std::to_string(value));
    };
    std::string words = NumberWordsForDigits(std::to_string(*hour)) + std::string(kHour);
    if (*minute != 0 || second) words += part(*minute) + std::string(kMinute);
    if (second) words += part(*second) + std::string(kSecond);
    return Reading{p - at, words};
}

// ¥100 -> 一百元, $5.5 -> 五点五美元
std::optional<Reading> ReadCurrency(std::string_view s, std::size_t at) {
    for (const Words& currency : kCurrencyWords) {
        if (!s.substr(at).starts_with(currency.symbol)) continue;
        auto n = NumberAt(s, at + currency.symbol.size());
        if (!n) return std::nullopt;
        return Reading{currency.symbol.size() + n->length,
                       NumberWords(*n) + std::string(currency.words)};
    }
    return std::nullopt;
}

// 50% -> 百分之五十, 3.5% -> 百分之三点五
std::optional<Reading> ReadPercent(std::string_view s, std::size_t at) {
    auto n = NumberAt(s, at);
    std::size_t sign = 0;
    if (!n || !StartsWithAny(s, at + n->length, kPercentSigns, &sign)) return std::nullopt;
    return Reading{n->length + sign, std::string(kPercentOf) + NumberWords(*n)};
}

// 2026年 -> 二零二六年 (the 年 itself is read as the character it is)
std::optional<Reading> ReadYear(std::string_view s, std::size_t at) {
    if (DigitRun(s, at) != 4 || !s.substr(at + 4).starts_with(kYear)) return std::nullopt;
    return Reading{4, DigitByDigit(s.substr(at, 4))};
}

// Phone numbers (11 digits), codes with a leading zero (0571, 007) and
// digit strings too long to be a number are read digit by digit.
std::optional<Reading> ReadDigitString(std::string_view s, std::size_t at) {
    std::size_t run = DigitRun(s, at);
    bool fraction = at + run + 1 < s.size() && s[at + run] == '.' && IsDigit(s[at + run + 1]);
    bool code = run > 1 && s[at] == '0' && !fraction;
    if (run != kPhoneDigits && run <= kMaxIntegerDigits && !code) return std::nullopt;
    return Reading{run, DigitByDigit(s.substr(at, run))};
}

// -5 -> 负五, where the sign cannot be a minus between two operands.
std::optional<Reading> ReadNegative(std::string_view s, std::size_t at) {
    std::size_t sign = 0;
    if (!StartsWithAny(s, at, kMinusSigns, &sign)) return std::nullopt;
    if (at > 0) {
        char before = s[at - 1];
        if (IsDigit(before) || IsLatin(before) || before == ')') return std::nullopt;
    }
    auto n = NumberAt(s, at + sign);
    if (!n) return std::nullopt;
    std::size_t percent = 0;
    bool isPercent = StartsWithAny(s, at + sign + n->length, kPercentSigns, &percent);
    std::string words =
        std::string(kNegative) + (isPercent ? std::string(kPercentOf) : "") + NumberWords(*n);
    return Reading{sign + n->length + percent, words};
}

// 3.14 -> 三点一四, 12,345 -> 一万二千三百四十五, 10000 -> 一万
std::optional<Reading> ReadNumber(std::string_view s, std::size_t at) {
    auto n = NumberAt(s, at);
    if (!n) return std::nullopt;
    return Reading{n->length, NumberWords(*n)};
}

// A hyphen between numbers: minus in a sum (5-3=2), else a range (3-5天).
std::optional<Reading> ReadHyphen(std::string_view s, std::size_t at) {
    std::size_t sign = 0;
    if (!StartsWithAny(s, at, kMinusSigns, &sign)) return std::nullopt;
    std::size_t before = at;
    while (before > 0 && s[before - 1] == ' ')
        --before;
    std::size_t after = at + sign;
    while (after < s.size() && s[after] == ' ')
        ++after;
    bool betweenNumbers = before > 0 && IsDigit(s[before - 1]) && DigitRun(s, after) > 0;
    if (!betweenNumbers) return Reading{sign, " "};
    std::size_t rest = after;
    while (rest < s.size() && (IsDigit(s[rest]) || s[rest] == ' ' || s[rest] == '.'))
        ++rest;
    bool sum = rest < s.size() && (s[rest] == '=' || s.substr(rest).starts_with("＝"));
    return Reading{sign, sum ? "减" : "到"};
}

std::optional<Reading> ReadSymbol(std::string_view s, std::size_t at) {
    for (const Words& w : kSymbolWords)
        if (s.substr(at).starts_with(w.symbol))
            return Reading{w.symbol.size(), std::string(w.words)};
    return std::nullopt;
}

// Tried in order at each position that is not a letter or a Han character;
// the first that reads something wins.
constexpr std::array<ReadingRule, 10> kReadingRules = {
    ReadDate,        ReadTime,     ReadCurrency, ReadPercent, ReadYear,
    ReadDigitString, ReadNegative, ReadNumber,   ReadHyphen,  ReadSymbol,
};

// Full-width digits, letters and spaces become their ASCII forms, so that one
// set of rules reads both.
std::string NarrowFullWidth(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        char32_t cp = CodePointAt(text, i, &length);
        if (cp >= U'０' && cp <= U'９')
            out += static_cast<char>('0' + (cp - U'０'));
        else if (cp >= U'Ａ' && cp <= U'Ｚ')
            out += static_cast<char>('A' + (cp - U'Ａ'));
        else if (cp >= U'ａ' && cp <= U'ｚ')
            out += static_cast<char>('a' + (cp - U'ａ'));
        else if (cp == U'　')
            out += ' ';
        else
            out += text.substr(i, length);
        i += length;
    }
    return out;
}

class RunBuilder {
  public:
    void Add(RunKind kind, std::string_view text) {
        if (runs_.empty() || runs_.back().kind != kind) {
            if (text == " ") return; // a break alone does not start a run
            runs_.push_back({kind, {}});
        }
        std::string& out = runs_.back().text;
        if (text == " ") {
            if (!out.empty() && out.back() != ' ') out += ' ';
            return;
        }
        out += text;
    }
    // A space ends a Latin word; within Mandarin text it only matters between words.
    void Break() {
        if (!runs_.empty()) Add(runs_.back().kind, " ");
    }
    std::vector<SpeechRun> Finish() {
        std::vector<SpeechRun> out;
        for (SpeechRun& run : runs_) {
            while (!run.text.empty() && run.text.back() == ' ')
                run.text.pop_back();
            if (run.text.empty()) continue;
            if (!out.empty() && out.back().kind == run.kind) {
                out.back().text += ' ' + run.text;
                continue;
            }
            out.push_back(std::move(run));
        }
        return out;
    }

  private:
    std::vector<SpeechRun> runs_;
};

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

std::string IntegerWords(std::string_view digits) {
    return NumberWordsForDigits(digits);
}

std::vector<SpeechRun> SplitSpeechRuns(std::string_view original) {
    std::string text = NarrowFullWidth(original);
    std::string_view s = text;
    RunBuilder runs;
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (IsAsciiSpace(c)) {
            runs.Break();
            ++i;
            continue;
        }
        if (IsLatin(c)) {
            std::size_t end = i;
            bool allUpper = true;
            while (end < s.size() && (IsLatin(s[end]) || (s[end] == '\'' && end + 1 < s.size() &&
                                                          IsLatin(s[end + 1])))) {
                allUpper = allUpper && (IsUpper(s[end]) || s[end] == '\'');
                ++end;
            }
            RunKind kind = allUpper ? RunKind::Spelled : RunKind::English;
            runs.Add(kind, s.substr(i, end - i));
            i = end;
            continue;
        }
        std::optional<Reading> reading;
        for (ReadingRule rule : kReadingRules)
            if ((reading = rule(s, i))) break;
        if (reading) {
            runs.Add(RunKind::Mandarin, reading->words);
            i += reading->length;
            continue;
        }
        // Han characters, Chinese and ASCII punctuation and anything else go to
        // the Mandarin voice as they are.
        std::size_t length = SequenceLength(static_cast<unsigned char>(c));
        if (i + length > s.size()) length = 1;
        runs.Add(RunKind::Mandarin, s.substr(i, length));
        i += length;
    }
    return runs.Finish();
}

std::string ChineseReading(std::string_view text) {
    std::string out;
    for (const SpeechRun& run : SplitSpeechRuns(text)) {
        if (!out.empty()) out += ' ';
        out += run.text;
    }
    return out;
}

} // namespace speech

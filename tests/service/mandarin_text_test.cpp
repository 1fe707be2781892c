// The Mandarin front end: readings of numbers and symbols, and the split of
// a text into runs for the Mandarin and English voices.
#include "mandarin_text.h"

#include <doctest.h>

#include <string_view>

using namespace speech;

namespace {

struct ReadingCase {
    std::string_view text;
    std::string_view reading;
};

// Each group catches a different way of getting numbers wrong: place words
// without 万/亿 grouping, missing or doubled 零, 一十 at the start, years and
// phone numbers read as quantities, signs and symbols left to the voice.
constexpr ReadingCase kReadings[] = {
    // integers
    {"0", "零"},
    {"10", "十"},
    {"15", "十五"},
    {"105", "一百零五"},
    {"110", "一百一十"},
    {"1005", "一千零五"},
    {"10000", "一万"},
    {"10500", "一万零五百"},
    {"12345", "一万二千三百四十五"},
    {"20030", "二万零三十"},
    {"100000", "十万"},
    {"100010", "十万零一十"},
    {"1000001", "一百万零一"},
    {"100000000", "一亿"},
    {"100000001", "一亿零一"},
    {"100010000", "一亿零一万"},
    {"1000000000000", "一万亿"},
    {"1234567890123456", "一千二百三十四万五千六百七十八亿九千零一十二万三千四百五十六"},
    {"12,345", "一万二千三百四十五"},
    {"1,000,000", "一百万"},
    // decimals, percentages, signs
    {"3.14", "三点一四"},
    {"0.05", "零点零五"},
    {"50%", "百分之五十"},
    {"3.5％", "百分之三点五"},
    {"-5", "负五"},
    {"温度-3.5℃", "温度负三点五摄氏度"},
    {"-20%", "负百分之二十"},
    {"3+4=7", "三加四等于七"},
    {"5-3=2", "五减三等于二"},
    {"3-5天", "三到五天"},
    {"2×3÷6", "二乘三除以六"},
    {"¥100", "一百元"},
    {"$5.5", "五点五美元"},
    {"25℃", "二十五摄氏度"},
    // digit by digit
    {"2026年", "二零二六年"},
    {"13812345678", "一三八一二三四五六七八"},
    {"0571", "零五七一"},
    {"12345678901234567", "一二三四五六七八九零一二三四五六七"},
    // dates and times
    {"2026-12-08", "二零二六年十二月八日"},
    {"2026/1/31", "二零二六年一月三十一日"},
    {"2026年12月8日", "二零二六年十二月八日"},
    {"12:30", "十二点三十分"},
    {"8:05", "八点零五分"},
    {"12:00", "十二点"},
    {"23:59:09", "二十三点五十九分零九秒"},
    {"2026-13-08", "二千零二十六到十三到零八"}, // no such month: not a date
    // full-width forms
    {"１２３４５", "一万二千三百四十五"},
};

struct RunsCase {
    std::string_view text;
    std::vector<SpeechRun> runs;
};

const RunsCase kRuns[] = {
    {"你好，世界", {{RunKind::Mandarin, "你好，世界"}}},
    {"USB接口", {{RunKind::Spelled, "USB"}, {RunKind::Mandarin, "接口"}}},
    {"说 hello world 吧",
     {{RunKind::Mandarin, "说"}, {RunKind::English, "hello world"}, {RunKind::Mandarin, "吧"}}},
    {"iPhone的PDF",
     {{RunKind::English, "iPhone"}, {RunKind::Mandarin, "的"}, {RunKind::Spelled, "PDF"}}},
    {"MP3 文件 100 个", {{RunKind::Spelled, "MP"}, {RunKind::Mandarin, "三 文件 一百 个"}}},
    {"don't 说", {{RunKind::English, "don't"}, {RunKind::Mandarin, "说"}}},
    {"ＡＢＣ和ａｂｃ",
     {{RunKind::Spelled, "ABC"}, {RunKind::Mandarin, "和"}, {RunKind::English, "abc"}}},
    {"  \t ", {}},
};

} // namespace

TEST_CASE("numbers and symbols are read as Chinese words") {
    for (const ReadingCase& c : kReadings) {
        CAPTURE(c.text);
        CHECK(ChineseReading(c.text) == c.reading);
    }
}

TEST_CASE("a text splits into runs for the voice that reads each") {
    for (const RunsCase& c : kRuns) {
        CAPTURE(c.text);
        auto runs = SplitSpeechRuns(c.text);
        REQUIRE(runs.size() == c.runs.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            CAPTURE(i);
            CHECK(runs[i].kind == c.runs[i].kind);
            CHECK(runs[i].text == c.runs[i].text);
        }
    }
}

TEST_CASE("broken UTF-8 and stray bytes neither crash nor vanish") {
    // The service rejects such text before it gets here; the front end must
    // still not read past the end or drop the rest of the text.
    auto runs = SplitSpeechRuns("\xE4\xBD 12\xFF好");
    REQUIRE(!runs.empty());
    CHECK(runs.back().text.ends_with("十二\xFF好"));
}

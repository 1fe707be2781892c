// The edit box's input-mode rules as text: what each mode lets through, how
// the content is normalised when the focus leaves, the date-time reader and
// the up-down step.
#include <doctest.h>

#include <climits>

#include "st/edit_input.h"

using namespace st::edit;

TEST_CASE("typed characters: the numeric modes keep to digits, signs and points") {
    const std::string printable = "-.5a ";
    struct Row {
        int32_t mode;
        const char* kept; // of printable
    } rows[] = {{InputMode::Normal, "-.5a "},   {InputMode::Password, "-.5a "},
                {InputMode::IntegerText, "-5"}, {InputMode::DecimalText, "-.5"},
                {InputMode::Byte, "5"},         {InputMode::Short, "-5"},
                {InputMode::Long, "-5"},        {InputMode::Float, "-.5"},
                {InputMode::Double, "-.5"},     {InputMode::DateTime, "-.5a "}};
    for (const Row& row : rows) {
        CAPTURE(row.mode);
        std::string kept;
        for (char c : printable)
            if (AcceptsChar(row.mode, static_cast<unsigned char>(c))) kept += c;
        CHECK(kept == row.kept);
        // Backspace, Enter, Tab always reach the control; a lead byte is printable.
        CHECK(AcceptsChar(row.mode, 8));
        CHECK(AcceptsChar(row.mode, 13));
        CHECK(AcceptsChar(row.mode, 0xD6) ==
              (row.mode < InputMode::IntegerText || row.mode == InputMode::DateTime));
    }
}

TEST_CASE("numbers are clamped to their mode and zero becomes empty") {
    CHECK(Normalise(InputMode::Byte, "300") == "255");
    CHECK(Normalise(InputMode::Byte, "0") == "");
    CHECK(Normalise(InputMode::Byte, "-7") == "");
    CHECK(Normalise(InputMode::Byte, "") == "");
    CHECK(Normalise(InputMode::Short, "40000") == "32767");
    CHECK(Normalise(InputMode::Short, "-40000") == "-32768");
    CHECK(Normalise(InputMode::Integer, "99999999999999999999999") == "2147483647");
    CHECK(Normalise(InputMode::Integer, "-2147483648") == "-2147483648");
    CHECK(Normalise(InputMode::Integer, "12abc") == "12");
    CHECK(Normalise(InputMode::Long, "9223372036854775807") == "9223372036854775807");
    CHECK(Normalise(InputMode::Long, "9223372036854775808") == "9223372036854775807");
    CHECK(Normalise(InputMode::Long, "-99999999999999999999") == "-9223372036854775808");
    CHECK(Normalise(InputMode::Float, "0.1") == "0.1");
    CHECK(Normalise(InputMode::Float, "3.14159274") == "3.14159");
    CHECK(Normalise(InputMode::Float, "-0") == "");
    CHECK(Normalise(InputMode::Float, std::string(60, '9')) == "3.40282e+38");
    CHECK(Normalise(InputMode::Double, "2.5") == "2.5");
    CHECK(Normalise(InputMode::Double, "0.000") == "");
    CHECK(Normalise(InputMode::Double, "1" + std::string(400, '0')) == "1.797693134862e+308");
    // Text modes are left alone.
    for (int32_t mode : {InputMode::Normal, InputMode::ReadOnly, InputMode::Password,
                         InputMode::IntegerText, InputMode::DecimalText})
        CHECK_FALSE(Normalise(mode, "300").has_value());
}

TEST_CASE("date-time texts: separators, unit characters, missing numbers, ranges") {
    CHECK(Normalise(InputMode::DateTime, "2012-1-20 5:23:31") == "2012年1月20日5时23分31秒");
    CHECK(Normalise(InputMode::DateTime, "2012年1月20日5时23分31秒") == "2012年1月20日5时23分31秒");
    CHECK(Normalise(InputMode::DateTime, "2012/01/20") == "2012年1月20日");
    CHECK(Normalise(InputMode::DateTime, "20120120") == "2012年1月20日");
    CHECK(Normalise(InputMode::DateTime, "2012.1.20.5") == "2012年1月20日5时");
    // Full-width digits and punctuation count as their half-width twins.
    CHECK(Normalise(InputMode::DateTime, "２０１２－１－２０") == "2012年1月20日");
    // Leap years: divisible by 4 but not by 100, or by 400.
    CHECK(Normalise(InputMode::DateTime, "2000-2-29") == "2000年2月29日");
    CHECK(Normalise(InputMode::DateTime, "2012-2-29") == "2012年2月29日");
    CHECK(Normalise(InputMode::DateTime, "1900-2-29") == "");
    CHECK(Normalise(InputMode::DateTime, "2011-2-29") == "");
    for (const char* bad : {"", "99-1-1", "10000-1-1", "2012-13-1", "2012-0-1", "2012-4-31",
                            "2012-1-1 24:00", "2012-1-1 1:60", "2012-1-1 1:1:60", "2012-1-1 x",
                            "2012-1-1 1:2:3 ", "2012-1-1秒秒", "天"}) {
        CAPTURE(bad);
        CHECK(Normalise(InputMode::DateTime, bad) == "");
    }
}

TEST_CASE("integers saturate instead of overflowing") {
    CHECK(ReadClampedInteger("  -42x", INT64_MIN, INT64_MAX) == -42);
    CHECK(ReadClampedInteger("+7", INT64_MIN, INT64_MAX) == 7);
    CHECK(ReadClampedInteger("abc", -5, 5) == 0);
    CHECK(ReadClampedInteger("-9223372036854775808", INT64_MIN, INT64_MAX) == INT64_MIN);
    CHECK(ReadClampedInteger("-9223372036854775809", INT64_MIN, INT64_MAX) == INT64_MIN);
    CHECK(ReadClampedInteger(std::string(30, '9'), INT32_MIN, INT32_MAX) == INT32_MAX);
}

TEST_CASE("up-down steps wrap at the bounds and saturate") {
    CHECK(StepWrapped("100", +1, 0, 100) == 0);
    CHECK(StepWrapped("0", -1, 0, 100) == 100);
    CHECK(StepWrapped("41", +1, 0, 100) == 42);
    CHECK(StepWrapped("", +1, 0, 100) == 1); // no digits: 0
    CHECK(StepWrapped("500", -1, 0, 100) == 100);
    CHECK(StepWrapped("2147483647", +1, INT32_MIN, INT32_MAX) == INT32_MIN);
    CHECK(StepWrapped("-2147483648", -1, INT32_MIN, INT32_MAX) == INT32_MAX);
    CHECK(StepWrapped(std::string(20, '9'), -1, INT32_MIN, INT32_MAX) == INT32_MAX - 1);
}

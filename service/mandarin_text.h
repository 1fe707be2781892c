// Text front end for Mandarin speech: splits a text into runs for the voice
// that should read each one, and turns numbers and symbols into the Chinese
// words a reader would say, so that the Mandarin voice never sees digits or
// Latin letters it would read in the wrong language.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace speech {

enum class RunKind {
    Mandarin, // Han characters, Chinese punctuation and numbers already in words
    English,  // Latin words, read by an English voice
    Spelled,  // all-capital abbreviations, letters separated for the English voice
};

struct SpeechRun {
    RunKind kind;
    std::string text;

    bool operator==(const SpeechRun&) const = default;
};

// The runs of a UTF-8 text in order; adjacent runs of one kind are merged.
std::vector<SpeechRun> SplitSpeechRuns(std::string_view text);

// The texts of all runs joined by spaces: what the voices are given, in one
// line for tests and logs.
std::string ChineseReading(std::string_view text);

// 10000 -> 一万, 12345 -> 一万二千三百四十五; digits only, up to 16 of them.
std::string IntegerWords(std::string_view digits);

} // namespace speech

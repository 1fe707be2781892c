// Content-derived names of synthesised files.
#pragma once

#include <string>
#include <string_view>

namespace speech {

inline constexpr std::size_t kContentKeyLength = 32;

// 32 lower-case hex digits of SHA-256 over everything that shapes the audio:
// a format version, the eSpeak voice, the rate and the text.
std::string ContentKey(std::string_view espeakVoice, int rate, std::string_view text);

bool IsContentKey(std::string_view s);

} // namespace speech

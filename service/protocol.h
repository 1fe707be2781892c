// The request and page formats the speech tool relies on: query decoding and
// validation, the voice and speed tables, and the player page.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace speech {

// The tool cuts the MP3 address out of the page between these two texts.
inline constexpr std::string_view kLeftMarker = "Products/MediaPlayer/' src='";
inline constexpr std::string_view kRightMarker = "' width='0' height='0' autostart";

inline constexpr std::string_view kSynthesisPath = "/bin/makeColorPlusGuest.jsp";
inline constexpr std::size_t kDefaultMaxText = 4096;

// One selectable voice: the tool's "sex" value and the eSpeak voices it
// names, one reading Chinese and one reading the Latin words in a text.
struct Voice {
    int sex;
    const char* espeakName;
    const char* englishName;
    const char* description;
};

// What names a voice in content keys: both eSpeak voices.
std::string VoiceKeyName(const Voice& voice);

inline constexpr int kDefaultSex = 201;
inline constexpr int kMinSpeed = -5;
inline constexpr int kMaxSpeed = 5;

const Voice* FindVoice(int sex);
const Voice* VoicesBegin();
const Voice* VoicesEnd();

// eSpeak rate in words per minute for a speed step; speed must be in range.
int EspeakRateForSpeed(int speed);

// Strict %XX decoding; '+' stays a plus sign, since the tool escapes spaces
// and plus signs itself. nullopt when a '%' is not followed by two hex digits.
std::optional<std::string> PercentDecode(std::string_view s);

bool IsValidUtf8(std::string_view s);

// Parses an optionally signed decimal integer with nothing around it.
std::optional<int> ParseInteger(std::string_view s);

struct SynthesisRequest {
    const Voice* voice = nullptr;
    int speed = 0;
    std::string text; // UTF-8, as received
};

struct RequestError {
    int status;
    std::string message;
};

// Parses the query of a synthesis request (the part after '?').
std::variant<SynthesisRequest, RequestError> ParseSynthesisQuery(std::string_view query,
                                                                 std::size_t maxTextBytes);

// The text eSpeak is given: control characters (which eSpeak may take as
// embedded commands) become spaces.
std::string TextForSynthesis(std::string_view text);

std::string HtmlEscape(std::string_view s);

// The page the tool reads: the MP3 address as the src of an embedded player.
std::string BuildPlayerPage(std::string_view audioUrl, std::string_view text);

} // namespace speech

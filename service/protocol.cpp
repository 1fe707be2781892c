#include "protocol.h"

#include <array>
#include <climits>

namespace speech {

namespace {

// 201 is what the tool sends. The others are eSpeak variants of the same
// voices. The pinyin form of the Mandarin voice reads every Han character as
// Mandarin (the plain one reads many through English); Latin words never
// reach it, they go to the English voice of the same variant.
constexpr std::array kVoices{
    Voice{201, "cmn-Latn-pinyin", "en", "default Mandarin voice"},
    Voice{202, "cmn-Latn-pinyin+f2", "en+f2", "female variant"},
    Voice{203, "cmn-Latn-pinyin+m3", "en+m3", "lower male variant"},
    Voice{204, "cmn-Latn-pinyin+f4", "en+f4", "higher female variant"},
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(std::string_view text) {
    for (unsigned char c : text)
        if (c > ' ') return false;
    return true;
}

} // namespace

const Voice* FindVoice(int sex) {
    for (const Voice& v : kVoices)
        if (v.sex == sex) return &v;
    return nullptr;
}

std::string VoiceKeyName(const Voice& voice) {
    return std::string(voice.espeakName) + "/" + voice.englishName;
}

const Voice* VoicesBegin() {
    return kVoices.data();
}
const Voice* VoicesEnd() {
    return kVoices.data() + kVoices.size();
}

int EspeakRateForSpeed(int speed) {
    // eSpeak's normal rate is 175 wpm; 15 wpm per step keeps -5..5 within
    // 100..250, comfortably inside eSpeak's 80..450.
    return 175 + 15 * speed;
}

std::optional<std::string> PercentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (s.size() - i < 3) return std::nullopt;
        int hi = HexValue(s[i + 1]);
        int lo = HexValue(s[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false; // stray continuation byte, overlong lead, or beyond U+10FFFF
        }
        if (s.size() - i < len) return false;
        for (std::size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::optional<int> ParseInteger(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::variant<SynthesisRequest, RequestError> ParseSynthesisQuery(std::string_view query,
                                                                 std::size_t maxTextBytes) {
    std::optional<std::string> sex, speed, ment;
    while (!query.empty()) {
        std::size_t amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        if (pair.empty()) continue;
        std::size_t eq = pair.find('=');
        // A part without '=' is most likely the rest of a text whose '&' was
        // not escaped: cutting the text there silently would speak half of it.
        if (eq == std::string_view::npos)
            return RequestError{400, "query part without '=' (a raw '&' in the text? "
                                     "percent-encode it as %26)"};
        std::string_view rawKey = pair.substr(0, eq);
        std::string_view rawValue =
            eq == std::string_view::npos ? std::string_view{} : pair.substr(eq + 1);
        auto key = PercentDecode(rawKey);
        if (!key) return RequestError{400, "invalid percent-encoding in a query key"};
        std::optional<std::string>* slot = nullptr;
        if (*key == "sex")
            slot = &sex;
        else if (*key == "speed")
            slot = &speed;
        else if (*key == "ment")
            slot = &ment;
        else
            continue; // unknown keys (cache busters and the like) are ignored
        if (slot->has_value()) return RequestError{400, "query key '" + *key + "' given twice"};
        auto value = PercentDecode(rawValue);
        if (!value) return RequestError{400, "invalid percent-encoding in '" + *key + "'"};
        *slot = std::move(*value);
    }

    SynthesisRequest request;
    int sexValue = kDefaultSex;
    if (sex) {
        auto n = ParseInteger(*sex);
        if (!n) return RequestError{400, "sex must be an integer"};
        sexValue = *n;
    }
    request.voice = FindVoice(sexValue);
    if (!request.voice) {
        std::string known;
        for (const Voice* v = VoicesBegin(); v != VoicesEnd(); ++v)
            known += (known.empty() ? "" : ", ") + std::to_string(v->sex);
        return RequestError{400, "unknown sex value " + std::to_string(sexValue) +
                                     " (known: " + known + ")"};
    }
    if (speed) {
        auto n = ParseInteger(*speed);
        if (!n) return RequestError{400, "speed must be an integer"};
        if (*n < kMinSpeed || *n > kMaxSpeed)
            return RequestError{400, "speed must be between " + std::to_string(kMinSpeed) +
                                         " and " + std::to_string(kMaxSpeed)};
        request.speed = *n;
    }
    if (!ment) return RequestError{400, "missing query key 'ment' (the text)"};
    if (ment->size() > maxTextBytes)
        return RequestError{413, "text is " + std::to_string(ment->size()) +
                                     " bytes; the limit is " + std::to_string(maxTextBytes) +
                                     " bytes of UTF-8"};
    if (!IsValidUtf8(*ment)) return RequestError{400, "text is not valid UTF-8"};
    if (ment->find('\0') != std::string::npos)
        return RequestError{400, "text contains a zero byte"};
    if (IsBlank(*ment)) return RequestError{400, "text is empty"};
    request.text = std::move(*ment);
    return request;
}

std::string TextForSynthesis(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return out;
}

std::string HtmlEscape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string BuildPlayerPage(std::string_view audioUrl, std::string_view text) {
    // The embed element comes before anything derived from the text: the tool
    // takes the first left marker and the first right marker in the page.
    std::string page;
    page += "<!DOCTYPE html>\n<html><head><meta charset='utf-8'><title>speech</title></head>\n"
            "<body>\n<embed type='audio/mpeg' pluginspage='/Products/MediaPlayer/' src='";
    page += audioUrl;
    page += "' width='0' height='0' autostart='true'>\n<p><audio controls src='";
    page += audioUrl;
    page += "'></audio> <a href='";
    page += audioUrl;
    page += "'>MP3</a></p>\n<p>";
    page += HtmlEscape(text);
    page += "</p>\n</body></html>\n";
    return page;
}

} // namespace speech

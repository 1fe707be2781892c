#include "content_key.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace speech {

namespace {
// Bump when the encoder settings or the text front end change, so old files
// are not served as new.
constexpr std::string_view kFormatVersion = "mp3-22050-mono-48k-v2";
} // namespace

std::string ContentKey(std::string_view espeakVoice, int rate, std::string_view text) {
    // Fields are separated by a zero byte, which none of them can contain, so
    // distinct inputs never concatenate to the same message.
    std::string message;
    message.reserve(text.size() + 64);
    message += kFormatVersion;
    message += '\0';
    message += espeakVoice;
    message += '\0';
    message += std::to_string(rate);
    message += '\0';
    message += text;

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(message.data(), message.size(), digest, &digestLength, EVP_sha256(), nullptr) !=
        1)
        throw std::runtime_error("SHA-256 failed");

    static constexpr char hex[] = "0123456789abcdef";
    std::string key;
    for (std::size_t i = 0; i < kContentKeyLength / 2; ++i) {
        key += hex[digest[i] >> 4];
        key += hex[digest[i] & 15];
    }
    return key;
}

bool IsContentKey(std::string_view s) {
    if (s.size() != kContentKeyLength) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

} // namespace speech

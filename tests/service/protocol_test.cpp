#include "content_key.h"
#include "protocol.h"
#include "test_support.h"

#include <doctest.h>

using namespace speech;

namespace {

SynthesisRequest parseOk(std::string_view query, std::size_t limit = kDefaultMaxText) {
    auto r = parseSynthesisQuery(query, limit);
    if (auto* e = std::get_if<RequestError>(&r))
        FAIL("unexpected error " << e->status << ": " << e->message);
    return std::get<SynthesisRequest>(r);
}

int errorStatus(std::string_view query, std::size_t limit = kDefaultMaxText) {
    auto r = parseSynthesisQuery(query, limit);
    auto* e = std::get_if<RequestError>(&r);
    return e ? e->status : 200;
}

} // namespace

TEST_CASE("percent decoding is strict and leaves '+' alone") {
    CHECK(percentDecode("%E4%BD%A0%e5%a5%bd") == std::string("你好"));
    CHECK(percentDecode("1+1%3D2") == std::string("1+1=2"));
    CHECK(percentDecode("") == std::string());
    CHECK(percentDecode("%00") == std::string(1, '\0'));
    CHECK_FALSE(percentDecode("%"));
    CHECK_FALSE(percentDecode("abc%4"));
    CHECK_FALSE(percentDecode("%zz"));
    CHECK_FALSE(percentDecode("%4g"));
}

TEST_CASE("UTF-8 validation rejects malformed sequences") {
    CHECK(isValidUtf8("你好，世界 123 abc"));
    CHECK(isValidUtf8("\xF0\x9F\x98\x80"));       // U+1F600
    CHECK(isValidUtf8("\xF4\x8F\xBF\xBF"));       // U+10FFFF
    CHECK_FALSE(isValidUtf8("\xE4\xBD"));         // truncated
    CHECK_FALSE(isValidUtf8("\x80"));             // stray continuation byte
    CHECK_FALSE(isValidUtf8("\xC0\xAF"));         // overlong '/'
    CHECK_FALSE(isValidUtf8("\xE0\x80\xAF"));     // overlong, three bytes
    CHECK_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    CHECK_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    CHECK_FALSE(isValidUtf8("\xC4\xE3\xBA\xC3")); // GBK bytes of 你好
}

TEST_CASE("synthesis query: what the tool sends") {
    auto r = parseOk("sex=201&speed=0&ment=%E4%BD%A0%E5%A5%BD%20abc%261");
    CHECK(r.voice->sex == 201);
    CHECK(r.voice->sex == kDefaultSex);
    CHECK(r.speed == 0);
    CHECK(r.text == "你好 abc&1");

    SUBCASE("defaults, other voices and speeds, ignored keys") {
        auto d = parseOk("ment=a&nocache=123");
        CHECK(d.voice->sex == kDefaultSex);
        CHECK(d.speed == 0);
        CHECK(parseOk("sex=202&ment=a").voice->sex == 202);
        CHECK(parseOk("speed=-5&ment=a").speed == -5);
        CHECK(parseOk("speed=%2B5&ment=a").speed == 5);
        for (const Voice* v = voicesBegin(); v != voicesEnd(); ++v)
            CHECK(parseOk("sex=" + std::to_string(v->sex) + "&ment=a").voice == v);
    }
    SUBCASE("bad values are 400") {
        CHECK(errorStatus("sex=abc&ment=a") == 400);
        CHECK(errorStatus("sex=&ment=a") == 400);
        CHECK(errorStatus("sex=2O1&ment=a") == 400);
        CHECK(errorStatus("sex=999&ment=a") == 400);
        CHECK(errorStatus("speed=fast&ment=a") == 400);
        CHECK(errorStatus("speed=1.5&ment=a") == 400);
        CHECK(errorStatus("speed=6&ment=a") == 400);
        CHECK(errorStatus("speed=-6&ment=a") == 400);
        CHECK(errorStatus("speed=99999999999999&ment=a") == 400);
        CHECK(errorStatus("sex=201&sex=202&ment=a") == 400);
        CHECK(errorStatus("ment=a&ment=b") == 400);
    }
    SUBCASE("bad text is 400, long text 413") {
        CHECK(errorStatus("sex=201&speed=0") == 400);
        CHECK(errorStatus("ment=") == 400);
        CHECK(errorStatus("ment=%20%0D%0A") == 400);
        CHECK(errorStatus("ment=%E4%BD") == 400);
        CHECK(errorStatus("ment=%C4%E3%BA%C3") == 400);
        CHECK(errorStatus("ment=a%00b") == 400);
        CHECK(errorStatus("ment=%ZZ") == 400);
        CHECK(errorStatus("ment=abc%") == 400);
        std::string text(10, 'a');
        CHECK(parseOk("ment=" + text, 10).text == text);
        CHECK(errorStatus("ment=" + text + "a", 10) == 413);
        // The limit is on the decoded UTF-8 bytes: 4 characters are 12 bytes.
        CHECK(errorStatus("ment=" + test::percentEncode("你好你好"), 11) == 413);
        CHECK(parseOk("ment=" + test::percentEncode("你好你好"), 12).text == "你好你好");
    }
}

TEST_CASE("control characters never reach eSpeak") {
    CHECK(textForSynthesis("a\x01"
                           "b\r\nc\x7F") == "a b  c ");
    CHECK(textForSynthesis("你好") == "你好");
}

TEST_CASE("content keys follow voice, rate and text") {
    std::string k = contentKey("cmn", 175, "你好");
    CHECK(isContentKey(k));
    CHECK(k == contentKey("cmn", 175, "你好"));
    CHECK(k != contentKey("cmn+f2", 175, "你好"));
    CHECK(k != contentKey("cmn", 190, "你好"));
    CHECK(k != contentKey("cmn", 175, "你好 "));
    // Field boundaries matter: moving bytes between fields changes the key.
    CHECK(contentKey("cmn", 17, "5a") != contentKey("cmn", 175, "a"));
    CHECK_FALSE(isContentKey("../../etc/passwd"));
    CHECK_FALSE(isContentKey(std::string(32, 'A')));
    CHECK_FALSE(isContentKey(std::string(31, 'a')));
}

TEST_CASE("the player page gives the tool its address whatever the text") {
    const std::string url = "http://127.0.0.1:8925/audio/0123456789abcdef0123456789abcdef.mp3";
    CHECK(test::addressInPage(buildPlayerPage(url, "你好")) == url);

    // A text carrying the markers themselves must not move what the tool cuts out.
    std::string hostile = std::string(kRightMarker) + "<b>" + std::string(kLeftMarker) + "x" +
                          std::string(kRightMarker);
    std::string page = buildPlayerPage(url, hostile);
    CHECK(test::addressInPage(page) == url);
    CHECK(page.find("<b>") == std::string::npos);
    CHECK(htmlEscape("<a href='x'>&\"") == "&lt;a href=&#39;x&#39;&gt;&amp;&quot;");
}

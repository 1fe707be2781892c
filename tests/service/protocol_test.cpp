#include "content_key.h"
#include "protocol.h"
#include "test_support.h"

#include <doctest.h>

using namespace speech;

namespace {

SynthesisRequest ParseOk(std::string_view query, std::size_t limit = kDefaultMaxText) {
    auto r = ParseSynthesisQuery(query, limit);
    if (auto* e = std::get_if<RequestError>(&r))
        FAIL("unexpected error " << e->status << ": " << e->message);
    return std::get<SynthesisRequest>(r);
}

int ErrorStatus(std::string_view query, std::size_t limit = kDefaultMaxText) {
    auto r = ParseSynthesisQuery(query, limit);
    auto* e = std::get_if<RequestError>(&r);
    return e ? e->status : 200;
}

} // namespace

TEST_CASE("percent decoding is strict and leaves '+' alone") {
    CHECK(PercentDecode("%E4%BD%A0%e5%a5%bd") == std::string("你好"));
    CHECK(PercentDecode("1+1%3D2") == std::string("1+1=2"));
    CHECK(PercentDecode("") == std::string());
    CHECK(PercentDecode("%00") == std::string(1, '\0'));
    CHECK_FALSE(PercentDecode("%"));
    CHECK_FALSE(PercentDecode("abc%4"));
    CHECK_FALSE(PercentDecode("%zz"));
    CHECK_FALSE(PercentDecode("%4g"));
}

TEST_CASE("UTF-8 validation rejects malformed sequences") {
    CHECK(IsValidUtf8("你好，世界 123 abc"));
    CHECK(IsValidUtf8("\xF0\x9F\x98\x80"));       // U+1F600
    CHECK(IsValidUtf8("\xF4\x8F\xBF\xBF"));       // U+10FFFF
    CHECK_FALSE(IsValidUtf8("\xE4\xBD"));         // truncated
    CHECK_FALSE(IsValidUtf8("\x80"));             // stray continuation byte
    CHECK_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong '/'
    CHECK_FALSE(IsValidUtf8("\xE0\x80\xAF"));     // overlong, three bytes
    CHECK_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
    CHECK_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    CHECK_FALSE(IsValidUtf8("\xC4\xE3\xBA\xC3")); // GBK bytes of 你好
}

TEST_CASE("synthesis query: what the tool sends") {
    auto r = ParseOk("sex=201&speed=0&ment=%E4%BD%A0%E5%A5%BD%20abc%261");
    CHECK(r.voice->sex == 201);
    CHECK(r.voice->sex == kDefaultSex);
    CHECK(r.speed == 0);
    CHECK(r.text == "你好 abc&1");

    SUBCASE("defaults, other voices and speeds, ignored keys") {
        auto d = ParseOk("ment=a&nocache=123");
        CHECK(d.voice->sex == kDefaultSex);
        CHECK(d.speed == 0);
        CHECK(ParseOk("sex=202&ment=a").voice->sex == 202);
        CHECK(ParseOk("speed=-5&ment=a").speed == -5);
        CHECK(ParseOk("speed=%2B5&ment=a").speed == 5);
        for (const Voice* v = VoicesBegin(); v != VoicesEnd(); ++v)
            CHECK(ParseOk("sex=" + std::to_string(v->sex) + "&ment=a").voice == v);
    }
    SUBCASE("bad values and bad text are 400, long text 413") {
        for (std::string_view query :
             {"sex=abc&ment=a", "sex=&ment=a", "sex=2O1&ment=a", "sex=999&ment=a",
              "speed=fast&ment=a", "speed=1.5&ment=a", "speed=6&ment=a", "speed=-6&ment=a",
              "speed=99999999999999&ment=a", "sex=201&sex=202&ment=a", "ment=a&ment=b",
              "sex=201&speed=0", "ment=", "ment=%20%0D%0A", "ment=%E4%BD", "ment=%C4%E3%BA%C3",
              "ment=a%00b", "ment=%ZZ", "ment=abc%"}) {
            CAPTURE(query);
            CHECK(ErrorStatus(query) == 400);
        }
        std::string text(10, 'a');
        CHECK(ParseOk("ment=" + text, 10).text == text);
        CHECK(ErrorStatus("ment=" + text + "a", 10) == 413);
        // The limit is on the decoded UTF-8 bytes: 4 characters are 12 bytes.
        CHECK(ErrorStatus("ment=" + test::PercentEncode("你好你好"), 11) == 413);
        CHECK(ParseOk("ment=" + test::PercentEncode("你好你好"), 12).text == "你好你好");
    }
}

TEST_CASE("control characters never reach eSpeak") {
    CHECK(TextForSynthesis("a\x01"
                           "b\r\nc\x7F") == "a b  c ");
    CHECK(TextForSynthesis("你好") == "你好");
}

TEST_CASE("content keys follow voice, rate and text") {
    std::string k = ContentKey("cmn", 175, "你好");
    CHECK(IsContentKey(k));
    CHECK(k == ContentKey("cmn", 175, "你好"));
    CHECK(k != ContentKey("cmn+f2", 175, "你好"));
    CHECK(k != ContentKey("cmn", 190, "你好"));
    CHECK(k != ContentKey("cmn", 175, "你好 "));
    // Field boundaries matter: moving bytes between fields changes the key.
    CHECK(ContentKey("cmn", 17, "5a") != ContentKey("cmn", 175, "a"));
    CHECK_FALSE(IsContentKey("../../etc/passwd"));
    CHECK_FALSE(IsContentKey(std::string(32, 'A')));
    CHECK_FALSE(IsContentKey(std::string(31, 'a')));
}

TEST_CASE("the player page gives the tool its address whatever the text") {
    const std::string url = "http://127.0.0.1:8925/audio/0123456789abcdef0123456789abcdef.mp3";
    CHECK(test::AddressInPage(BuildPlayerPage(url, "你好")) == url);

    // A text carrying the markers themselves must not move what the tool cuts out.
    std::string hostile = std::string(kRightMarker) + "<b>" + std::string(kLeftMarker) + "x" +
                          std::string(kRightMarker);
    std::string page = BuildPlayerPage(url, hostile);
    CHECK(test::AddressInPage(page) == url);
    CHECK(page.find("<b>") == std::string::npos);
    CHECK(HtmlEscape("<a href='x'>&\"") == "&lt;a href=&#39;x&#39;&gt;&amp;&quot;");
}

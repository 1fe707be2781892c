// The speech tool's text helpers: request encoding through the system's
// code-page conversion, cutting between markers, null-safe comparison.
#include <doctest.h>

#include "dll_binding.h"
#include "runtime_started.h"
#include "st/services.h"
#include "test_files.h"
#include "text_helpers.h"

#include <windows.h>

#include <string>

namespace {

// The program's two conversion functions, declared with an empty library name.
void DeclareConversions() {
    testing::StartRuntimeOnce();
    const char* libraries[] = {"", ""};
    const char* exports[] = {"MultiByteToWideChar", "WideCharToMultiByte"};
    st::DeclareExternalFunctions(2, libraries, exports);
}

std::string Take(st::TextValue t) {
    if (!t) return "<null>";
    std::string s = *t ? t : "<empty block>";
    st::FreeMemory(t);
    return s;
}

std::string TakeBytes(void* set) {
    if (!set) return "<null>";
    std::string s(reinterpret_cast<const char*>(st::ByteSetData(set)),
                  static_cast<size_t>(st::ByteSetLength(set)));
    st::FreeMemory(set);
    return s;
}

std::string Encode(const char* text) {
    st::TextValue t = const_cast<char*>(text);
    return Take(app::EncodeRequestText(t));
}

} // namespace

TEST_CASE("EncodeRequestText escapes everything but unreserved bytes") {
    DeclareConversions();
    CHECK(Encode("abc 1&2") == "abc%201%262");
    CHECK(Encode("a\r\nb") == "a%0D%0Ab");
    CHECK(Encode("你好") == "%E4%BD%A0%E5%A5%BD");
    CHECK(Encode("中") == "%E4%B8%AD");
    CHECK(Encode("AZaz09-_.~") == "AZaz09-_.~");
    CHECK(Encode("%+#=?/") == "%25%2B%23%3D%3F%2F");
    CHECK(Encode("x中1") == "x%E4%B8%AD1");
    // Full-width digits are characters of their own, not ASCII.
    CHECK(Encode("\xA3\xB1") == "%EF%BC%91");
    // A lone lead byte at the end is escaped, never sent raw.
    CHECK(Encode("ab\xD6") == "ab%D6");
    CHECK(Encode(st::EmptyText) == "<null>");
    st::TextValue none = nullptr;
    CHECK(Take(app::EncodeRequestText(none)) == "<null>");
    st::ReleaseExternalFunctions();
}

TEST_CASE("The conversions: UTF-16 with its zero unit, UTF-8 with its zero byte") {
    DeclareConversions();
    st::TextValue zhong = const_cast<char*>("中a");
    CHECK(TakeBytes(app::GbkToUtf16(zhong)) == std::string("\x2D\x4E"
                                                           "a\0\0\0",
                                                           6));
    CHECK(TakeBytes(app::GbkToUtf8(zhong)) == std::string("\xE4\xB8\xAD"
                                                          "a\0",
                                                          5));
    st::TextValue empty = const_cast<char*>(st::EmptyText);
    CHECK(TakeBytes(app::GbkToUtf16(empty)) == std::string(2, '\0'));
    void* none = nullptr;
    CHECK(TakeBytes(app::Utf16ToUtf8(none)) == "<null>");
    // A UTF-16 block without a zero unit is read no further than its length.
    const unsigned char block[] = {1, 0, 0, 0, 4, 0, 0, 0, 0x41, 0x00, 0x42, 0x00};
    void* unterminated = const_cast<unsigned char*>(block);
    CHECK(TakeBytes(app::Utf16ToUtf8(unterminated)) == "AB");
    st::TextValue c = const_cast<char*>("好");
    CHECK(Take(app::PercentEncodeChar(c)) == "%E5%A5%BD");
    st::ReleaseExternalFunctions();
}

TEST_CASE("A failed conversion drops the character from the query") {
    // The probe library of the binding tests, by absolute path.
    const std::string probe =
        test_support::ProgramFolder() + "..\\commands\\binding\\st_bind_probe.dll";
    const char* libraries[] = {probe.c_str(), ""};
    const char* exports[] = {"ProbeFailingConversion", "WideCharToMultiByte"};
    st::DeclareExternalFunctions(2, libraries, exports);
    CHECK(Encode("a中b") == "ab");
    st::TextValue zhong = const_cast<char*>("中");
    CHECK(TakeBytes(app::GbkToUtf16(zhong)) == "<null>");
    CHECK(Take(app::PercentEncodeChar(zhong)) == "<null>");
    st::ReleaseExternalFunctions();
}

namespace {
struct Cut {
    std::string text;
    bool found;
};
Cut Between(const char* text, const char* left, const char* right) {
    st::TextValue t = const_cast<char*>(text), l = const_cast<char*>(left),
                  r = const_cast<char*>(right);
    bool found = false;
    std::string s = Take(app::TextBetween(t, l, r, found));
    return {s, found};
}
} // namespace

TEST_CASE("TextBetween cuts after the first left marker up to the right marker behind it") {
    const char* left = "Products/MediaPlayer/' src='";
    const char* right = "' width='0' height='0' autostart";
    const std::string page = std::string("<embed id='Products/MediaPlayer/' src='") +
                             "http://127.0.0.1/a/1.mp3" + "' width='0' height='0' autostart>";
    Cut c = Between(page.c_str(), left, right);
    CHECK(c.found);
    CHECK(c.text == "http://127.0.0.1/a/1.mp3");

    const struct {
        const char* what;
        const char* text;
        bool found;
        const char* piece;
    } cases[] = {
        {"the left marker twice: the first counts", "<L>one</R><L>two</R>", true, "one"},
        {"neither marker", "nothing here", false, "未找到左边内容"},
        {"only the right one", "x</R>y", false, "未找到左边内容"},
        {"the right marker only before the left one", "</R> <L>mp3", false, "未找到右边内容"},
        {"one before and one after: the one after ends it", "</R><L>mp3</R>", true, "mp3"},
        {"side by side: found, the piece empty (null)", "<L></R>", true, "<null>"},
        {"a left marker at the very end", "abc<L>", false, "未找到右边内容"},
        {"markers on character boundaries only", "\x81<L>x<L>y</R>", true, "y"},
    };
    for (const auto& k : cases) {
        CAPTURE(k.what);
        c = Between(k.text, "<L>", "</R>");
        CHECK(c.found == k.found);
        CHECK(c.text == k.piece);
    }
}

TEST_CASE("CompareTexts treats null and empty alike") {
    CHECK(app::CompareTexts(nullptr, nullptr) == 0);
    CHECK(app::CompareTexts(nullptr, "") == 0);
    CHECK(app::CompareTexts("", nullptr) == 0);
    CHECK(app::CompareTexts(nullptr, "a") == -1);
    CHECK(app::CompareTexts("a", nullptr) == 1);
    CHECK(app::CompareTexts("abc", "abc") == 0);
    CHECK(app::CompareTexts("abc", "abd") == -1);
    CHECK(app::CompareTexts("\xD6\xD0", "a") == 1); // bytes compare unsigned
}

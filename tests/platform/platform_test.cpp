// The ground everything else stands on: the image's narrow literals are GBK,
// and Wine runs us with the Chinese ANSI code page.
#include <doctest.h>
#include <windows.h>
#include <cstring>

TEST_CASE("narrow literals are GBK and the ANSI code page is 936") {
    const char* text = "语音合成";
    const unsigned char gbk[] = {0xD3, 0xEF, 0xD2, 0xF4, 0xBA, 0xCF, 0xB3, 0xC9, 0};
    CHECK(std::strcmp(text, reinterpret_cast<const char*>(gbk)) == 0);
    CHECK(GetACP() == 936);
}

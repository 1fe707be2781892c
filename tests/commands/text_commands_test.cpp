// Text and conversion commands called as library commands on runtime values:
// how each reads its records (omitted or supplied, by kind) and hands back its
// result (null for an empty one). The byte-level text logic under them is
// tested on the host (text_core_test.cpp).
#include <doctest.h>

#include "command_calls.h"
#include "st/library_commands.h"

using namespace cmdtest;
namespace cmd = st::cmd;

TEST_CASE("TextLeft, TextRight, TextMiddle: positions and lengths") {
    const char* t = "abcdef";
    CHECK(TakeText(Call(cmd::TextLeft, {Text(t), Int(2)})) == "ab");
    CHECK(TakeText(Call(cmd::TextLeft, {Text(t), Int(99)})) == "abcdef");
    CHECK(TakeText(Call(cmd::TextLeft, {Text(t), Int(0)})) == "<null>");
    CHECK(TakeText(Call(cmd::TextLeft, {Text(t), Int(-1)})) == "<null>");
    CHECK(TakeText(Call(cmd::TextLeft, {Text(st::EmptyText), Int(3)})) == "<null>");
    CHECK(TakeText(Call(cmd::TextRight, {Text(t), Int(2)})) == "ef");
    CHECK(TakeText(Call(cmd::TextRight, {Text(t), Int(99)})) == "abcdef");
    CHECK(TakeText(Call(cmd::TextRight, {Text(t), Int(0)})) == "<null>");
    CHECK(TakeText(Call(cmd::TextMiddle, {Text(t), Int(2), Int(3)})) == "bcd");
    CHECK(TakeText(Call(cmd::TextMiddle, {Text(t), Int(5), Int(99)})) == "ef");
    CHECK(TakeText(Call(cmd::TextMiddle, {Text(t), Int(0), Int(2)})) == "<null>");
    CHECK(TakeText(Call(cmd::TextMiddle, {Text(t), Int(7), Int(1)})) == "<null>");
    CHECK(TakeText(Call(cmd::TextMiddle, {Text(t), Int(1), Int(-2)})) == "<null>");
    CHECK(AsInt(Call(cmd::TextLength, {Text("中a")})) == 3);
    CHECK(AsInt(Call(cmd::TextLength, {Text(st::EmptyText)})) == 0);
}

TEST_CASE("CharCode and CharFromCode") {
    CHECK(AsInt(Call(cmd::CharCode, {Text("\xD6\xD0")})) == -42);
    CHECK(AsInt(Call(cmd::CharCode, {Text("abc"), Omitted()})) == 'a');
    CHECK(AsInt(Call(cmd::CharCode, {Text("abc"), Int(3)})) == 'c');
    // A supplied 0 is not the omitted position.
    CHECK(AsInt(Call(cmd::CharCode, {Text("abc"), Int(0)})) == 0);
    CHECK(AsInt(Call(cmd::CharCode, {Text("abc"), Int(4)})) == 0);
    CHECK(AsInt(Call(cmd::CharCode, {Text("abc"), Int(-1)})) == 0);
    CHECK(AsInt(Call(cmd::CharCode, {Text(st::EmptyText)})) == 0);
    CHECK(TakeText(Call(cmd::CharFromCode, {Int(0x41)})) == "A");
    CHECK(TakeText(Call(cmd::CharFromCode, {Int(0)})) == "<null>");
}

TEST_CASE("FindText: omitted start and ignore-case told apart from supplied ones") {
    // Found after a double-byte character whose second byte is 'a'.
    const char* page = "x"
                       "\x81\x61"
                       "accept: 1";
    CHECK(AsInt(Call(cmd::FindText, {Text(page), Text("Accept"), Omitted(), Bool(true)})) == 4);
    CHECK(AsInt(Call(cmd::FindText, {Text(page), Text("Accept"), Omitted(), Omitted()})) == -1);
    CHECK(AsInt(Call(cmd::FindText, {Text(page), Text("Accept"), Int(0), Bool(false)})) == -1);
    CHECK(AsInt(Call(cmd::FindText, {Text(page), Text("c"), Int(6)})) == 6);
}

TEST_CASE("ToUpper, ToLower, RemoveAllSpaces, ReplaceText give null for empty results") {
    CHECK(TakeText(Call(cmd::ToUpper, {Text("\x81\x61"
                                            "ab")})) == "\x81\x61"
                                                        "AB");
    CHECK(TakeText(Call(cmd::ToLower, {Text("A中B")})) == "a中b");
    CHECK(TakeText(Call(cmd::ToUpper, {Text(st::EmptyText)})) == "<null>");
    CHECK(TakeText(Call(cmd::ToLower, {Text(st::EmptyText)})) == "<null>");
    CHECK(TakeText(Call(cmd::RemoveAllSpaces, {Text(" 　 a　b ")})) == "ab");
    CHECK(TakeText(Call(cmd::RemoveAllSpaces, {Text(" 　 　")})) == "<null>");
    const char* t = "HTTP/1.1 200 OK";
    CHECK(TakeText(Call(cmd::ReplaceText, {Text(t), Int(1), Int(12), Omitted()})) == " OK");
    CHECK(TakeText(Call(cmd::ReplaceText, {Text("ab"), Int(1), Int(2), Omitted()})) == "<null>");
    CHECK(TakeText(Call(cmd::ReplaceText, {Text("ab"), Int(1), Int(2), Text(st::EmptyText)})) ==
          "<null>");
}

TEST_CASE("ToNumber and ToInteger by kind") {
    CHECK(AsDouble(Call(cmd::ToNumber, {Text("\xA3\xB8\xA3\xB0")})) == 80.0);
    CHECK(AsDouble(Call(cmd::ToNumber, {Of(Tag::Byte, 0xFF)})) == 255.0);
    CHECK(AsDouble(Call(cmd::ToNumber, {Of(Tag::Short, 0xFFFF)})) == -1.0);
    CHECK(AsDouble(Call(cmd::ToNumber, {Of(Tag::Address, 0xFFFFFFFF)})) == 4294967295.0);
    CHECK(AsDouble(Call(cmd::ToNumber, {Of(Tag::Long, 0, 1)})) == 4294967296.0);
    CHECK(AsDouble(Call(cmd::ToNumber, {Double(40928.5, Tag::DateTime)})) == 0.0);
    CHECK(AsInt(Call(cmd::ToInteger, {Text("－１２ab")})) == -12);
    CHECK(AsInt(Call(cmd::ToInteger, {Double(-7.9)})) == -7);
    CHECK(AsInt(Call(cmd::ToInteger, {Of(Tag::Short, 0x8000)})) == -32768);
    CHECK(AsInt(Call(cmd::ToInteger, {Of(Tag::Byte, 0x1FF)})) == 255);
    CHECK(AsInt(Call(cmd::ToInteger, {Of(Tag::Long, 5, 7)})) == 5);
    CHECK(AsInt(Call(cmd::ToInteger, {Omitted()})) == 0);
}

TEST_CASE("ToText of every kind") {
    CHECK(TakeText(Call(cmd::ToText, {Int(-42)})) == "-42");
    CHECK(TakeText(Call(cmd::ToText, {Of(Tag::Byte, 0x1C8)})) == "200");
    CHECK(TakeText(Call(cmd::ToText, {Of(Tag::Short, 0xFFFE)})) == "-2");
    CHECK(TakeText(Call(cmd::ToText, {Of(Tag::Long, 0xFFFFFFFF, 0xFFFFFFFF)})) == "-1");
    CHECK(TakeText(Call(cmd::ToText, {Double(1.0 / 3)})) == "0.3333333333333");
    float f = 0.1f;
    uint32_t fbits;
    std::memcpy(&fbits, &f, 4);
    CHECK(TakeText(Call(cmd::ToText, {Of(Tag::Float, fbits)})) == "0.1");
    CHECK(TakeText(Call(cmd::ToText, {Bool(true)})) == "真");
    CHECK(TakeText(Call(cmd::ToText, {Bool(false)})) == "假");
    CHECK(TakeText(Call(cmd::ToText, {Double(40928.0 + (5 * 3600 + 23 * 60) / 86400.0,
                                             Tag::DateTime)})) == "2012年1月20日5时23分");
    CHECK(TakeText(Call(cmd::ToText, {Text("abc")})) == "abc");
    CHECK(TakeText(Call(cmd::ToText, {Text(st::EmptyText)})) == "<null>");
    CHECK(TakeText(Call(cmd::ToText, {Of(Tag::Opaque8, 1, 2)})) == "<null>");
    CHECK(TakeText(Call(cmd::ToText, {Omitted()})) == "<null>");
}

TEST_CASE("ToText of byte sets and arrays stops at the first zero byte") {
    Bytes withZero(std::string("abc\0def", 7));
    CHECK(TakeText(Call(cmd::ToText, {withZero.Arg()})) == "abc");
    Bytes zeros(std::string(4, '\0'));
    CHECK(TakeText(Call(cmd::ToText, {zeros.Arg()})) == "<null>");
    Bytes plain("xyz");
    CHECK(TakeText(Call(cmd::ToText, {plain.Arg()})) == "xyz");
    CHECK(TakeText(Call(cmd::ToText, {Of(Tag::Bytes, Word(st::EmptyBlock))})) == "<null>");
    // Two-dimensional array of shorts 'a','b','c','d' (2 x 2).
    int32_t array[] = {2, 2, 2, 0x00620061, 0x00640063};
    std::string viaArray =
        TakeText(Call(cmd::ToText, {Of(Tag::Short | Tag::ArrayFlag, Word(array))}));
    CHECK(viaArray == "a");
    const char* texts[] = {"a", "b"};
    int32_t textArray[] = {1, 2, static_cast<int32_t>(Word(texts[0])),
                           static_cast<int32_t>(Word(texts[1]))};
    CHECK(TakeText(Call(cmd::ToText, {Of(Tag::Text | Tag::ArrayFlag, Word(textArray))})) ==
          "<null>");
}

TEST_CASE("ToByteSet by kind, little-endian, empty is null") {
    CHECK(TakeBytes(Call(cmd::ToByteSet, {Int(0x01020304)})) == "\x04\x03\x02\x01");
    CHECK(TakeBytes(Call(cmd::ToByteSet, {Of(Tag::Short, 0x4142)})) == "BA");
    CHECK(TakeBytes(Call(cmd::ToByteSet, {Of(Tag::Byte, 0x41)})) == "A");
    CHECK(TakeBytes(Call(cmd::ToByteSet, {Of(Tag::Long, 0x44434241, 0x48474645)})) == "ABCDEFGH");
    CHECK(TakeBytes(Call(cmd::ToByteSet, {Text("ab")})) == "ab");
    CHECK(TakeBytes(Call(cmd::ToByteSet, {Text(st::EmptyText)})) == "<null>");
    Bytes data(std::string("a\0b", 3));
    CHECK(TakeBytes(Call(cmd::ToByteSet, {data.Arg()})) == std::string("a\0b", 3));
    int32_t ints[] = {1, 2, 0x64636261, 0x68676665};
    CHECK(TakeBytes(Call(cmd::ToByteSet, {Of(Tag::Int | Tag::ArrayFlag, Word(ints))})) ==
          "abcdefgh");
    CHECK(TakeBytes(Call(cmd::ToByteSet, {Of(Tag::Opaque8, 1, 2)})) == "<null>");
}

TEST_CASE("Byte-set and spacing commands") {
    Bytes data("hello");
    CHECK(AsInt(Call(cmd::ByteSetLength, {data.Arg()})) == 5);
    CHECK(AsInt(Call(cmd::ByteSetLength, {Of(Tag::Bytes, Word(st::EmptyBlock))})) == 0);
    CHECK(TakeBytes(Call(cmd::ByteSetLeft, {data.Arg(), Int(4)})) == "hell");
    CHECK(TakeBytes(Call(cmd::ByteSetLeft, {data.Arg(), Int(40)})) == "hello");
    CHECK(TakeBytes(Call(cmd::ByteSetLeft, {data.Arg(), Int(-1)})) == "<null>");
    CHECK(TakeBytes(Call(cmd::ZeroByteSet, {Int(3)})) == std::string(3, '\0'));
    CHECK(TakeBytes(Call(cmd::ZeroByteSet, {Int(0)})) == "<null>");
    CHECK(TakeText(Call(cmd::SpaceText, {Int(3)})) == "   ");
    CHECK(TakeText(Call(cmd::SpaceText, {Int(-3)})) == "<null>");
    CHECK(TakeText(Call(cmd::ToHexText, {Int(-1)})) == "FFFFFFFF");
    CHECK(TakeText(Call(cmd::ToHexText, {Int(0)})) == "0");
}

TEST_CASE("A command given fewer records than it knows reads the rest as omitted") {
    CHECK(AsInt(Call(cmd::CharCode, {Text("z")})) == 'z');
    CHECK(TakeText(Call(cmd::TextMiddle, {Text("abc"), Int(1)})) == "<null>");
}

TEST_CASE("The core library's table holds the commands where application code finds them") {
    const st::LibraryCommand* table = st::CoreLibrary.commands;
    REQUIRE(st::CoreLibrary.commandCount == 39);
    CHECK((table[0] == cmd::TextLength));
    CHECK((table[4] == cmd::TextMiddle));
    CHECK((table[7] == cmd::FindText));
    CHECK((table[18] == cmd::ToText));
    CHECK((table[19] == cmd::ToHexText));
    CHECK((table[36] == cmd::ProcessEvents));
    for (int i = 0; i < 39; ++i)
        CHECK((table[i] != nullptr));
    CHECK(TakeText(Call(table[18], {Int(7)})) == "7");
}

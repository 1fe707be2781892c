// Value operations: what is empty, what is null, who owns which block.
#include <doctest.h>

#include <cstring>

#include "runtime_state.h"
#include "runtime_started.h"

using st::ArgRecord;
namespace TypeTag = st::TypeTag;

namespace {
bool IsStatic(const void* p) {
    return st::Runtime().staticBlocks.Find(p) != 0;
}
} // namespace

TEST_CASE("the two text copies differ only on empty texts") {
    testing::StartRuntimeOnce();
    CHECK(st::CopyText(nullptr) == nullptr);
    CHECK(st::CopyText("") == nullptr);
    CHECK(st::CopyText(st::EmptyText) == nullptr);
    CHECK(st::AssignText(nullptr) == nullptr);

    char* e = st::AssignText(st::EmptyText);
    REQUIRE(e != nullptr);
    CHECK(e != st::EmptyText);
    CHECK(e[0] == 0);
    CHECK_FALSE(IsStatic(e));
    st::FreeMemory(e);

    const char* source = "中文abc";
    char* a = st::CopyText(source);
    char* b = st::AssignText(source);
    CHECK(std::strcmp(a, source) == 0);
    CHECK(std::strcmp(b, source) == 0);
    CHECK(a != source);
    CHECK(b != source);
    st::FreeMemory(a);
    st::FreeMemory(b);
}

TEST_CASE("texts and byte sets from n bytes") {
    testing::StartRuntimeOnce();
    CHECK(st::TextFromBytes("abc", 0) == nullptr);
    CHECK(st::TextFromBytes("abc", -1) == nullptr);
    char* t = st::TextFromBytes("abcdef", 3);
    CHECK(std::strcmp(t, "abc") == 0);
    st::FreeMemory(t);
    // Embedded NULs are copied as bytes; the text ends at the first one.
    t = st::TextFromBytes("a\0b", 3);
    CHECK(std::memcmp(t, "a\0b\0", 4) == 0);
    st::FreeMemory(t);

    CHECK(st::ByteSetFromBytes("x", 0) == nullptr);
    CHECK(st::ByteSetFromBytes("x", -5) == nullptr);
    void* set = st::ByteSetFromBytes("\x01\x02\x00\x04", 4);
    REQUIRE(set != nullptr);
    CHECK(static_cast<st::ByteSetHeader*>(set)->dimensions == 1);
    CHECK(st::ByteSetLength(set) == 4);
    CHECK(std::memcmp(st::ByteSetData(set), "\x01\x02\x00\x04", 4) == 0);

    void* copy = st::CopyByteSet(set);
    CHECK(copy != set);
    CHECK(std::memcmp(copy, set, 12) == 0);
    CHECK(st::CopyByteSet(nullptr) == nullptr);
    CHECK(st::ByteSetLength(nullptr) == 0);
    st::FreeMemory(copy);
    st::FreeMemory(set);
}

TEST_CASE("concatenation is never null") {
    testing::StartRuntimeOnce();
    const char* none[] = {nullptr, "", st::EmptyText};
    char* all = st::ConcatTexts(none, 3);
    REQUIRE(all != nullptr);
    CHECK(all[0] == 0);
    CHECK_FALSE(IsStatic(all));
    st::FreeMemory(all);
    char* zero = st::ConcatTexts(nullptr, 0);
    REQUIRE(zero != nullptr);
    CHECK(zero[0] == 0);
    st::FreeMemory(zero);

    const char* parts[] = {"生成", nullptr, "音频", "", ".mp3"};
    char* joined = st::ConcatTexts(parts, 5);
    CHECK(std::strcmp(joined, "生成音频.mp3") == 0);
    st::FreeMemory(joined);
}

TEST_CASE("arrays: element count, access, append through a writable copy") {
    testing::StartRuntimeOnce();
    static const int32_t twoByThree[] = {2, 2, 3, 10, 20, 30, 40, 50, 60};
    CHECK(st::ElementCount(twoByThree) == 6);
    CHECK(st::ElementCount(st::EmptyBlock) == 0);
    CHECK(*static_cast<int32_t*>(st::ElementAt(const_cast<int32_t*>(twoByThree), 1, 4)) == 10);
    CHECK(*static_cast<int32_t*>(st::ElementAt(const_cast<int32_t*>(twoByThree), 6, 4)) == 60);

    SUBCASE("appending to EmptyBlock copies it first; the constant never changes") {
        void* array = const_cast<int32_t*>(st::EmptyBlock);
        st::AppendElement(&array, TypeTag::Int, ArgRecord{7, 0, TypeTag::Int});
        CHECK(array != st::EmptyBlock);
        CHECK_FALSE(IsStatic(array));
        CHECK(st::EmptyBlock[0] == 1);
        CHECK(st::EmptyBlock[1] == 0);
        st::AppendElement(&array, TypeTag::Int, ArgRecord{8, 0, TypeTag::Int});
        CHECK(st::ElementCount(array) == 2);
        CHECK(*static_cast<int32_t*>(st::ElementAt(array, 2, 4)) == 8);
        st::FreeArray(array, TypeTag::Int);
    }
    SUBCASE("a null variable starts as the empty array") {
        void* array = nullptr;
        st::AppendElement(&array, TypeTag::Double, ArgRecord{0, 0x3FF00000, TypeTag::Double});
        REQUIRE(array != nullptr);
        CHECK(st::ElementCount(array) == 1);
        CHECK(*static_cast<double*>(st::ElementAt(array, 1, 8)) == 1.0);
        st::FreeArray(array, TypeTag::Double);
    }
    SUBCASE("a static multi-dimensional array becomes one dimension, elements kept") {
        // Placed in a static range of its own so that it counts as constant data.
        static int32_t constant[] = {2, 2, 3, 10, 20, 30, 40, 50, 60};
        st::Runtime().staticBlocks.Add(constant, sizeof constant);
        void* array = constant;
        st::AppendElement(&array, TypeTag::Int, ArgRecord{70, 0, TypeTag::Int});
        CHECK(array != constant);
        auto* words = static_cast<int32_t*>(array);
        CHECK(words[0] == 1);
        CHECK(words[1] == 7);
        for (int i = 0; i < 7; ++i)
            CHECK(words[2 + i] == 10 * (i + 1));
        CHECK(constant[0] == 2);
        CHECK(constant[2] == 3);
        st::FreeArray(array, TypeTag::Int);
    }
    SUBCASE("texts are stored as copies; empty ones as null; the array owns them") {
        void* array = nullptr;
        char source[] = "语音";
        st::AppendElement(&array, TypeTag::Text,
                          ArgRecord{reinterpret_cast<uint32_t>(source), 0, TypeTag::Text});
        st::AppendElement(&array, TypeTag::Text,
                          ArgRecord{reinterpret_cast<uint32_t>(st::EmptyText), 0, TypeTag::Text});
        char* stored = *static_cast<char**>(st::ElementAt(array, 1, 4));
        CHECK(stored != source);
        CHECK(std::strcmp(stored, "语音") == 0);
        CHECK(*static_cast<char**>(st::ElementAt(array, 2, 4)) == nullptr);
        st::FreeArray(array, TypeTag::Text);
    }
}

TEST_CASE("byte forms of scalar values") {
    testing::StartRuntimeOnce();
    const void* bytes = nullptr;
    int32_t length = -1;
    ArgRecord shortValue{0xFFFF1234u, 0, TypeTag::Short};
    REQUIRE(st::ValueByteForm(shortValue, &bytes, &length));
    CHECK(length == 2);
    CHECK(std::memcmp(bytes, "\x34\x12", 2) == 0);
    ArgRecord longValue{0x04030201u, 0x08070605u, TypeTag::Long};
    REQUIRE(st::ValueByteForm(longValue, &bytes, &length));
    CHECK(length == 8);
    CHECK(std::memcmp(bytes, "\x01\x02\x03\x04\x05\x06\x07\x08", 8) == 0);
    ArgRecord text{reinterpret_cast<uint32_t>("ab"), 0, TypeTag::Text};
    REQUIRE(st::ValueByteForm(text, &bytes, &length));
    CHECK(length == 3); // the NUL counts
    ArgRecord set{reinterpret_cast<uint32_t>(st::EmptyBlock), 0, TypeTag::Bytes};
    REQUIRE(st::ValueByteForm(set, &bytes, &length));
    CHECK(length == 0);
    CHECK_FALSE(st::ValueByteForm(ArgRecord{1, 2, TypeTag::Opaque8}, &bytes, &length));
    CHECK_FALSE(st::ValueByteForm(ArgRecord{1, 2, 0x0001001F}, &bytes, &length));
    CHECK_FALSE(
        st::ValueByteForm(ArgRecord{1, 0, TypeTag::Int | TypeTag::ArrayFlag}, &bytes, &length));
    CHECK(st::ElementSize(TypeTag::DateTime) == 8);
    CHECK(st::ElementSize(TypeTag::Bool) == 4);
    CHECK(st::ElementSize(TypeTag::Byte) == 1);
}

// The runtime heap and its static-data rules.
#include <doctest.h>

#include <cstring>

#include "runtime_state.h"
#include "runtime_started.h"

extern const char TestConstantText[];

namespace {

// Where the runtime was told the constant segment ends.
const char* SegmentEnd() {
    return static_cast<const char*>(ProgramHeaderRecord.constantStart) +
           ProgramHeaderRecord.constantLength;
}

} // namespace

TEST_CASE("the constant segment is one static block holding the program's constants") {
    testing::StartRuntimeOnce();
    const auto& rt = st::Runtime();
    uintptr_t end = reinterpret_cast<uintptr_t>(st::ConstantSegmentEnd);
    CHECK(ProgramHeaderRecord.constantLength > 0);
    CHECK(rt.staticBlocks.Find(st::ConstantSegmentBegin) == end);
    CHECK(rt.staticBlocks.Find(st::EmptyText) == end);
    CHECK(rt.staticBlocks.Find(st::EmptyBlock) == end);
    CHECK(rt.staticBlocks.Find(TestConstantText) == end);
    CHECK(SegmentEnd() == st::ConstantSegmentEnd);
    CHECK(rt.staticBlocks.Find(SegmentEnd() - 1) == end);
    CHECK(rt.staticBlocks.Find(st::ConstantSegmentEnd) == 0);
    void* heap = st::AllocMemory(4);
    CHECK(rt.staticBlocks.Find(heap) == 0);
    st::FreeMemory(heap);
}

TEST_CASE("freeing static data or null does nothing; heap blocks are freed") {
    testing::StartRuntimeOnce();
    st::FreeMemory(nullptr);
    st::FreeMemory(const_cast<char*>(st::EmptyText));
    st::FreeMemory(const_cast<int32_t*>(st::EmptyBlock));
    st::FreeMemory(const_cast<char*>(TestConstantText + 3));
    CHECK(st::EmptyText[0] == 0);
    CHECK(st::EmptyBlock[0] == 1);
    CHECK(st::EmptyBlock[1] == 0);
    CHECK(std::strcmp(TestConstantText, "测试常量文本") == 0);

    // A global set to a constant and later replaced: the old value is freed alike.
    char* global = const_cast<char*>(TestConstantText);
    st::FreeMemory(global);
    global = st::AssignText("新值");
    st::FreeMemory(global);
    CHECK(std::strcmp(TestConstantText, "测试常量文本") == 0);
}

TEST_CASE("a block counted as static data is never handed back to the heap") {
    testing::StartRuntimeOnce();
    // A heap block registered as a static range: only the range check keeps
    // FreeMemory from freeing it, and the heap can tell whether it did.
    HANDLE heap = GetProcessHeap();
    void* block = HeapAlloc(heap, 0, 64);
    REQUIRE(block != nullptr);
    st::Runtime().staticBlocks.Add(block, 64);
    st::FreeMemory(block);
    st::FreeMemory(static_cast<char*>(block) + 63);
    CHECK(HeapSize(heap, 0, block) == 64);
    void* copy = st::ReallocMemory(block, 8);
    CHECK(copy != block);
    CHECK(HeapSize(heap, 0, block) == 64);
    st::FreeMemory(copy);
}

TEST_CASE("reallocating static data copies only what remains of its range") {
    testing::StartRuntimeOnce();
    SUBCASE("10 bytes before the end of the constant segment, to 100 bytes") {
        const char* at = SegmentEnd() - 10;
        auto* p = static_cast<unsigned char*>(st::ReallocMemory(const_cast<char*>(at), 100));
        REQUIRE(p != nullptr);
        CHECK(reinterpret_cast<const char*>(p) != at);
        CHECK(std::memcmp(p, at, 10) == 0);
        CHECK(st::Runtime().staticBlocks.Find(p) == 0);
        p[99] = 1; // the block really is 100 bytes
        st::FreeMemory(p);
    }
    SUBCASE("exactly those bytes: nothing from beyond the range's end") {
        // A range of our own, followed by a recognisable guard.
        static struct {
            unsigned char range[32];
            unsigned char guard[128];
        } data;
        for (int i = 0; i < 32; ++i)
            data.range[i] = static_cast<unsigned char>(i + 1);
        std::memset(data.guard, 0xAB, sizeof data.guard);
        st::Runtime().staticBlocks.Add(data.range, sizeof data.range);
        auto* p = static_cast<unsigned char*>(st::ReallocMemory(data.range + 22, 100));
        CHECK(std::memcmp(p, data.range + 22, 10) == 0);
        int guardBytes = 0;
        for (int i = 10; i < 100; ++i)
            guardBytes += p[i] == 0xAB;
        CHECK(guardBytes < 90);
        st::FreeMemory(p);
        // Shrinking copies only the new size; the constant itself never changes.
        p = static_cast<unsigned char*>(st::ReallocMemory(data.range, 4));
        CHECK(std::memcmp(p, data.range, 4) == 0);
        st::FreeMemory(p);
        st::FreeMemory(data.range + 5);
        for (int i = 0; i < 32; ++i)
            CHECK(data.range[i] == i + 1);
    }
}

TEST_CASE("heap blocks grow in place or move with their contents; null reallocates as new") {
    testing::StartRuntimeOnce();
    auto* p = static_cast<char*>(st::ReallocMemory(nullptr, 8));
    std::memcpy(p, "1234567", 8);
    p = static_cast<char*>(st::ReallocMemory(p, 100000));
    CHECK(std::strcmp(p, "1234567") == 0);
    p = static_cast<char*>(st::Services.ReallocMemory(p, 3));
    CHECK(std::memcmp(p, "123", 3) == 0);
    st::Services.FreeMemory(p);
}

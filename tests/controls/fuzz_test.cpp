// The property readers and writers of the four control types fuzzed in
// process: mutated property blocks for CreateUnit, random values of every
// kind for every property. Nothing may crash, choices and logicals stay in
// their ranges, and every block a unit saves reads back.
// SPEECHTOOL_FUZZ_ROUNDS=n runs n times as many rounds (150 per type).
#include <doctest.h>

#include <climits>
#include <cstring>
#include <random>

#include "controls_windows.h"
#include "fuzz_support.h"
#include "st/units.h"

using namespace controls;

namespace {

constexpr uint32_t kFuzzUnit = 0x16019999; // in no template: the runtime ignores its report

struct Range {
    int32_t index, low, high; // unit-specific index
};

struct TypeUnderTest {
    uint32_t type;
    std::vector<Range> ranges;
};

const TypeUnderTest kTypes[] = {
    {st::UnitType::Button, {{1, 0, 1}, {3, 0, 2}, {4, 0, 2}}},
    {st::UnitType::CheckBox, {{5, 0, 2}, {6, 0, 2}}},
    {st::UnitType::HyperLinker, {{1, 0, 1}, {8, 0, 5}}},
    {st::UnitType::CommonDialog, {{0, 0, 3}, {4, 0, INT_MAX}, {18, 0, INT_MAX}, {20, 0, 5}}},
};

struct Fuzzer {
    std::mt19937 random{0x5EED};
    const st::TypeRecord* type = nullptr;
    HWND parent = nullptr;

    uint32_t Below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random); }

    int32_t Number() {
        static const int32_t kEdges[] = {0, 1, -1, 2, 3, 5, 6, 7, 0x7FFFFFFF, INT_MIN, -0x01000000};
        return Below(3) ? kEdges[Below(std::size(kEdges))] : static_cast<int32_t>(random());
    }

    std::vector<uint8_t> Bytes() {
        static const uint32_t kSizes[] = {0, 1, 4, 59, 60, 61, 300, 65536};
        std::vector<uint8_t> b(kSizes[Below(std::size(kSizes))]);
        for (uint8_t& v : b)
            v = static_cast<uint8_t>(random());
        return b;
    }

    st::UnitBase* Create(const std::vector<uint8_t>& block) {
        auto create = st::UnitEntryOf<st::CreateUnitFn>(type, st::UnitEntry::CreateUnit);
        return create(block.empty() ? nullptr : block.data(), static_cast<int32_t>(block.size()),
                      WS_TABSTOP, parent, 990, nullptr, 1, 1, 50, 20, W, kFuzzUnit, nullptr, 0);
    }

    std::vector<uint8_t> Saved(st::UnitBase* unit) {
        auto save =
            st::UnitEntryOf<st::SaveUnitPropertiesFn>(type, st::UnitEntry::SaveUnitProperties);
        uint32_t length = 0;
        HGLOBAL memory = save(unit, &length);
        REQUIRE(memory);
        const uint8_t* p = static_cast<const uint8_t*>(GlobalLock(memory));
        std::vector<uint8_t> bytes(p, p + length);
        GlobalUnlock(memory);
        GlobalFree(memory);
        return bytes;
    }

    void Destroy(st::UnitBase* unit) {
        if (unit && unit->hwnd) DestroyWindow(unit->hwnd); // the unit deletes itself
    }

    std::vector<uint8_t> Mutated(std::vector<uint8_t> block) {
        for (uint32_t n = 1 + Below(4); n-- > 0;) {
            switch (Below(5)) {
            case 0: // a word somewhere replaced, lengths and versions included
                if (block.size() >= 4) {
                    int32_t v = Number();
                    std::memcpy(block.data() + Below(static_cast<uint32_t>(block.size()) - 3), &v,
                                4);
                }
                break;
            case 1:
                if (!block.empty())
                    block[Below(static_cast<uint32_t>(block.size()))] ^= 1u << Below(8);
                break;
            case 2:
                block.resize(Below(static_cast<uint32_t>(block.size()) + 1));
                break;
            case 3: {
                std::vector<uint8_t> more = Bytes();
                block.insert(block.end(), more.begin(), more.end());
                break;
            }
            default: // a small version, so that older layouts are read too
                if (block.size() >= 4) {
                    int32_t v = static_cast<int32_t>(Below(4));
                    std::memcpy(block.data(), &v, 4);
                }
                break;
            }
        }
        return block;
    }

    void Write(st::UnitBase* unit, int32_t index) {
        auto set = st::UnitEntryOf<st::SetUnitPropertyFn>(type, st::UnitEntry::SetUnitProperty);
        const auto* entries = static_cast<const st::PropertyEntry*>(type->properties);
        const bool known = index >= 0 && index + 8 < type->propertyCount;
        const uint16_t kind = known ? entries[index + 8].kind : st::PropertyKind::Integer;
        std::string text;
        std::vector<uint8_t> bytes;
        uint32_t value[2] = {static_cast<uint32_t>(Number()), 0};
        if (kind == st::PropertyKind::Text || kind == st::PropertyKind::DataSource ||
            kind == st::PropertyKind::DataColumn) {
            bytes = Bytes();
            text.assign(bytes.begin(), bytes.end());
            text = text.c_str(); // up to the first NUL
            value[0] = Below(5) ? reinterpret_cast<uintptr_t>(text.c_str()) : 0;
        } else if (kind == st::PropertyKind::Picture || kind == st::PropertyKind::Font) {
            bytes = Bytes();
            value[0] = Below(5) ? reinterpret_cast<uintptr_t>(bytes.data()) : 0;
            value[1] =
                Below(5) ? static_cast<uint32_t>(bytes.size()) : static_cast<uint32_t>(Number());
            if (value[1] > bytes.size() && static_cast<int32_t>(value[1]) > 0) value[1] = 0;
        }
        uint32_t out = 0xFFFF;
        set(unit, index, value, &out); // texts read back: the next test
        CHECK(out == 0);
    }

    void CheckLimits(st::UnitBase* unit, const TypeUnderTest& t) {
        auto get = st::UnitEntryOf<st::GetUnitPropertyFn>(type, st::UnitEntry::GetUnitProperty);
        const auto* entries = static_cast<const st::PropertyEntry*>(type->properties);
        for (int32_t i = 0; i + 8 < type->propertyCount; ++i) {
            uint32_t value[2] = {0, 0};
            REQUIRE(get(unit, i, value) == 1);
            if (entries[i + 8].kind == st::PropertyKind::Logical) CHECK(value[0] <= 1);
        }
        for (const Range& r : t.ranges) {
            uint32_t value[2] = {0, 0};
            get(unit, r.index, value);
            const int32_t v = static_cast<int32_t>(value[0]);
            INFO("type ", t.type, " index ", r.index, " value ", v);
            CHECK(v >= r.low);
            CHECK(v <= r.high);
        }
        uint32_t none[2] = {0, 0};
        CHECK(get(unit, type->propertyCount - 8, none) == 0);
        CHECK(get(unit, -1, none) == 0);
    }
};

} // namespace

TEST_CASE("fuzz: mutated blocks and random property values never break a unit") {
    TestWindow window;
    REQUIRE(window.hwnd);
    Fuzzer f;
    f.parent = window.hwnd;
    const int32_t rounds = testing::FuzzRounds(150);
    for (const TypeUnderTest& t : kTypes) {
        f.type = reinterpret_cast<const st::TypeRecord*>(
            static_cast<uintptr_t>(st::CallRuntime(st::CallbackCode::TypeRecordOf, t.type)));
        REQUIRE(f.type);
        st::UnitBase* first = f.Create({});
        REQUIRE(first);
        const std::vector<uint8_t> base = f.Saved(first);
        f.Destroy(first);
        auto list = st::UnitEntryOf<st::ListBlockTextsFn>(f.type, st::UnitEntry::ListBlockTexts);
        int32_t created = 0;
        for (int32_t round = 0; round < rounds; ++round) {
            const std::vector<uint8_t> block = f.Mutated(base);
            uint32_t listed = 0;
            if (HGLOBAL again = list(block.data(), static_cast<int32_t>(block.size()), nullptr,
                                     nullptr, &listed))
                GlobalFree(again);
            st::UnitBase* unit = f.Create(block);
            if (!unit) continue;
            ++created;
            f.CheckLimits(unit, t);
            for (int32_t w = 0; w < 8; ++w)
                f.Write(unit, static_cast<int32_t>(f.Below(f.type->propertyCount - 8 + 4)) - 2);
            f.CheckLimits(unit, t);
            // What a unit saves it can always be built from again.
            st::UnitBase* rebuilt = f.Create(f.Saved(unit));
            CHECK(rebuilt);
            if (rebuilt) CHECK(f.Saved(rebuilt) == f.Saved(unit));
            f.Destroy(rebuilt);
            f.Destroy(unit);
            Pump();
        }
        INFO("type ", t.type);
        CHECK(created > rounds / 10);
        CHECK(testing::AnswersFromAnotherThread(
            window.hwnd, Pump)); // the mutations reach the readers beyond the version
    }
}

// Every text property of every control type, at every length the fuzzer
// uses, read back straight from the unit and (for a template unit of the
// type) through the runtime's property read path, which copies the text.
TEST_CASE("every text property reads back as written, however long; none as empty") {
    TestWindow window;
    REQUIRE(window.hwnd);
    Fuzzer f;
    f.parent = window.hwnd;
    const std::pair<uint32_t, uint32_t> kTypeUnits[] = {{st::UnitType::Button, Plain},
                                                        {st::UnitType::CheckBox, Check},
                                                        {st::UnitType::HyperLinker, WebLink},
                                                        {st::UnitType::CommonDialog, Dialog}};
    for (const auto& [typeId, templateUnit] : kTypeUnits) {
        f.type = reinterpret_cast<const st::TypeRecord*>(
            static_cast<uintptr_t>(st::CallRuntime(st::CallbackCode::TypeRecordOf, typeId)));
        REQUIRE(f.type);
        auto set = st::UnitEntryOf<st::SetUnitPropertyFn>(f.type, st::UnitEntry::SetUnitProperty);
        auto get = st::UnitEntryOf<st::GetUnitPropertyFn>(f.type, st::UnitEntry::GetUnitProperty);
        const auto* entries = static_cast<const st::PropertyEntry*>(f.type->properties);
        st::UnitBase* unit = f.Create({});
        REQUIRE(unit);
        int32_t texts = 0;
        for (int32_t i = 0; i + 8 < f.type->propertyCount; ++i) {
            const uint16_t kind = entries[i + 8].kind;
            if (kind != st::PropertyKind::Text && kind != st::PropertyKind::DataSource &&
                kind != st::PropertyKind::DataColumn)
                continue;
            ++texts;
            for (uint32_t size : {0u, 1u, 4u, 59u, 60u, 61u, 300u, 65536u}) {
                std::string text(size, '\0');
                for (char& c : text)
                    c = static_cast<char>(1 + f.Below(255)); // no NUL: the whole length counts
                INFO("type ", typeId, " property ", i, " length ", size);
                for (bool none : {false, true}) {
                    uint32_t value[2] = {
                        none ? 0u
                             : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text.c_str())),
                        0};
                    uint32_t out = 0xFFFF;
                    set(unit, i, value, &out);
                    uint32_t back[2] = {0, 0};
                    REQUIRE(get(unit, i, back) == 1);
                    const char* read = st::WordAddress<const char>(back[0]);
                    CHECK(std::string(read ? read : "") == (none ? std::string() : text));
                }
                SetText(templateUnit, i + 8, text);
                CHECK(GetText(templateUnit, i + 8) == text);
            }
        }
        CHECK(texts > 0);
        f.Destroy(unit);
        Pump();
        CHECK(testing::AnswersFromAnotherThread(window.hwnd, Pump));
    }
}

// One row per property: what a list makes of a set and a get (clamping,
// logical values, texts and byte blocks crossing the interface, the live
// and rebuild rules), and what the shipped unit types make of their lists.
#include <doctest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "st/button_units.h"
#include "st/common_dialog_unit.h"
#include "st/core_unit_types.h"
#include "st/edit_box_unit.h"
#include "st/hyperlink_unit.h"
#include "st/property_table.h"
#include "st/window_unit.h"

namespace {

// clang-format off
#define TEST_PROPERTIES(ROW)                                                        \
    ROW(choice,  Choice,  0x8000, 1,          0, 3, &Probe::Applied, Live)          \
    ROW(flag,    Logical, 0x8000, 0,          0, 0, &Probe::Applied, Live)          \
    ROW(colour,  Colour,  0x8000, 0x00FF00FF, 0, 0, &Probe::Applied, Live)          \
    ROW(text,    Text,    0x8000, "t",        0, 0, &Probe::Applied, Live)          \
    ROW(bytes,   Picture, 0x8000, {},         0, 0, nullptr,         Rebuild)       \
    ROW(style,   Choice,  0x8000, 0,          0, 2, &Probe::Applied, RebuildOnChange)
// clang-format on

struct ProbeProperties {
    TEST_PROPERTIES(ST_PROPERTY_FIELD)
};
enum class ProbeProperty : int32_t { TEST_PROPERTIES(ST_PROPERTY_NAME) };

struct Probe {
    ProbeProperties props;
    int applied = 0;
    void Applied() { ++applied; }
    using Props = ProbeProperties;
    static const st::PropertyRow<Probe, ProbeProperties> kRows[];

    int32_t Set(ProbeProperty p, uint32_t low, uint32_t high = 0);
    std::pair<uint32_t, uint32_t> Get(ProbeProperty p);
};
const st::PropertyRow<Probe, ProbeProperties> Probe::kRows[] = {TEST_PROPERTIES(ST_PROPERTY_ROW)};

int32_t Probe::Set(ProbeProperty p, uint32_t low, uint32_t high) {
    const uint32_t value[2] = {low, high};
    return st::SetPropertyFromRows(kRows, *this, props, st::RowOf(p), value);
}

std::pair<uint32_t, uint32_t> Probe::Get(ProbeProperty p) {
    uint32_t value[2] = {0xAAAAAAAA, 0xAAAAAAAA};
    REQUIRE(st::GetPropertyFromRows(kRows, props, st::RowOf(p), value) == 1);
    return {value[0], value[1]};
}

uint32_t Address(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

const st::PropertyEntry* Entries(int32_t type) {
    switch (type) {
    case st::UnitType::EditBox:
        return st::EditBoxPropertyEntries;
    case st::UnitType::Button:
        return st::ButtonPropertyEntries;
    default:
        return nullptr;
    }
}

} // namespace

TEST_CASE("property rows: numbers are clamped and logicals made 0 or 1, on a set as after a "
          "read") {
    Probe probe;
    CHECK(probe.Set(ProbeProperty::choice, 7) == 0);
    CHECK(probe.props.choice == 3);
    probe.Set(ProbeProperty::choice, static_cast<uint32_t>(-5));
    CHECK(probe.props.choice == 0);
    probe.Set(ProbeProperty::flag, 42);
    CHECK(probe.props.flag == 1);
    CHECK(probe.Get(ProbeProperty::flag).first == 1);
    // A colour is four bytes as they came, not a number to clamp.
    probe.Set(ProbeProperty::colour, st::DefaultColour);
    CHECK(probe.Get(ProbeProperty::colour).first == st::DefaultColour);
    CHECK(probe.applied == 4);

    probe.props.choice = 99;
    probe.props.flag = -3;
    st::ClampFromRows(Probe::kRows, probe.props);
    CHECK(probe.props.choice == 3);
    CHECK(probe.props.flag == 1);

    // Indices outside the list and a missing value change nothing.
    const uint32_t value[2] = {2, 0};
    CHECK(st::SetPropertyFromRows(Probe::kRows, probe, probe.props, 6, value) == 0);
    CHECK(st::SetPropertyFromRows(Probe::kRows, probe, probe.props, -1, value) == 0);
    CHECK(st::SetPropertyFromRows(Probe::kRows, probe, probe.props, 0, nullptr) == 0);
    uint32_t out[2] = {};
    CHECK(st::GetPropertyFromRows(Probe::kRows, probe.props, 6, out) == 0);
    CHECK(probe.applied == 4);
}

TEST_CASE("property rows: texts and byte blocks cross as address and length") {
    Probe probe;
    CHECK(std::string(reinterpret_cast<const char*>(probe.Get(ProbeProperty::text).first)) == "t");
    probe.Set(ProbeProperty::text, 0); // no text is an empty one
    CHECK(probe.props.text.empty());
    const char word[] = "词";
    probe.Set(ProbeProperty::text, Address(word));
    CHECK(probe.props.text == word);
    CHECK(probe.Get(ProbeProperty::text).first == Address(probe.props.text.c_str()));

    // No bytes reads as no address (not an address of nothing), length 0.
    CHECK(probe.Get(ProbeProperty::bytes) == std::pair<uint32_t, uint32_t>{0, 0});
    const uint8_t bytes[3] = {1, 2, 3};
    probe.Set(ProbeProperty::bytes, Address(bytes), 3);
    CHECK(probe.props.bytes == std::vector<uint8_t>{1, 2, 3});
    auto [at, length] = probe.Get(ProbeProperty::bytes);
    CHECK(length == 3);
    CHECK(std::memcmp(reinterpret_cast<const void*>(at), bytes, 3) == 0);
    probe.Set(ProbeProperty::bytes, Address(bytes), static_cast<uint32_t>(-1));
    CHECK(probe.props.bytes.empty());
    probe.props.bytes.assign(4, 9);
    probe.props.bytes.clear(); // capacity kept: still no address
    CHECK(probe.Get(ProbeProperty::bytes) == std::pair<uint32_t, uint32_t>{0, 0});
}

TEST_CASE("property rows: rebuilds, always or only for a changed value") {
    Probe probe;
    const uint8_t bytes[1] = {1};
    CHECK(probe.Set(ProbeProperty::bytes, Address(bytes), 1) == 1);
    CHECK(probe.Set(ProbeProperty::bytes, Address(bytes), 1) == 1);
    // A style only a new control shows: rebuilt for a change, never applied live.
    CHECK(probe.Set(ProbeProperty::style, 0) == 0);
    CHECK(probe.Set(ProbeProperty::style, 2) == 1);
    CHECK(probe.Set(ProbeProperty::style, 5) == 0); // clamped to the 2 it already is
    CHECK(probe.props.style == 2);
    CHECK(probe.applied == 0);
}

TEST_CASE("unit lists: entry tables, counts and the properties they name") {
    // The core library's entry counts come from the lists.
    CHECK(st::EditBoxPropertyCount == 29);
    CHECK(st::ButtonPropertyCount == 14);
    CHECK(st::CheckBoxPropertyCount == 21);
    CHECK(st::HyperlinkPropertyCount == 18);
    CHECK(st::CommonDialogPropertyCount == 30);
    for (int32_t type : {st::UnitType::EditBox, st::UnitType::Button}) {
        const st::PropertyEntry* entries = Entries(type);
        REQUIRE(entries);
        for (int32_t i = 0; i < st::CommonPropertyCount; ++i)
            CHECK(entries[i].state == 0xE000);
    }
    const st::PropertyEntry& password =
        st::EditBoxPropertyEntries[8 + st::RowOf(st::EditBoxProperty::passwordChar)];
    CHECK(password.kind == st::PropertyKind::Text);
    CHECK(password.state == 0x8001);
    CHECK(st::EditBoxPropertyEntries[8 + st::RowOf(st::EditBoxProperty::selectedText)].state ==
          0x8008);
    CHECK(st::EditBoxUnit::kPropertyRows[st::RowOf(st::EditBoxProperty::multiLine)].effect ==
          st::PropertyEffect::RebuildOnChange);
}

TEST_CASE("edit box: the password character is one byte in the block, one character in the "
          "unit") {
    st::EditProperties p;
    CHECK(p.passwordChar == "*");
    p.passwordChar.assign(1, '#');
    std::vector<uint8_t> block = st::WritePropertyBlock(p);
    st::EditProperties back;
    REQUIRE(st::ReadPropertyBlock(back, block.data(), static_cast<int32_t>(block.size())));
    CHECK(back.passwordChar == "#");

    // None is stored as 0 and read back as none; only the low byte of the
    // stored word is the character.
    p.passwordChar.clear();
    std::vector<uint8_t> none = st::WritePropertyBlock(p);
    CHECK(none.size() == block.size());
    REQUIRE(st::ReadPropertyBlock(back, none.data(), static_cast<int32_t>(none.size())));
    CHECK(back.passwordChar.empty());
    size_t at = 0;
    while (at < block.size() && block[at] == none[at])
        ++at;
    REQUIRE(at + 1 < block.size());
    CHECK(block[at] == '#');
    block[at] = '+';
    block[at + 1] = 0x01; // a high byte that is not part of the character
    REQUIRE(st::ReadPropertyBlock(back, block.data(), static_cast<int32_t>(block.size())));
    CHECK(back.passwordChar == "+");
}

TEST_CASE("listing a block's texts: in the type's order, font faces marked") {
    st::EditProperties p;
    p.content = "内容";
    p.passwordChar = "#";
    LOGFONTA font{};
    std::strcpy(font.lfFaceName, "宋体");
    p.font.assign(reinterpret_cast<const uint8_t*>(&font),
                  reinterpret_cast<const uint8_t*>(&font) + sizeof font);
    const std::vector<uint8_t> block = st::WritePropertyBlock(p);
    auto list = reinterpret_cast<st::ListBlockTextsFn>(
        st::EditBoxUnitInterface(st::UnitEntry::ListBlockTexts));
    REQUIRE(bool(list));
    std::vector<std::pair<std::string, int32_t>> seen;
    uint32_t length = 0;
    HGLOBAL copy = list(
        block.data(), static_cast<int32_t>(block.size()),
        [](void* argument, const char* text, int32_t face) {
            static_cast<decltype(seen)*>(argument)->emplace_back(text, face);
        },
        &seen, &length);
    REQUIRE(copy);
    CHECK(length == block.size());
    GlobalFree(copy);
    REQUIRE(seen.size() == 3);
    CHECK(seen[0] == std::pair<std::string, int32_t>{"#", 0});
    CHECK(seen[1] == std::pair<std::string, int32_t>{"宋体", 1});
    CHECK(seen[2] == std::pair<std::string, int32_t>{"内容", 0});

    // A font that is not a whole description names no face.
    p.font.resize(10);
    const std::vector<uint8_t> shortFont = st::WritePropertyBlock(p);
    seen.clear();
    copy = list(
        shortFont.data(), static_cast<int32_t>(shortFont.size()),
        [](void* argument, const char* text, int32_t face) {
            static_cast<decltype(seen)*>(argument)->emplace_back(text, face);
        },
        &seen, &length);
    GlobalFree(copy);
    CHECK(seen.size() == 2);
}

TEST_CASE("an edit box without its window answers no property") {
    st::EditBoxUnit box; // never built
    auto set = reinterpret_cast<st::SetUnitPropertyFn>(
        st::EditBoxUnitInterface(st::UnitEntry::SetUnitProperty));
    auto get = reinterpret_cast<st::GetUnitPropertyFn>(
        st::EditBoxUnitInterface(st::UnitEntry::GetUnitProperty));
    const uint32_t value[2] = {5, 0};
    uint32_t out = 0, read[2] = {};
    CHECK(set(&box, st::RowOf(st::EditBoxProperty::maxLength), value, &out) == 0);
    CHECK(box.props.maxLength == 0);
    CHECK(get(&box, st::RowOf(st::EditBoxProperty::maxLength), read) == 0);
}

// The edit box on the real runtime and loader: a window built from a
// template segment with the core library's window and edit box types, driven
// through the runtime's message pump, its properties read and written through
// the service table as application code does.
#include <doctest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "child_process.h"
#include "fuzz_support.h"
#include "program_header.h"
#include "st/edit_box_unit.h"
#include "st/services.h"
#include "st/template_builder.h"
#include "st/window_unit.h"
#include "unit_access.h"

extern "C" IMAGE_DOS_HEADER __ImageBase; // the code base handler offsets count from

namespace {

constexpr uint32_t kWindow = 0x52010001, kSelf = 0x06010000;
constexpr uint32_t kMulti = 0x16010001, kPlain = 0x16010002, kByte = 0x16010003, kDate = 0x16010004,
                   kSpin = 0x16010005, kArrows = 0x16010006, kFuzz = 0x16010007, kLow = 0x16010008,
                   kLowMulti = 0x16010009;
// Unit properties as application code numbers them.
namespace P {
constexpr int32_t Left = 0, Visible = 5, Disabled = 6, Content = 8, MultiLine = 15, Alignment = 17,
                  InputMode = 18, PasswordChar = 19, UpDown = 21, Lower = 22, Upper = 23,
                  SelStart = 24, SelLength = 25, SelText = 26;
}

struct Counts {
    int multi = 0, plain = 0, byteBox = 0, spin = 0;
    std::vector<int32_t> arrows;
} counts;

// clang-format off
void OnMultiChanged() { ++counts.multi; }
void OnPlainChanged() { ++counts.plain; }
void OnByteChanged() { ++counts.byteBox; }
void OnSpinChanged() { ++counts.spin; }
// clang-format on
void OnArrow(st::HandlerResult*, uint32_t direction) {
    counts.arrows.push_back(static_cast<int32_t>(direction));
}

int32_t At(void (*handler)()) {
    return st::HandlerOffset(&__ImageBase, handler);
}

std::vector<st::WindowDescription> Windows() {
    st::WindowDescription w;
    w.id = kWindow;
    st::WindowProperties window;
    window.caption = "编辑框测试";
    window.enterMovesFocus = 1;
    st::UnitDescription& self = w.Add(kSelf, st::UnitType::Window);
    self.SetGeometry(40, 40, 420, 260).flags = st::UnitFlag::Visible;
    self.properties = st::WritePropertyBlock(window);

    uint32_t tab = 0;
    auto box = [&](uint32_t id, const char* name, int32_t x, int32_t y, int32_t width,
                   int32_t height, auto setup) -> st::UnitDescription& {
        st::EditProperties p;
        setup(p);
        st::UnitDescription& u = w.Add(id, st::UnitType::EditBox, name);
        u.SetGeometry(x, y, width, height);
        u.flags = st::UnitFlag::Visible | st::UnitFlag::TabStop;
        u.tabOrder = ++tab;
        u.properties = st::WritePropertyBlock(p);
        return u;
    };
    box(kMulti, "编辑框1", 10, 10, 200, 60, [](st::EditProperties& p) {
        p.multiLine = 1;
        p.scrollBars = 2;
        p.content = "第一行";
    }).On(0, At(OnMultiChanged));
    box(kPlain, "编辑框2", 10, 80, 120, 22, [](st::EditProperties& p) {
        p.content = "abcdef";
    }).On(0, At(OnPlainChanged));
    box(kByte, "编辑框3", 10, 110, 120, 22, [](st::EditProperties& p) {
        p.inputMode = 5;
    }).On(0, At(OnByteChanged));
    box(kDate, "编辑框4", 10, 140, 180, 22, [](st::EditProperties& p) { p.inputMode = 11; });
    box(kSpin, "编辑框5", 220, 80, 80, 22, [](st::EditProperties& p) {
        p.upDown = 1;
        p.lower = 100; // given the wrong way round
        p.upper = 0;
        p.content = "100";
    }).On(0, At(OnSpinChanged));
    box(kArrows, "编辑框6", 220, 110, 80, 22, [](st::EditProperties& p) {
        p.upDown = 2;
        p.content = "7";
    }).On(1, st::HandlerOffset(&__ImageBase, OnArrow));
    box(kFuzz, "编辑框7", 220, 140, 80, 22, [](st::EditProperties&) {});
    box(kLow, "编辑框8", 220, 170, 80, 5, [](st::EditProperties&) {}).flags = st::UnitFlag::Visible;
    box(kLowMulti, "编辑框9", 310, 170, 80, 5, [](st::EditProperties& p) {
        p.multiLine = 1;
    }).flags = st::UnitFlag::Visible;
    return {w};
}

const std::vector<uint8_t> kSegment = st::BuildTemplateSegment(Windows());
const st::LibraryRecord* const kLibraries[] = {&st::CoreLibrary};

} // namespace

extern "C" const st::ProgramHeader ProgramHeaderRecord = testing::ProgramHeaderOf(
    {.codeBase = &__ImageBase, .windows = &kSegment, .libraries = kLibraries});

namespace {

using testing::FocusedUnit, testing::Pump, testing::WindowText;

st::UnitBase* Object(uint32_t unit) {
    return testing::UnitObject(kWindow, unit);
}

HWND Handle(uint32_t unit) {
    return testing::UnitHandle(kWindow, unit);
}

st::EditBoxUnit* Box(uint32_t unit) {
    return dynamic_cast<st::EditBoxUnit*>(Object(unit));
}

// The window, loaded afresh for each test and closed after it.
struct TestWindow {
    TestWindow() : hwnd((counts = Counts{}, testing::LoadStartWindow(kWindow))) {}
    ~TestWindow() { testing::CloseWindow(hwnd); }
    HWND hwnd;
};

int32_t Get(uint32_t unit, int32_t index) {
    return static_cast<int32_t>(testing::GetProperty(kWindow, unit, index));
}
void Set(uint32_t unit, int32_t index, int32_t value) {
    testing::SetProperty(kWindow, unit, index, static_cast<uint32_t>(value));
}
std::string GetText(uint32_t unit, int32_t index) {
    return testing::GetTextProperty(kWindow, unit, index);
}
void SetText(uint32_t unit, int32_t index, const char* text) {
    testing::SetTextProperty(kWindow, unit, index, text);
}

void Type(uint32_t unit, const char* keys) {
    for (const char* k = keys; *k; ++k)
        PostMessageA(Handle(unit), WM_CHAR, static_cast<unsigned char>(*k), 0);
    Pump();
}

void PressEnter() {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(VK_RETURN, MAPVK_VK_TO_VSC)) << 16 | 1;
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, scan);
    Pump();
    PostMessageA(GetFocus(), WM_KEYUP, VK_RETURN, scan | 0xC0000000);
    Pump();
}

// Leaves the box the way a person does: the focus goes elsewhere.
void FocusInAndOut(uint32_t unit) {
    SetFocus(Handle(unit));
    Pump();
    SetFocus(Handle(kFuzz));
    Pump();
}

void ClickArrow(HWND upDown, bool up) {
    RECT r;
    GetClientRect(upDown, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, up ? r.bottom / 4 : r.bottom * 3 / 4);
    SendMessageA(upDown, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(upDown, WM_LBUTTONUP, 0, at);
    Pump();
}

RECT InParent(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

} // namespace

TEST_CASE("event 0 comes once per content write, and never twice for one change") {
    TestWindow window;
    REQUIRE(window.hwnd);
    CHECK(counts.multi == 0); // building the window is no change
    SetText(kMulti, P::Content, "第二行\r\n第三行");
    CHECK(counts.multi == 1);
    CHECK(GetText(kMulti, P::Content) == "第二行\r\n第三行");
    SetText(kPlain, P::Content, "xyz");
    SetText(kPlain, P::Content, "");
    CHECK(counts.plain == 2);
    CHECK(WindowText(Handle(kPlain)).empty());
    // Typing is reported by the control itself, once per character.
    Type(kPlain, "ab");
    CHECK(counts.plain == 4);
    CHECK(GetText(kPlain, P::Content) == "ab");
}

TEST_CASE("Chinese typed as a byte pair or as one Unicode character goes in whole") {
    TestWindow window;
    REQUIRE(window.hwnd);
    HWND box = Handle(kPlain);
    SetText(kPlain, P::Content, "");
    SendMessageA(box, WM_CHAR, 0xC4, 1); // 你, lead byte first
    SendMessageA(box, WM_CHAR, 0xE3, 1);
    SendMessageA(box, WM_CHAR, 0x597D, 1); // 好 as the character itself
    SendMessageA(box, WM_CHAR, 0xC4, 1);   // a lead byte the next key does not complete
    SendMessageA(box, WM_CHAR, '1', 1);
    Pump();
    CHECK(WindowText(box) == "你好1");
    CHECK(counts.plain == 4);     // the write, then one change per character
    Set(kPlain, P::InputMode, 1); // read-only: nothing goes in
    SendMessageA(box, WM_CHAR, 0xBA, 1);
    SendMessageA(box, WM_CHAR, 0xC3, 1);
    SendMessageA(box, WM_CHAR, 0x4F60, 1);
    CHECK(WindowText(box) == "你好1");
    Set(kPlain, P::InputMode, 3); // numbers only: no Chinese either
    SendMessageA(box, WM_CHAR, 0xBA, 1);
    SendMessageA(box, WM_CHAR, 0xC3, 1);
    CHECK(WindowText(box) == "你好1");
}

TEST_CASE("selection properties: the -1 rules, negatives, reading clamped to the text") {
    TestWindow window;
    REQUIRE(window.hwnd);
    Set(kPlain, P::SelStart, 2);
    Set(kPlain, P::SelLength, 3);
    CHECK(Get(kPlain, P::SelStart) == 2);
    CHECK(Get(kPlain, P::SelLength) == 3);
    CHECK(GetText(kPlain, P::SelText) == "cde");

    Set(kPlain, P::SelStart, -1); // caret after the last byte
    CHECK(Get(kPlain, P::SelStart) == 6);
    CHECK(Get(kPlain, P::SelLength) == 0);
    CHECK(GetText(kPlain, P::SelText).empty());

    Set(kPlain, P::SelLength, -1); // everything
    CHECK(Get(kPlain, P::SelStart) == 0);
    CHECK(Get(kPlain, P::SelLength) == 6);
    CHECK(GetText(kPlain, P::SelText) == "abcdef");

    Set(kPlain, P::SelStart, -7);
    CHECK(Get(kPlain, P::SelStart) == 0);
    Set(kPlain, P::SelStart, 4);
    Set(kPlain, P::SelLength, 0x7FFFFFFF); // past the end: up to the end
    CHECK(Get(kPlain, P::SelLength) == 2);
    Set(kPlain, P::SelStart, 1000);
    CHECK(Get(kPlain, P::SelStart) == 6);

    Set(kPlain, P::SelStart, 1);
    Set(kPlain, P::SelLength, 2);
    SetText(kPlain, P::SelText, "XY");
    CHECK(WindowText(Handle(kPlain)) == "aXYdef");
}

TEST_CASE("Enter: an editable multi-line box keeps it, other boxes leave it to the window") {
    TestWindow window;
    REQUIRE(window.hwnd);
    // The window moves the focus on Enter (its property), so a box that did
    // not keep the key would lose the focus.
    SetFocus(Handle(kMulti));
    Set(kMulti, P::SelStart, -1);
    PressEnter();
    CHECK(FocusedUnit() == kMulti);
    CHECK(WindowText(Handle(kMulti)) == "第一行\r\n");

    SetFocus(Handle(kPlain));
    PressEnter();
    CHECK(FocusedUnit() == kByte);

    Set(kMulti, P::InputMode, 1); // read-only: nothing to insert a line into
    SetFocus(Handle(kMulti));
    PressEnter();
    CHECK(FocusedUnit() == kPlain);
}

TEST_CASE("input modes: typed keys are filtered, the content normalised when the focus leaves") {
    TestWindow window;
    REQUIRE(window.hwnd);
    SetFocus(Handle(kByte));
    Type(kByte, "3a-0.0x");
    CHECK(WindowText(Handle(kByte)) == "300");
    counts.byteBox = 0;
    FocusInAndOut(kByte);
    CHECK(WindowText(Handle(kByte)) == "255");
    CHECK(counts.byteBox == 1); // the normalised text is one change

    SetText(kDate, P::Content, "2012-1-20 5:23:31");
    FocusInAndOut(kDate);
    CHECK(WindowText(Handle(kDate)) == "2012年1月20日5时23分31秒");

    // A mode changed on the live box takes effect at once; a password box
    // given no character still hides its text.
    Set(kPlain, P::InputMode, 2);
    SetText(kPlain, P::PasswordChar, "");
    CHECK(SendMessageA(Handle(kPlain), EM_GETPASSWORDCHAR, 0, 0) == '*');
    SetText(kPlain, P::PasswordChar, "#x");
    CHECK(SendMessageA(Handle(kPlain), EM_GETPASSWORDCHAR, 0, 0) == '#');
    CHECK(GetText(kPlain, P::PasswordChar) == "#");
    Set(kPlain, P::InputMode, 99); // clamped: date-time
    CHECK(Get(kPlain, P::InputMode) == 11);
    CHECK(SendMessageA(Handle(kPlain), EM_GETPASSWORDCHAR, 0, 0) == 0);
}

TEST_CASE("the up-down companion: beside the box, reversed bounds, wrap-around, event 1") {
    TestWindow window;
    REQUIRE(window.hwnd);
    st::EditBoxUnit* spin = Box(kSpin);
    REQUIRE(spin);
    HWND box = spin->hwnd, arrows = spin->Companion();
    REQUIRE(arrows);
    CHECK(GetParent(arrows) == GetParent(box));
    CHECK(GetDlgCtrlID(arrows) == GetDlgCtrlID(box) + 4);
    CHECK(GetWindow(box, GW_HWNDNEXT) == arrows);
    RECT b = InParent(box), a = InParent(arrows);
    CHECK(a.left == b.right);
    CHECK(a.right - a.left == 18);
    CHECK(a.top == b.top);
    CHECK(a.bottom == b.bottom);
    int low = -1, high = -1;
    SendMessageA(arrows, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    CHECK(low == 0);
    CHECK(high == 100);

    ClickArrow(arrows, true); // 100 + 1 wraps to the lower bound
    CHECK(WindowText(box) == "0");
    CHECK(counts.spin == 1);
    CHECK(GetText(kSpin, P::SelText) == "0");
    ClickArrow(arrows, false); // 0 - 1 wraps to the upper bound
    CHECK(WindowText(box) == "100");
    CHECK(SendMessageA(arrows, UDM_GETPOS32, 0, 0) == 100);
    ClickArrow(arrows, false);
    CHECK(WindowText(box) == "99");
    CHECK(counts.spin == 3);

    // Typed text moves the arrows' own position along with it.
    SetText(kSpin, P::Content, "42");
    CHECK(SendMessageA(arrows, UDM_GETPOS32, 0, 0) == 42);

    // Bounds beyond 16 bits are kept whole.
    Set(kSpin, P::Lower, 100000);
    Set(kSpin, P::Upper, -100000);
    SendMessageA(arrows, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    CHECK(low == -100000);
    CHECK(high == 100000);
    SetText(kSpin, P::Content, "99999");
    ClickArrow(arrows, true);
    CHECK(WindowText(box) == "100000");

    // It follows the box: moved, hidden, disabled; a disabled box ignores it.
    Set(kSpin, P::Left, 240);
    CHECK(InParent(arrows).left == InParent(box).right);
    Set(kSpin, P::Disabled, 1);
    CHECK_FALSE(IsWindowEnabled(arrows));
    Set(kSpin, P::Visible, 0);
    CHECK_FALSE(IsWindowVisible(arrows));
    Set(kSpin, P::Visible, 1);
    CHECK(IsWindowVisible(arrows));
    CHECK(GetWindow(box, GW_HWNDNEXT) == arrows);
    SendMessageA(arrows, UDM_SETPOS32, 0, 5);
    NMUPDOWN step{{arrows, static_cast<UINT_PTR>(GetDlgCtrlID(arrows)), UDN_DELTAPOS}, 5, 1};
    CHECK(SendMessageA(GetParent(arrows), WM_NOTIFY, step.hdr.idFrom,
                       reinterpret_cast<LPARAM>(&step)) != 0);
    CHECK(WindowText(box) == "100000");

    // Mode 2 leaves the content alone and raises event 1 instead.
    st::EditBoxUnit* other = Box(kArrows);
    REQUIRE(other);
    REQUIRE(other->Companion());
    ClickArrow(other->Companion(), true);
    ClickArrow(other->Companion(), false);
    CHECK(counts.arrows == std::vector<int32_t>{1, -1});
    CHECK(WindowText(other->hwnd) == "7");
}

TEST_CASE("style properties rebuild the control only when they change, keeping the content") {
    TestWindow window;
    REQUIRE(window.hwnd);
    Set(kPlain, P::SelStart, -1);
    Type(kPlain, "gh");
    HWND before = Handle(kPlain);
    Set(kPlain, P::Alignment, 7); // clamped to 2: right
    HWND after = Handle(kPlain);
    REQUIRE(after);
    CHECK(after != before);
    CHECK((GetWindowLongA(after, GWL_STYLE) & ES_RIGHT) != 0);
    CHECK(WindowText(after) == "abcdefgh");
    CHECK(Get(kPlain, P::Alignment) == 2);
    Set(kPlain, P::Alignment, 2);
    CHECK(Handle(kPlain) == after);

    Set(kPlain, P::UpDown, 1);
    REQUIRE(Box(kPlain));
    CHECK(Box(kPlain)->Companion() != nullptr);
    Set(kPlain, P::MultiLine, 1); // a multi-line box has no arrows
    REQUIRE(Box(kPlain));
    CHECK((GetWindowLongA(Handle(kPlain), GWL_STYLE) & ES_MULTILINE) != 0);
    CHECK(Box(kPlain)->Companion() == nullptr);

    // A single-line box is never lower than one line of its font; a
    // multi-line box keeps the height it was given.
    RECT low, lowMulti;
    GetWindowRect(Handle(kLow), &low);
    GetWindowRect(Handle(kLowMulti), &lowMulti);
    CHECK(low.bottom - low.top > 5);
    CHECK(lowMulti.bottom - lowMulti.top == 5);
}

namespace {

// Numbers near the edges of every range, empty and long texts, a lone lead
// byte, byte sets of odd sizes.
struct Fuzzer {
    std::mt19937 random{20261208};
    int32_t Number() {
        static const int32_t kEdges[] = {0,   1,    -1,    2,      3,      5,         6,
                                         11,  12,   255,   -2,     100,    -32768,    65536,
                                         -32, 1000, 32767, 200000, -70000, INT32_MAX, INT32_MIN};
        return random() % 3 ? kEdges[random() % std::size(kEdges)] : static_cast<int32_t>(random());
    }
    std::string Text() {
        std::string s(random() % 4 ? random() % 40 : 70000, 'x');
        for (char& c : s)
            c = static_cast<char>(1 + random() % 255);
        return s;
    }
    std::vector<uint8_t> Bytes() {
        std::vector<uint8_t> b(std::array<size_t, 5>{0, 1, 59, 60, 61}[random() % 5]);
        for (uint8_t& x : b)
            x = static_cast<uint8_t>(random());
        return b;
    }
};

const st::TypeRecord* EditType() {
    return reinterpret_cast<const st::TypeRecord*>(static_cast<uintptr_t>(
        st::CallRuntime(st::CallbackCode::TypeRecordOf, st::UnitType::EditBox)));
}

// What every reading of a live box must satisfy, whatever was written.
void CheckInvariants(st::EditBoxUnit& box) {
    auto get = st::UnitEntryOf<st::GetUnitPropertyFn>(EditType(), st::UnitEntry::GetUnitProperty);
    REQUIRE(bool(get));
    auto word = [&](int32_t index) {
        uint32_t value[2] = {};
        REQUIRE(get(&box, index, value) == 1);
        return value[0];
    };
    auto length = [&](int32_t index) {
        return static_cast<int32_t>(std::strlen(st::WordAddress<const char>(word(index))));
    };
    // index (type-relative), low, high
    static const int32_t kRanges[][3] = {{1, 0, 5},   {5, 0, 1},  {6, 0, INT32_MAX},
                                         {7, 0, 1},   {8, 0, 3},  {9, 0, 2},
                                         {10, 0, 11}, {12, 0, 2}, {13, 0, 2}};
    for (const auto& r : kRanges) {
        CAPTURE(r[0]);
        const int32_t v = static_cast<int32_t>(word(r[0]));
        CHECK((v >= r[1] && v <= r[2]));
    }
    const int32_t start = static_cast<int32_t>(word(16)), count = static_cast<int32_t>(word(17));
    CHECK((start >= 0 && count >= 0 && int64_t(start) + count <= length(0)));
    CHECK(length(18) == count);
    CHECK(length(11) <= 1);
    if (HWND arrows = box.Companion()) {
        int low = 0, high = 0;
        SendMessageA(arrows, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                     reinterpret_cast<LPARAM>(&high));
        CHECK(low <= high);
    }
}

} // namespace

TEST_CASE("fuzz: random blocks and property writes never crash and are clamped") {
    TestWindow window;
    REQUIRE(window.hwnd);
    const st::TypeRecord* type = EditType();
    REQUIRE(type);
    CHECK(type->propertyCount == 29);
    auto create = st::UnitEntryOf<st::CreateUnitFn>(type, st::UnitEntry::CreateUnit);
    auto set = st::UnitEntryOf<st::SetUnitPropertyFn>(type, st::UnitEntry::SetUnitProperty);
    REQUIRE(bool(create));
    REQUIRE(bool(set));
    Fuzzer fuzz;

    SUBCASE("blocks: well-formed ones load clamped, short or too new ones are refused") {
        // These units belong to no loaded window: no event may reach a
        // handler meanwhile, as during a load.
        st::CallRuntime(st::CallbackCode::EnterConstruction);
        for (int round = 0; round < testing::FuzzRounds(60); ++round) {
            CAPTURE(round);
            st::PropertyWriter w;
            const int32_t version =
                fuzz.random() % 8 ? static_cast<int32_t>(fuzz.random() % 3) : fuzz.Number();
            w.I32(version);
            for (int i = 0; i < 9; ++i)
                w.I32(fuzz.Number());
            w.I16(static_cast<int16_t>(fuzz.random()));
            for (int i = 0; i < 6; ++i)
                w.I32(fuzz.Number());
            w.Bytes(fuzz.Bytes());
            for (int i = version >= 2 ? 3 : 1; i > 0; --i)
                w.Text(fuzz.Text().substr(0, 2000));
            std::vector<uint8_t> block = w.Take();
            const size_t cut = fuzz.random() % 4 ? block.size() : fuzz.random() % block.size();
            st::UnitBase* made =
                create(block.data(), static_cast<int32_t>(cut), WS_TABSTOP, window.hwnd, 900,
                       nullptr, 5, 200, 60, 22, 0x520100FF, 0x16010FFF, nullptr, 0);
            if (cut == block.size())
                CHECK((made != nullptr) == (version >= 0 && version <= 2));
            else if (cut > 0)
                CHECK(made == nullptr); // a block that ends early
            if (!made) continue;
            auto* box = dynamic_cast<st::EditBoxUnit*>(made);
            REQUIRE(box);
            CheckInvariants(*box);
            DestroyWindow(box->hwnd); // the unit goes with its window
        }
        st::CallRuntime(st::CallbackCode::LeaveConstruction);
    }

    SUBCASE("writes: every property, and one past the last, with any value") {
        const auto* entries = static_cast<const st::PropertyEntry*>(type->properties);
        for (int round = 0; round < testing::FuzzRounds(600); ++round) {
            st::EditBoxUnit* box = Box(kFuzz);
            REQUIRE(box);
            const int32_t index = static_cast<int32_t>(fuzz.random() % 22);
            CAPTURE(round);
            CAPTURE(index);
            const uint16_t kind = index < 21 ? entries[8 + index].kind : st::PropertyKind::Integer;
            std::string text = fuzz.Text();
            std::vector<uint8_t> bytes = fuzz.Bytes();
            uint32_t value[2] = {static_cast<uint32_t>(fuzz.Number()), 0};
            if (kind == st::PropertyKind::Text || kind == st::PropertyKind::DataSource ||
                kind == st::PropertyKind::DataColumn) {
                value[0] = fuzz.random() % 8 ? reinterpret_cast<uintptr_t>(text.c_str()) : 0;
            } else if (kind == st::PropertyKind::Font) {
                value[0] = reinterpret_cast<uintptr_t>(bytes.data());
                value[1] = static_cast<uint32_t>(bytes.size());
            }
            uint32_t out = 0xFFFFFFFF;
            // A rebuild asked for is the runtime's business; the box works on.
            set(box, index, value, &out);
            CHECK(out == 0);
            CheckInvariants(*box);
        }
        // However it was left, the box still answers a message sent from
        // another thread and still normalises in byte mode.
        CHECK(testing::AnswersFromAnotherThread(Handle(kFuzz), Pump));
        Set(kFuzz, P::InputMode, 5);
        for (const char* typed : {"300", "0"}) {
            SetText(kFuzz, P::Content, typed);
            SetFocus(Handle(kFuzz));
            Pump();
            SetFocus(Handle(kByte));
            Pump();
            CHECK(WindowText(Handle(kFuzz)) == (typed[1] ? "255" : ""));
        }
    }
}

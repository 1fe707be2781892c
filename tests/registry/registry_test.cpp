// The unit registry in process: loading windows from builder-made templates,
// destruction bookkeeping, property access, event dispatch and the runtime
// callback's window and unit requests. Test-only unit types (test_units.h).
#include <doctest.h>

#include <cstring>
#include <string>

#include "registry.h"
#include "runtime_started.h"
#include "test_units.h"
#include "test_windows.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

using namespace testwindows;
using testunits::log;
namespace Prop = testunits::Prop;

namespace {

st::UnitRegistry& R() {
    return st::Registry();
}

st::UnitBase* Object(uint32_t window, uint32_t unit) {
    return reinterpret_cast<st::UnitBase*>(
        st::RuntimeCallback(st::CallbackCode::FindUnitObject, window, unit));
}

HWND Handle(uint32_t window, uint32_t unit) {
    st::UnitBase* o = Object(window, unit);
    return o ? o->hwnd : nullptr;
}

void Close(uint32_t window) {
    if (HWND h = Handle(window, 0)) DestroyWindow(h);
}

uint32_t Get(uint32_t window, uint32_t unit, int32_t index, int32_t part = -1) {
    return static_cast<uint32_t>(st::Services.GetProperty(window, unit, index, part));
}

void Set(uint32_t window, uint32_t unit, int32_t index, uint32_t low, int32_t part = -1) {
    st::Services.SetProperty(window, unit, index, part, low, 0);
}

void Fresh() {
    testing::StartRuntimeOnce();
    Close(A);
    Close(E);
    trace.clear();
    log.Clear();
}

void LoadA() {
    Fresh();
    REQUIRE(R().LoadWindow(A, false, false, nullptr));
}

st::UnitRecordView View(uint32_t window, uint32_t unit) {
    st::UnitRecordView v;
    REQUIRE(R().FindUnit(window, unit, v));
    return v;
}

std::string TakeText(uint32_t text) {
    std::string s = text ? reinterpret_cast<const char*>(text) : "(null)";
    st::FreeMemory(reinterpret_cast<void*>(text));
    return s;
}

RECT InParent(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

st::EventRecord Event(uint32_t unit, int32_t event, std::initializer_list<uint32_t> args) {
    st::EventRecord r{};
    r.window = A;
    r.unit = unit;
    r.event = event;
    r.argCount = static_cast<uint32_t>(args.size());
    uint32_t i = 0;
    for (uint32_t a : args)
        r.args[i++] = a;
    r.hasResult = 0xAAAAAAAA; // untouched unless a handler reports
    r.result = 0xBBBBBBBB;
    return r;
}

BOOL CALLBACK CountTestWindow(HWND w, LPARAM found) {
    char name[32];
    GetClassNameA(w, name, sizeof name);
    if (std::strcmp(name, "StTestWindow") == 0) ++*reinterpret_cast<int*>(found);
    return TRUE;
}

// Windows of the test window type on this thread (other test programs may
// have theirs open at the same time).
int OurTestWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountTestWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

uint64_t Raise(st::EventRecord& r) {
    return st::RuntimeCallback(st::CallbackCode::RaiseEvent, reinterpret_cast<uint32_t>(&r), 0);
}

} // namespace

TEST_CASE("the registry holds exactly the windows the builder described") {
    testing::StartRuntimeOnce();
    auto* templates = reinterpret_cast<st::TemplateRegistry*>(
        st::RuntimeCallback(st::CallbackCode::Registry, 0, 0));
    std::vector<st::WindowDescription> described = Windows(&__ImageBase);
    REQUIRE(templates->WindowCount() == static_cast<int32_t>(described.size()));
    CHECK(st::RuntimeCallback(st::CallbackCode::WindowCount, 0, 0) == described.size());
    uint32_t base = reinterpret_cast<uint32_t>(&__ImageBase);
    for (size_t i = 0; i < described.size(); ++i) {
        const st::WindowDescription& d = described[i];
        CHECK(templates->WindowIdAt(static_cast<int32_t>(i)) == d.id);
        REQUIRE(templates->UnitCount(d.id) == static_cast<int32_t>(d.units.size()));
        for (size_t k = 0; k < d.units.size(); ++k) {
            st::WindowRecord* w = R().FindWindow(d.id);
            std::vector<uint8_t>& r = w->units.records[k];
            st::UnitDescription back;
            REQUIRE(st::DescribeUnitRecord(w->units.ids[k], r.data(),
                                           static_cast<uint32_t>(r.size()), back, &base));
            CHECK(back == d.units[k]);
        }
    }
    st::WindowRecord* a = R().FindWindow(A);
    CHECK(a->wordA == 0x00B82144);
    CHECK(a->text1 == "说明");
    st::UnitRecordView v;
    CHECK_FALSE(templates->FindUnit(A, Menu1, v)); // menu items have their own layout
    CHECK(templates->UnitCount(0x52019999) == -1);
}

TEST_CASE("loading a window: creation order, control ids, no handler while building") {
    LoadA();
    HWND window = Handle(A, 0);
    REQUIRE(window != nullptr);
    // The window first, then the units from the last record to the first.
    REQUIRE(log.creations.size() == 6);
    const uint32_t order[6] = {Self, Quiet1, Label3, Hidden1, Label2, Label1};
    const uint32_t ids[6] = {0, 100, 110, 120, 130, 140};
    for (int i = 0; i < 6; ++i) {
        CAPTURE(i);
        CHECK(log.creations[i].unit == order[i]);
        CHECK(log.creations[i].controlId == ids[i]);
        CHECK(log.creations[i].raised == 0); // the probe event found no handler
        CHECK((log.creations[i].style & WS_VISIBLE) == 0);
        if (i > 0) CHECK(log.creations[i].parent == window);
    }
    CHECK(log.creations[0].parent == nullptr);
    CHECK(log.creations[0].left == 100);
    CHECK(log.creations[0].width == 300);
    CHECK(log.creations[5].style == WS_TABSTOP);  // 标签1
    CHECK(log.creations[4].style == WS_DISABLED); // 标签2
    CHECK(GetDlgCtrlID(Handle(A, Label1)) == 140);

    // Messages: after-creation last to first, the window's, then the final ones.
    std::vector<std::string> steps = {"806F 16010105", "806F 16010104", "806F 16010102",
                                      "806F 16010101", "8004",          "8076 16010105",
                                      "8076 16010104", "8076 16010102", "8076 16010101"};
    CHECK(log.steps == steps);
    CHECK(log.probeAnswers == std::vector<uint32_t>(5, 0));
    CHECK(trace == std::vector<std::string>{"A0", "A3", "A4"});
    CHECK(st::Runtime().errorDepth == 0);

    CHECK(IsWindowVisible(window));
    CHECK(IsWindowVisible(Handle(A, Label1)));
    CHECK(IsWindowVisible(Handle(A, Label2)));
    CHECK_FALSE(IsWindowVisible(Handle(A, Label3))); // stored invisible
    REQUIRE(Object(A, Hidden1) != nullptr);          // windowless: an object, no window
    CHECK(Object(A, Hidden1)->hwnd == nullptr);
    CHECK_FALSE(IsWindowEnabled(Handle(A, Label2)));

    // Record order is the z-order, top first.
    HWND top = GetWindow(window, GW_CHILD);
    CHECK(top == Handle(A, Label1));
    CHECK(GetWindow(top, GW_HWNDNEXT) == Handle(A, Label2));

    st::WindowLoadState* state = Object(A, 0)->LoadState();
    REQUIRE(state != nullptr);
    CHECK(state->completelyLoaded);
    CHECK_FALSE(state->modal);
    CHECK(View(A, Label2).Cursor() == reinterpret_cast<uint32_t>(LoadCursorA(nullptr, IDC_HAND)));
    CHECK(GetMenu(window) != nullptr); // the menu item became the window's menu
    CHECK(OurTestWindows() == 1);
}

TEST_CASE("loading a window that is open creates nothing and brings it forward") {
    LoadA();
    REQUIRE(R().LoadWindow(E, false, false, nullptr));
    CHECK(GetActiveWindow() == Handle(E, 0));
    log.Clear();
    trace.clear();
    CHECK(R().LoadWindow(A, false, false, nullptr));
    CHECK(log.creations.empty());
    CHECK(trace.empty());
    CHECK(GetActiveWindow() == Handle(A, 0));

    ShowWindow(Handle(A, 0), SW_MINIMIZE);
    REQUIRE(IsIconic(Handle(A, 0)));
    CHECK(R().LoadWindow(A, false, false, nullptr));
    CHECK_FALSE(IsIconic(Handle(A, 0)));
    CHECK(log.creations.empty());
}

TEST_CASE("destroying a window puts its unit list back as it was before the load") {
    LoadA();
    HWND window = Handle(A, 0);
    Set(A, Label1, 2, 150); // stored in the working list while the window lives
    CHECK(View(A, Label1).geometry[2] == 150);
    CHECK(st::RuntimeCallback(st::CallbackCode::LoadedWindowCount, 0, 0) == 1);
    DestroyWindow(window);
    CHECK_FALSE(IsWindow(window));
    CHECK(Object(A, 0) == nullptr);
    CHECK(View(A, 0).Object() == nullptr);
    CHECK(View(A, Label1).Object() == nullptr);
    CHECK(View(A, Hidden1).Object() == nullptr);
    CHECK(View(A, Label2).Cursor() == 0);
    CHECK(View(A, Label1).geometry[2] == 80);
    CHECK(st::RuntimeCallback(st::CallbackCode::LoadedWindowCount, 0, 0) == 0);
    CHECK_FALSE(R().AnyWindowAlive());

    log.Clear();
    REQUIRE(R().LoadWindow(A, false, false, nullptr));
    CHECK(log.creations.size() == 6);
    CHECK(log.creations[5].width == 80);
}

TEST_CASE("a window whose unit cannot be created fails to load and leaves nothing behind") {
    Fresh();
    CHECK_FALSE(R().LoadWindow(Broken, false, false, nullptr));
    CHECK(Object(Broken, 0) == nullptr);
    CHECK(View(Broken, 0).Object() == nullptr);
    CHECK(st::Runtime().errorDepth == 0);
    CHECK_FALSE(R().FindWindow(Broken)->hasSaved);
    CHECK(OurTestWindows() == 0);
    CHECK_FALSE(R().LoadWindow(0x52019999, false, false, nullptr));
}

TEST_CASE("the window type's create entry destroys the menu it is given when no window is made") {
    testing::StartRuntimeOnce();
    auto* type = reinterpret_cast<const st::TypeRecord*>(
        st::RuntimeCallback(st::CallbackCode::TypeRecordOf, st::UnitType::Window, 0));
    auto create = st::UnitEntryOf<st::CreateUnitFn>(type, st::UnitEntry::CreateUnit);
    REQUIRE(static_cast<bool>(create));
    const uint8_t newer[4] = {99, 0, 0, 0}; // a block version this program cannot read
    HWND gone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    struct Case {
        const char* what;
        const uint8_t* block;
        int32_t length;
        HWND owner;
    } cases[] = {{"the block does not read", newer, 4, nullptr},
                 {"the window cannot be made", nullptr, 0, gone}};
    for (const Case& c : cases) {
        const std::string what = c.what;
        CAPTURE(what);
        HMENU menu = CreateMenu();
        AppendMenuA(menu, MF_STRING, 1, "文件");
        CHECK(create(c.block, c.length, 0, c.owner, 0, menu, 0, 0, 100, 100, 0x52019998, 0x06010000,
                     nullptr, 0) == nullptr);
        CHECK_FALSE(IsMenu(menu));
    }
}

TEST_CASE("geometry: clamping, stored values before creation, live values after") {
    Fresh();
    CHECK(Get(B, BButton, 2) == 77);
    CHECK(Get(B, 0, 0) == 5);
    Set(B, BButton, 2, 40000);
    CHECK(Get(B, BButton, 2) == 32627);
    Set(B, BButton, 0, static_cast<uint32_t>(-40000));
    CHECK(static_cast<int32_t>(Get(B, BButton, 0)) == -32627);
    Set(B, BButton, 0, 40000);
    CHECK(Get(B, BButton, 0) == 32627);
    Set(B, BButton, 3, static_cast<uint32_t>(-5));
    CHECK(Get(B, BButton, 3) == 0);
    Set(B, BButton, 2, 77);
    Set(B, BButton, 0, 1);
    Set(B, BButton, 3, 33);

    REQUIRE(R().LoadWindow(B, false, false, nullptr));
    HWND button = Handle(B, BButton);
    Set(B, BButton, 0, 20);
    RECT r = InParent(button);
    CHECK(r.left == 20);
    CHECK(r.top == 2);
    CHECK(r.right - r.left == 77); // moved, size kept
    CHECK(Get(B, BButton, 0) == 20);
    Set(B, BButton, 3, 25);
    r = InParent(button);
    CHECK(r.bottom - r.top == 25);
    CHECK(r.left == 20); // resized, not moved
    CHECK(View(B, BButton).geometry[3] == 25);
    // Live values come from the window itself.
    SetWindowPos(button, nullptr, 33, 44, 55, 66, SWP_NOZORDER | SWP_NOACTIVATE);
    CHECK(Get(B, BButton, 0) == 33);
    CHECK(Get(B, BButton, 1) == 44);
    CHECK(Get(B, BButton, 2) == 55);
    CHECK(Get(B, BButton, 3) == 66);
    RECT wr;
    GetWindowRect(Handle(B, 0), &wr);
    CHECK(Get(B, 0, 0) == static_cast<uint32_t>(wr.left)); // top-level: screen coordinates
    CHECK(Get(B, 0, 2) == static_cast<uint32_t>(wr.right - wr.left));
    Close(B);
}

TEST_CASE("visible and disabled on units not yet created and on live units") {
    Fresh();
    Set(B, BButton, 6, 1);
    CHECK(Get(B, BButton, 6) == 1);
    Set(B, BButton, 5, 0);
    CHECK(Get(B, BButton, 5) == 0);
    CHECK((View(B, BButton).Flags() & 3) == 2);
    REQUIRE(R().LoadWindow(B, false, false, nullptr));
    CHECK(IsWindowVisible(Handle(B, 0)));
    CHECK_FALSE(IsWindowVisible(Handle(B, BButton)));
    CHECK_FALSE(IsWindowEnabled(Handle(B, BButton)));
    CHECK(Get(B, BButton, 6) == 1);
    Set(B, BButton, 6, 0);
    CHECK(IsWindowEnabled(Handle(B, BButton)));
    CHECK(Get(B, BButton, 6) == 0);
    Set(B, BButton, 5, 1);
    CHECK(IsWindowVisible(Handle(B, BButton)));
    CHECK(Get(B, BButton, 5) == 1);
    Close(B); // back to the list as stored before the load
    Set(B, BButton, 5, 1);
    Set(B, BButton, 6, 0);

    LoadA();
    Set(A, Label3, 5, 1);
    CHECK(IsWindowVisible(Handle(A, Label3)));
    Set(A, Label3, 5, 0);
    CHECK_FALSE(IsWindowVisible(Handle(A, Label3)));
    Set(A, Hidden1, 5, 1); // windowless: stays without a window
    CHECK(Object(A, Hidden1)->hwnd == nullptr);
    Set(A, 0, 5, 0);
    CHECK_FALSE(IsWindowVisible(Handle(A, 0)));
    CHECK(Get(A, 0, 5) == 0);
    Set(A, 0, 5, 1);
    CHECK(IsWindowVisible(Handle(A, 0)));
    Set(A, Label1, 6, 1);
    CHECK_FALSE(IsWindowEnabled(Handle(A, Label1)));
    CHECK((View(A, Label1).Flags() & st::UnitFlag::Disabled) != 0);
}

TEST_CASE("tag and mouse pointer") {
    LoadA();
    CHECK(TakeText(Get(A, Label1, 4)) == "标签一");
    Set(A, Label1, 4, reinterpret_cast<uint32_t>("新标记"));
    CHECK(TakeText(Get(A, Label1, 4)) == "新标记");
    CHECK(View(A, Label1).geometry[0] == 10); // the fields after the tag moved with it
    Set(A, Label1, 4, 0);
    CHECK(Get(A, Label1, 4) == 0);

    auto pointer = [](uint32_t unit) {
        void* set = reinterpret_cast<void*>(Get(A, unit, 7));
        std::vector<uint8_t> bytes(st::ByteSetData(set),
                                   st::ByteSetData(set) + st::ByteSetLength(set));
        st::FreeMemory(set);
        return bytes;
    };
    CHECK(pointer(Label2) == std::vector<uint8_t>{14, 0, 0, 0}); // IDC_HAND is index 14
    uint32_t ibeam[3] = {1, 4, 3};
    Set(A, Label2, 7, reinterpret_cast<uint32_t>(ibeam));
    st::UnitRecordView v = View(A, Label2);
    REQUIRE(v.pointerLength == 4);
    CHECK(*reinterpret_cast<uint32_t*>(v.pointer) == 32513); // IDC_IBEAM stored
    CHECK(v.Cursor() == reinterpret_cast<uint32_t>(LoadCursorA(nullptr, IDC_IBEAM)));
    uint32_t odd[3] = {1, 4, 99};
    Set(A, Label2, 7, reinterpret_cast<uint32_t>(odd));
    CHECK(pointer(Label2) == std::vector<uint8_t>{99, 0, 0, 0});
    Set(A, Label2, 7, 0);
    CHECK(Get(A, Label2, 7) == 0);
    CHECK(View(A, Label2).Cursor() == 0);
}

TEST_CASE("a mouse pointer with cursor data makes the unit's own cursor") {
    LoadA();
    // A byte set (index 0) carrying a 32 x 32 monochrome cursor file whose
    // hot spot is (5, 6): file header, one entry, the image.
    const uint32_t image = 40 + 8 + 2 * 128, length = 4 + 22 + image;
    std::vector<uint8_t> value(8 + length, 0);
    auto put = [&](size_t at, uint32_t v, size_t n) { std::memcpy(&value[at], &v, n); };
    put(0, 1, 4);
    put(4, length, 4);
    const size_t file = 12, bitmap = file + 22;
    put(file + 2, 2, 2); // a cursor
    put(file + 4, 1, 2);
    put(file + 6, 32, 1);
    put(file + 7, 32, 1);
    put(file + 10, 5, 2);
    put(file + 12, 6, 2);
    put(file + 14, image, 4);
    put(file + 18, 22, 4);
    put(bitmap, 40, 4);
    put(bitmap + 4, 32, 4);
    put(bitmap + 8, 64, 4); // image and mask
    put(bitmap + 12, 1, 2);
    put(bitmap + 14, 1, 2);
    put(bitmap + 44, 0x00FFFFFF, 4); // second palette colour: white
    for (size_t k = 0; k < 128; ++k)
        value[bitmap + 48 + k] = 0x0F, value[bitmap + 48 + 128 + k] = 0xF0;

    Set(A, Label1, 7, reinterpret_cast<uint32_t>(value.data()));
    HCURSOR cursor = reinterpret_cast<HCURSOR>(View(A, Label1).Cursor());
    REQUIRE(cursor != nullptr);
    ICONINFO info{};
    REQUIRE(GetIconInfo(cursor, &info));
    CHECK_FALSE(info.fIcon);
    CHECK(info.xHotspot == 5);
    CHECK(info.yHotspot == 6);
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    void* back = reinterpret_cast<void*>(Get(A, Label1, 7));
    CHECK(st::ByteSetLength(back) == static_cast<int32_t>(length));
    st::FreeMemory(back);
    Close(A);
    CHECK(View(A, Label1).Cursor() == 0);
}

TEST_CASE("type properties cross the unit interface converted by their kind") {
    LoadA();
    testunits::TestProperties* p = testunits::PropertiesOf(Object(A, Label1));
    REQUIRE(p != nullptr);
    CHECK(Get(A, Label1, Prop::Number) == 7);
    Set(A, Label1, Prop::Number, 1234);
    CHECK(p->number == 1234);

    uint32_t text = Get(A, Label1, Prop::Text);
    CHECK(text != reinterpret_cast<uint32_t>(p->text.c_str())); // a copy of its own
    CHECK(TakeText(text) == "一号");
    Set(A, Label1, Prop::Text, 0);
    CHECK(log.lastSet[0] == reinterpret_cast<uint32_t>(st::EmptyText));
    CHECK(Get(A, Label1, Prop::Text) == 0);

    Set(A, Label1, Prop::Logical, 5);
    CHECK(p->logical == 1);
    p->logical = 7;
    CHECK(Get(A, Label1, Prop::Logical) == 1);

    uint32_t set[3] = {1, 3, 0x00030201};
    Set(A, Label1, Prop::Picture, reinterpret_cast<uint32_t>(set));
    CHECK(p->picture == std::vector<uint8_t>{1, 2, 3});
    void* back = reinterpret_cast<void*>(Get(A, Label1, Prop::Picture));
    REQUIRE(st::ByteSetLength(back) == 3);
    CHECK(st::ByteSetData(back)[2] == 3);
    st::FreeMemory(back);
    Set(A, Label1, Prop::Picture, 0);
    CHECK(p->picture.empty());
    CHECK(Get(A, Label1, Prop::Picture) == 0);
    CHECK(Get(A, Label1, 40) == 0); // beyond the type's properties
}

TEST_CASE("font properties: the seven-field record and one part at a time") {
    LoadA();
    testunits::TestProperties* p = testunits::PropertiesOf(Object(A, Label1));
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    auto font = [&] {
        LOGFONTA f{};
        REQUIRE(p->font.size() == 60);
        std::memcpy(&f, p->font.data(), 60);
        return f;
    };

    char face[] = "黑体";
    st::FontRecord record = {450, 1, 1, 0, 1, 12, face};
    Set(A, Label1, Prop::Font, reinterpret_cast<uint32_t>(&record));
    LOGFONTA f = font();
    CHECK(f.lfEscapement == 450);
    CHECK(f.lfOrientation == 450);
    CHECK(f.lfWeight == 700);
    CHECK(f.lfItalic == 1);
    CHECK(f.lfUnderline == 0);
    CHECK(f.lfStrikeOut == 1);
    CHECK(f.lfHeight == -MulDiv(12, dpi, 72));
    CHECK(std::string(f.lfFaceName) == "黑体");

    auto* read = reinterpret_cast<st::FontRecord*>(Get(A, Label1, Prop::Font));
    CHECK(read->angle == 450);
    CHECK(read->bold == 1);
    CHECK(read->strikeOut == 1);
    CHECK(read->size == 12);
    CHECK(TakeText(reinterpret_cast<uint32_t>(read->face)) == "黑体");
    st::FreeMemory(read);

    std::string longFace(31, 'a');
    record = {0, 0, 0, 0, 0, -3, longFace.data()};
    Set(A, Label1, Prop::Font, reinterpret_cast<uint32_t>(&record));
    CHECK(std::string(font().lfFaceName) == "宋体");
    CHECK(font().lfHeight == 0); // a negative size counts as 0
    CHECK(font().lfWeight == 0);
    longFace.pop_back(); // 30 bytes are kept
    record.face = longFace.data();
    Set(A, Label1, Prop::Font, reinterpret_cast<uint32_t>(&record));
    CHECK(std::string(font().lfFaceName) == longFace);
    record.face = nullptr;
    Set(A, Label1, Prop::Font, reinterpret_cast<uint32_t>(&record));
    CHECK(std::string(font().lfFaceName) == "宋体");

    Set(A, Label1, Prop::Font, static_cast<uint32_t>(-10), 0);
    CHECK(font().lfEscapement == 3590);
    Set(A, Label1, Prop::Font, 1, 1);
    CHECK(Get(A, Label1, Prop::Font, 1) == 1);
    Set(A, Label1, Prop::Font, 20, 5);
    CHECK(font().lfHeight == -MulDiv(20, dpi, 72));
    CHECK(Get(A, Label1, Prop::Font, 5) == 20);
    CHECK(std::string(font().lfFaceName) == "宋体"); // the other parts stay
    // Part 6 alone keeps 1 to 31 bytes (the record form only below 31).
    longFace.assign(31, 'b');
    Set(A, Label1, Prop::Font, reinterpret_cast<uint32_t>(longFace.c_str()), 6);
    CHECK(std::string(font().lfFaceName) == longFace);
    longFace.push_back('b');
    Set(A, Label1, Prop::Font, reinterpret_cast<uint32_t>(longFace.c_str()), 6);
    CHECK(std::string(font().lfFaceName) == "宋体");
    Set(A, Label1, Prop::Font, reinterpret_cast<uint32_t>(""), 6);
    CHECK(std::string(font().lfFaceName) == "宋体");

    // Without a font of its own the unit's current font is the default GUI font.
    p->font.clear();
    LOGFONTA gui{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    CHECK(TakeText(Get(A, Label1, Prop::Font, 6)) == gui.lfFaceName);
    Set(A, Label1, Prop::Font, 1, 2);
    CHECK(font().lfItalic == 1);
    CHECK(font().lfHeight == gui.lfHeight);
    CHECK(std::string(font().lfFaceName) == gui.lfFaceName);
}

TEST_CASE("Notify 4 and 5 convert an object's properties by the kind they are given") {
    LoadA();
    st::UnitBase* object = Object(A, Label1);
    testunits::TestProperties* p = testunits::PropertiesOf(object);
    uint64_t out = 0;
    CHECK(st::Services.Notify(st::NotifyCode::GetObjectProperty, testunits::StaticType, object,
                              Prop::Text - 8, st::PropertyKind::Text, &out) == 1);
    CHECK(static_cast<uint32_t>(out) != reinterpret_cast<uint32_t>(p->text.c_str()));
    CHECK(TakeText(static_cast<uint32_t>(out)) == "一号");
    uint32_t value[2] = {5, 0};
    CHECK(st::Services.Notify(st::NotifyCode::SetObjectProperty, testunits::StaticType, object,
                              Prop::Logical - 8, st::PropertyKind::Logical, value) == 1);
    CHECK(p->logical == 1);
    value[0] = 0;
    CHECK(st::Services.Notify(st::NotifyCode::SetObjectProperty, testunits::StaticType, object,
                              Prop::Text - 8, st::PropertyKind::Text, value) == 1);
    CHECK(log.lastSet[0] == reinterpret_cast<uint32_t>(st::EmptyText));
    CHECK(st::Services.Notify(st::NotifyCode::GetObjectProperty, testunits::StaticType, object, 40,
                              st::PropertyKind::Integer, &out) == 0);
    CHECK(st::Services.Notify(st::NotifyCode::GetObjectProperty, 0x00029999, object, 0,
                              st::PropertyKind::Integer, &out) == 0);
}

TEST_CASE("a property that needs a new control rebuilds the unit from its record") {
    LoadA();
    Set(A, Label1, Prop::Number, 4321);
    st::UnitBase* before = Object(A, Label1);
    HWND old = before->hwnd;
    log.Clear();
    trace.clear();
    Set(A, Label1, Prop::Style, 9);
    st::UnitBase* after = Object(A, Label1);
    REQUIRE(after != nullptr);
    CHECK_FALSE(IsWindow(old));
    CHECK(after->hwnd != old);
    testunits::TestProperties* p = testunits::PropertiesOf(after);
    CHECK(p->style == 9);     // taken from the unit's saved block
    CHECK(p->number == 4321); // the rest too
    REQUIRE(log.creations.size() == 1);
    CHECK(log.creations[0].controlId == 140);
    CHECK(log.creations[0].raised == 0); // no handler while rebuilding
    CHECK(GetDlgCtrlID(after->hwnd) == 140);
    CHECK(IsWindowVisible(after->hwnd));
    CHECK(GetWindow(Handle(A, 0), GW_CHILD) == after->hwnd); // back in its place at the top
    CHECK(trace.empty());
    CHECK(st::Runtime().errorDepth == 0);
}

TEST_CASE("events: handlers, results, missing bindings and the event-source chain") {
    LoadA();
    trace.clear();
    st::EventRecord r = Event(Label1, kResultEvent, {2, 3});
    CHECK(Raise(r) == 1);
    CHECK(r.hasResult == 1);
    CHECK(r.result == 5);

    for (int32_t e : {kNoHandlerEvent, kUnboundEvent}) {
        CAPTURE(e);
        st::EventRecord none = Event(Label1, e, {1});
        CHECK(Raise(none) == 0);
        CHECK(none.hasResult == 0xAAAAAAAA);
        CHECK(none.result == 0xBBBBBBBB);
    }

    // 标签3 uses 标签1's bindings, not its own.
    trace.clear();
    st::EventRecord viaSource = Event(Label3, kResultEvent, {10, 20});
    CHECK(Raise(viaSource) == 1);
    CHECK(viaSource.result == 30);
    CHECK(trace == std::vector<std::string>{"result"});

    // Only the given number of words reaches the handler.
    st::EventRecord plain = Event(Label1, kPlainEvent, {1, 2, 3});
    plain.args[3] = 44;
    plain.args[4] = 55;
    CHECK(Raise(plain) == 1);
    CHECK(received[0] == 1);
    CHECK(received[2] == 3);
    CHECK(received[3] == 0);
    CHECK(received[4] == 0);
    CHECK(plain.hasResult == 0xAAAAAAAA); // OnPlain reports nothing

    // Unit 0 is the window itself; the event source is set only while a handler runs.
    trace.clear();
    st::EventRecord window = Event(0, 0, {});
    CHECK(Raise(window) == 1);
    CHECK(trace == std::vector<std::string>{"A0"});
    CHECK(st::Runtime().eventWindow == 0);

    // While the error depth is up nothing is dispatched.
    trace.clear();
    InterlockedIncrement(&st::Runtime().errorDepth);
    st::EventRecord blocked = Event(Label1, kResultEvent, {1, 1});
    CHECK(Raise(blocked) == 0);
    InterlockedDecrement(&st::Runtime().errorDepth);
    CHECK(trace.empty());
    CHECK(blocked.hasResult == 0xAAAAAAAA);
}

TEST_CASE("typed events: each argument passed by its flags and type") {
    LoadA();
    st::TypedEventRecord r{};
    r.window = A;
    r.unit = Label1;
    r.event = kTypedEvent;
    const st::TypedArg args[] = {
        {0x1FF, 7, st::TypeTag::Byte, 0},           // first byte: 0xFF
        {0x18001, 7, st::TypeTag::Short, 0},        // sign-extended 16 bits
        {0xAAAA, 0xBBBB, st::TypeTag::Double, 0},   // both words
        {0xCCCC, 0xDDDD, st::TypeTag::Double, 1},   // a reference: first word only
        {0x1111, 0x2222, st::TypeTag::Int, 2},      // flag bit 1: both words
        {0x3333, 0x4444, st::UnitType::Menu, 0},    // the menu type: both words
        {0x5555, 0x6666, st::TypeTag::Text, 0},     // anything else: first word
        {0x7777, 0x8888, st::TypeTag::DateTime, 0}, // both words
    };
    r.argCount = 8;
    std::memcpy(r.args, args, sizeof args);
    REQUIRE(st::RuntimeCallback(st::CallbackCode::RaiseTypedEvent, reinterpret_cast<uint32_t>(&r),
                                0) == 1);
    const uint32_t expected[12] = {0xFF,   0xFFFF8001, 0xAAAA, 0xBBBB, 0xCCCC, 0x1111,
                                   0x2222, 0x3333,     0x4444, 0x5555, 0x7777, 0x8888};
    for (int i = 0; i < 12; ++i) {
        CAPTURE(i);
        CHECK(received[i] == expected[i]);
    }
    CHECK(r.hasResult == 1);
    CHECK(r.result[0] == 0x11111111);
    CHECK(r.result[1] == 0x22222222);
}

TEST_CASE("value to integer by type tag") {
    testing::StartRuntimeOnce();
    auto convert = [](uint32_t low, uint32_t high, uint32_t type) {
        st::TypedArg a{low, high, type, 0};
        return static_cast<int32_t>(st::RuntimeCallback(st::CallbackCode::ValueToInteger,
                                                        reinterpret_cast<uint32_t>(&a), 0));
    };
    auto f = [](float v) {
        uint32_t w;
        std::memcpy(&w, &v, 4);
        return w;
    };
    auto d = [](double v, int word) {
        uint32_t w[2];
        std::memcpy(w, &v, 8);
        return w[word];
    };
    CHECK(convert(0x1FF, 0, st::TypeTag::Byte) == 255);
    CHECK(convert(0x18001, 0, st::TypeTag::Short) == -32767);
    CHECK(convert(0xFFFFFFFE, 0, st::TypeTag::Int) == -2);
    CHECK(convert(5, 9, st::TypeTag::Long) == 5);
    CHECK(convert(f(3.9f), 0, st::TypeTag::Float) == 3);
    CHECK(convert(f(-3.9f), 0, st::TypeTag::Float) == -3);
    CHECK(convert(d(-2.5, 0), d(-2.5, 1), st::TypeTag::Double) == -2);
    CHECK(convert(d(1e10, 0), d(1e10, 1), st::TypeTag::Double) == INT32_MIN);
}

TEST_CASE("runtime requests: objects, handles, counts, type records, the key table") {
    LoadA();
    auto call = [](int32_t code, uint32_t a = 0, uint32_t b = 0) {
        return st::RuntimeCallback(code, a, b);
    };
    st::UnitBase* label = Object(A, Label1);
    REQUIRE(label != nullptr);
    CHECK(call(st::CallbackCode::GetUnitObject, A, Label1) == reinterpret_cast<uint32_t>(label));
    CHECK(call(st::CallbackCode::UnitWindowHandle, reinterpret_cast<uint32_t>(label)) ==
          reinterpret_cast<uint32_t>(label->hwnd));
    CHECK(call(st::CallbackCode::FindUnitObject, B, BButton) == 0);
    CHECK(call(st::CallbackCode::FindUnitObject, A, 0x16019999) == 0);
    CHECK(call(st::CallbackCode::LoadedWindowCount) == 1);
    CHECK(call(st::CallbackCode::MessageWindow) ==
          reinterpret_cast<uint32_t>(st::Runtime().messageWindow));
    auto* type = reinterpret_cast<const st::TypeRecord*>(
        call(st::CallbackCode::TypeRecordOf, testunits::StaticType));
    REQUIRE(type != nullptr);
    CHECK(std::string(type->englishName) == "TestStatic");

    CHECK(static_cast<int32_t>(call(st::CallbackCode::KeyLookup, 77)) == -1);
    call(st::CallbackCode::KeyStore, 77, 5);
    call(st::CallbackCode::KeyStore, 77, 9); // a present key keeps its value
    CHECK(call(st::CallbackCode::KeyLookup, 77) == 5);
    CHECK(call(st::CallbackCode::KeyRemove, 77) == 1);
    CHECK(call(st::CallbackCode::KeyRemove, 77) == 0);
}

TEST_CASE("pre-translation reaches the window's own unit; idle events per idle period") {
    LoadA();
    st::RuntimeState& rt = st::Runtime();
    st::ProcessPendingMessages();
    PostMessageA(Handle(A, Label1), testunits::kSwallowed, 0, 0);
    st::ProcessPendingMessages();
    CHECK(log.swallowed == 1);
    CHECK(log.swallowedTarget == Handle(A, Label1));

    trace.clear();
    idleAnswers = 2;
    CHECK(rt.OnIdle(0));
    CHECK(rt.OnIdle(1));
    CHECK(trace.empty()); // the framework's own passes first
    CHECK(rt.OnIdle(2));
    CHECK(rt.OnIdle(3));
    CHECK_FALSE(rt.OnIdle(4)); // answered false: not called again in this period
    CHECK_FALSE(rt.OnIdle(5));
    CHECK(trace.size() == 3);
    rt.OnIdle(0);
    rt.OnIdle(1);
    rt.OnIdle(2);
    CHECK(trace.size() == 4); // a new period asks again
}

TEST_CASE("shut-down destroys every live window and empties the registry") {
    LoadA();
    REQUIRE(R().LoadWindow(E, false, false, nullptr));
    HWND a = Handle(A, 0), e = Handle(E, 0);
    R().DestroyAll();
    CHECK_FALSE(IsWindow(a));
    CHECK_FALSE(IsWindow(e));
    CHECK(R().WindowCount() == 0);
    CHECK_FALSE(R().AnyWindowAlive());
}

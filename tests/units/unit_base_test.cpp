// The unit base and the window unit's parts that need no window registry:
// property blocks and their versions, fonts, colours, shapes, pictures and
// icons.
#include <doctest.h>

#include <cstring>

#include "picture_files.h"
#include "runtime_harness.h"
#include "st/bmp_decoder.h"
#include "st/window_shapes.h"
#include "st/window_unit.h"

using st::WindowProperties;

namespace {

constexpr uint32_t kWindow = 0x52010001;

WindowProperties Changed() {
    WindowProperties p;
    p.Reset();
    p.caption = "标题";
    p.border = 5;
    p.background = 0x00123456;
    p.picture = {1, 2, 3};
    p.layout = 3;
    p.music = {9};
    p.musicMode = 2;
    p.controlBox = 0;
    p.maximizeBox = p.minimizeBox = 1;
    p.position = 2;
    p.movable = 0;
    p.icon = {7, 7};
    p.enterMovesFocus = 1;
    p.escCloses = 0;
    p.f1Help = 1;
    p.helpFile = "help.hlp";
    p.helpTopic = 42;
    p.inTaskbar = 0;
    p.dragMoves = 1;
    p.shape = 12;
    p.topmost = 1;
    p.titleStaysActive = 1;
    p.className = "MyClass";
    return p;
}

bool Same(const WindowProperties& a, const WindowProperties& b) {
    return a.caption == b.caption && a.border == b.border && a.background == b.background &&
           a.picture == b.picture && a.layout == b.layout && a.music == b.music &&
           a.musicMode == b.musicMode && a.controlBox == b.controlBox &&
           a.maximizeBox == b.maximizeBox && a.minimizeBox == b.minimizeBox &&
           a.position == b.position && a.movable == b.movable && a.icon == b.icon &&
           a.enterMovesFocus == b.enterMovesFocus && a.escCloses == b.escCloses &&
           a.f1Help == b.f1Help && a.helpFile == b.helpFile && a.helpTopic == b.helpTopic &&
           a.inTaskbar == b.inTaskbar && a.dragMoves == b.dragMoves && a.shape == b.shape &&
           a.topmost == b.topmost && a.titleStaysActive == b.titleStaysActive &&
           a.className == b.className;
}

// A window block of an older version, written field by field as stored.
std::vector<uint8_t> OldBlock(int32_t version) {
    st::PropertyWriter w;
    w.I32(version);
    for (int32_t v : {4, 0, 0x000000FF, 1, 1, 0, 0, 1, 1, 0, 0, 0, 5})
        w.I32(v); // border .. help topic
    if (version >= 2) w.I32(0);
    if (version >= 3) w.I32(0), w.I32(4);
    if (version >= 4) w.I32(0);
    if (version >= 5) w.I32(0);
    if (version >= 6) w.Text("");
    w.Bytes({});
    w.Bytes({1, 2, 3, 4});
    w.Bytes({});
    w.Text("旧窗口");
    w.Text("");
    return w.Take();
}

COLORREF PixelAfterPaint(st::WindowUnit& window, int x, int y) {
    RECT client;
    GetClientRect(window.hwnd, &client);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    window.PaintBackground(dc, client);
    COLORREF pixel = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixel;
}

using testpictures::Bitmap24;

// A plain window with one unit 0x16010001 of that type, loaded hidden.
st::WindowUnit* LoadWithUnit(harness::Runtime& rt, uint32_t type, const char* caption) {
    st::WindowDescription form = harness::PlainWindow(kWindow);
    st::UnitDescription& unit = form.Add(0x16010001, type, "组件");
    unit.SetGeometry(5, 5, 80, 24).flags = st::UnitFlag::Visible | st::UnitFlag::TabStop;
    unit.properties = testblocks::CaptionBlock(type, caption);
    rt.AddWindow(form);
    return rt.Load(kWindow, false);
}

} // namespace

TEST_CASE("The window's property block keeps every field, in the stored order") {
    WindowProperties p = Changed();
    std::vector<uint8_t> block = st::WritePropertyBlock(p);

    // The stored order, read independently of the unit's own routine.
    st::PropertyReader r(block.data(), static_cast<int32_t>(block.size()));
    CHECK(r.I32() == 6);
    const int32_t ints[] = {5, 3, 0x00123456, 1, 1, 0, 2, 0, 2, 1, 0, 1, 42, 0, 1, 12, 1, 1};
    for (int32_t v : ints)
        CHECK(r.I32() == v);
    CHECK(r.Text() == "MyClass");
    CHECK(r.Bytes() == std::vector<uint8_t>{1, 2, 3});
    CHECK(r.Bytes() == std::vector<uint8_t>{7, 7});
    CHECK(r.Bytes() == std::vector<uint8_t>{9});
    CHECK(r.Text() == "标题");
    CHECK(r.Text() == "help.hlp");
    CHECK_FALSE(r.failed());
    CHECK(r.position() == block.size());

    WindowProperties back;
    REQUIRE(st::ReadPropertyBlock(back, block.data(), static_cast<int32_t>(block.size())));
    CHECK(Same(back, p));
}

TEST_CASE("Block versions: older ones keep the later defaults, newer and short ones fail") {
    WindowProperties p;
    SUBCASE("version 1 has no taskbar, drag, shape, topmost, title or class fields") {
        std::vector<uint8_t> b = OldBlock(1);
        REQUIRE(st::ReadPropertyBlock(p, b.data(), static_cast<int32_t>(b.size())));
        CHECK(p.border == 4);
        CHECK(p.background == 0x000000FF);
        CHECK(p.helpTopic == 5);
        CHECK(p.inTaskbar == 1); // defaults
        CHECK(p.shape == 0);
        CHECK(p.className.empty());
        CHECK(p.icon == std::vector<uint8_t>{1, 2, 3, 4}); // fields after them still read
        CHECK(p.caption == "旧窗口");
    }
    SUBCASE("versions 0 to 6 are all read") {
        for (int32_t v = 0; v <= 6; ++v) {
            std::vector<uint8_t> b = OldBlock(v);
            CHECK(st::ReadPropertyBlock(p, b.data(), static_cast<int32_t>(b.size())));
            CHECK(p.caption == "旧窗口");
            CHECK(p.shape == (v >= 3 ? 4 : 0));
        }
    }
    SUBCASE("version 7 and negative versions are refused") {
        std::vector<uint8_t> b = OldBlock(6);
        b[0] = 7;
        CHECK_FALSE(st::ReadPropertyBlock(p, b.data(), static_cast<int32_t>(b.size())));
        b[0] = b[1] = b[2] = b[3] = 0xFF;
        CHECK_FALSE(st::ReadPropertyBlock(p, b.data(), static_cast<int32_t>(b.size())));
    }
    SUBCASE("a block that ends early is refused") {
        std::vector<uint8_t> b = OldBlock(6);
        CHECK_FALSE(st::ReadPropertyBlock(p, b.data(), static_cast<int32_t>(b.size() - 1)));
        CHECK_FALSE(st::ReadPropertyBlock(p, b.data(), 3));
    }
    SUBCASE("an empty block leaves the defaults") {
        p = Changed();
        CHECK(st::ReadPropertyBlock(p, nullptr, 0));
        CHECK(p.border == 2);
        CHECK(p.background == st::DefaultColour);
        CHECK(p.layout == 1);
        CHECK(p.position == 1);
        CHECK(p.escCloses == 1);
        CHECK(p.inTaskbar == 1);
        CHECK(p.controlBox == 1);
    }
    SUBCASE("choices out of range are clamped") {
        std::vector<uint8_t> b = OldBlock(3);
        std::memcpy(b.data() + 4, "\x63\0\0\0", 4); // border 99
        REQUIRE(st::ReadPropertyBlock(p, b.data(), static_cast<int32_t>(b.size())));
        CHECK(p.border == 6);
    }
    SUBCASE("the window unit refuses to be created from a newer block") {
        harness::Runtime rt;
        std::vector<uint8_t> b = OldBlock(6);
        b[0] = 7;
        auto create = st::UnitEntryOf<st::CreateUnitFn>(&st::CoreLibrary.types[0], 1);
        REQUIRE(static_cast<bool>(create));
        CHECK(create(b.data(), static_cast<int32_t>(b.size()), 0, nullptr, 0, nullptr, 0, 0, 100,
                     100, kWindow, 0, nullptr, 0) == nullptr);
    }
}

TEST_CASE("The core library's window type record") {
    const st::TypeRecord& t = st::CoreLibrary.types[0];
    CHECK(std::strcmp(t.name, "窗口") == 0);
    CHECK(std::strcmp(t.englishName, "window") == 0);
    CHECK(t.flags == 0x800000D0);
    REQUIRE(t.propertyCount == 32);
    auto* entries = static_cast<const st::PropertyEntry*>(t.properties);
    for (int i = 0; i < 8; ++i)
        CHECK(entries[i].state == 0xE000);
    for (int i = 8; i < 32; ++i)
        CHECK((entries[i].state & 0x8000) != 0);
    CHECK(entries[8].kind == st::PropertyKind::Text);
    CHECK(entries[10].kind == st::PropertyKind::ColourOrDefault);
    CHECK(entries[12].state == 0x8001);
    CHECK(entries[20].kind == st::PropertyKind::Icon);
    CHECK(entries[24].kind == st::PropertyKind::FileName);
    CHECK(entries[31].kind == st::PropertyKind::Text);
    for (int e : {1, 4, 5, 6, 7, 9})
        CHECK(t.unitInterface(e) != nullptr);
    for (int e : {0, 2, 3, 8, 10, 11})
        CHECK(t.unitInterface(e) == nullptr);
}

TEST_CASE("Global blocks: movable, unlocked, exactly as long as their bytes") {
    auto check = [](HGLOBAL h, const std::vector<uint8_t>& expected) {
        REQUIRE(h);
        CHECK((GlobalFlags(h) & GMEM_LOCKCOUNT) == 0);
        CHECK(GlobalSize(h) == expected.size());
        void* p = GlobalLock(h);
        REQUIRE(p);
        CHECK(GlobalHandle(p) == h);
        CHECK(std::memcmp(p, expected.data(), expected.size()) == 0);
        GlobalUnlock(h);
        GlobalFree(h);
    };
    auto getIcon = st::UnitEntryOf<st::GetWindowIconFn>(&st::CoreLibrary.types[0], 7);
    REQUIRE(static_cast<bool>(getIcon));
    WindowProperties p = Changed();
    p.icon.assign(777, 0x5A);
    std::vector<uint8_t> block = st::WritePropertyBlock(p);
    uint32_t length = 0;
    HGLOBAL icon = getIcon(block.data(), static_cast<int32_t>(block.size()), &length);
    CHECK(length == 777);
    check(icon, p.icon);

    p.icon.clear();
    block = st::WritePropertyBlock(p);
    CHECK(getIcon(block.data(), static_cast<int32_t>(block.size()), &length) == nullptr);
    CHECK(length == 0);

    harness::Runtime rt;
    rt.AddWindow(harness::PlainWindow(kWindow, Changed()));
    st::WindowUnit* w = rt.Load(kWindow, false);
    REQUIRE(w);
    HGLOBAL saved = st::SaveUnitProperties(w, &length);
    WindowProperties now = w->props;
    std::vector<uint8_t> expected = st::WritePropertyBlock(now);
    CHECK(length == expected.size());
    check(saved, expected);
}

TEST_CASE("ListBlockTexts reports the window's texts in block order and writes the block again") {
    auto list = st::UnitEntryOf<st::ListBlockTextsFn>(&st::CoreLibrary.types[0], 9);
    REQUIRE(static_cast<bool>(list));
    std::vector<uint8_t> old = OldBlock(1); // written again as version 6
    std::vector<std::string> texts;
    uint32_t length = 0;
    HGLOBAL block = list(
        old.data(), static_cast<int32_t>(old.size()),
        [](void* argument, const char* text, int32_t isFont) {
            static_cast<std::vector<std::string>*>(argument)->push_back(text);
            CHECK(isFont == 0);
        },
        &texts, &length);
    REQUIRE(block);
    CHECK(texts == std::vector<std::string>{"", "旧窗口", ""});
    WindowProperties p;
    auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    REQUIRE(st::ReadPropertyBlock(p, bytes, static_cast<int32_t>(length)));
    CHECK(bytes[0] == 6);
    GlobalUnlock(block);
    GlobalFree(block);
    CHECK(p.caption == "旧窗口");
    CHECK(p.border == 4);
    std::vector<uint8_t> newer = OldBlock(6);
    newer[0] = 9;
    CHECK(list(newer.data(), static_cast<int32_t>(newer.size()), nullptr, nullptr, &length) ==
          nullptr);
}

TEST_CASE("Fonts: exactly 60 bytes make a font with our overrides, anything else the GUI font") {
    harness::Runtime rt;
    REQUIRE(LoadWithUnit(rt, st::UnitType::Button, "按钮"));
    auto* button = dynamic_cast<st::Unit*>(rt.Object(kWindow, 0x16010001));
    REQUIRE(button);
    const HGDIOBJ gui = GetStockObject(DEFAULT_GUI_FONT);

    LOGFONTA wanted{};
    wanted.lfHeight = -19;
    wanted.lfWeight = 700;
    wanted.lfItalic = 1;
    wanted.lfCharSet = GB2312_CHARSET;
    wanted.lfOutPrecision = 3;
    wanted.lfQuality = 4;
    wanted.lfPitchAndFamily = 0x31;
    std::strcpy(wanted.lfFaceName, "宋体");
    std::vector<uint8_t> d(reinterpret_cast<uint8_t*>(&wanted),
                           reinterpret_cast<uint8_t*>(&wanted) + sizeof wanted);
    button->ApplyFont(d);
    HGDIOBJ made = reinterpret_cast<HGDIOBJ>(SendMessageA(button->hwnd, WM_GETFONT, 0, 0));
    REQUIRE(made);
    CHECK(made != gui);
    LOGFONTA got{};
    REQUIRE(GetObjectA(made, sizeof got, &got) == sizeof got);
    CHECK(got.lfHeight == -19);
    CHECK(got.lfWeight == 700);
    CHECK(got.lfItalic == 1);
    CHECK(got.lfCharSet == DEFAULT_CHARSET);
    CHECK(got.lfOutPrecision == 0);
    CHECK(got.lfClipPrecision == 0);
    CHECK(got.lfQuality == PROOF_QUALITY);
    CHECK(got.lfPitchAndFamily == 0);
    CHECK(std::strcmp(got.lfFaceName, "宋体") == 0);

    for (size_t size : {59u, 61u, 0u}) {
        CAPTURE(size);
        std::vector<uint8_t> odd = d;
        odd.resize(size);
        button->ApplyFont(odd);
        CHECK(reinterpret_cast<HGDIOBJ>(SendMessageA(button->hwnd, WM_GETFONT, 0, 0)) == gui);
        CHECK(button->font == nullptr); // the made font was given back
    }
    // A face name without its end is cut, not read past.
    std::memset(wanted.lfFaceName, 'A', sizeof wanted.lfFaceName);
    std::memcpy(d.data(), &wanted, sizeof wanted);
    HFONT cut = st::MakeUnitFont(d);
    CHECK(cut != nullptr);
    DeleteObject(cut);
}

TEST_CASE("Border styles replace the frame bits") {
    harness::Runtime rt;
    REQUIRE(LoadWithUnit(rt, st::UnitType::CheckBox, "选择框"));
    HWND label = rt.Handle(kWindow, 0x16010001);
    auto ex = [&] { return GetWindowLongA(label, GWL_EXSTYLE); };
    st::ApplyBorderStyle(label, 4);
    CHECK((ex() & (WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME)) ==
          (WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME));
    st::ApplyBorderStyle(label, 3);
    CHECK((ex() & (WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE)) == WS_EX_STATICEDGE);
    st::ApplyBorderStyle(label, 5);
    CHECK((ex() & (WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE)) == 0);
    CHECK((GetWindowLongA(label, GWL_STYLE) & WS_BORDER) != 0);
    st::ApplyBorderStyle(label, 0);
    CHECK((GetWindowLongA(label, GWL_STYLE) & WS_BORDER) == 0);
    // The frame was recomputed: the client area is the whole window again.
    RECT window, client;
    GetWindowRect(label, &window);
    GetClientRect(label, &client);
    CHECK(client.right == window.right - window.left);
}

TEST_CASE("DefaultColour follows the button-face colour, also after it changes") {
    harness::Runtime rt;
    rt.AddWindow(harness::PlainWindow(kWindow));
    st::WindowUnit* w = rt.Load(kWindow, false);
    REQUIRE(w);
    const COLORREF before = GetSysColor(COLOR_BTNFACE);
    CHECK(PixelAfterPaint(*w, 5, 5) == before);

    INT element = COLOR_BTNFACE;
    COLORREF changed = RGB(0x20, 0x90, 0x40);
    REQUIRE(SetSysColors(1, &element, &changed));
    COLORREF seen = PixelAfterPaint(*w, 5, 5);
    SetSysColors(1, &element, &before);
    CHECK(seen == changed);

    uint32_t red = 0x000000FF;
    w->SetProperty(2, &red);
    CHECK(PixelAfterPaint(*w, 5, 5) == RGB(255, 0, 0));
}

TEST_CASE("Window shapes: 26 outlines, the given ones exactly") {
    size_t marks = 0;
    for (size_t i = 0; i < st::WindowShapeTableLength; ++i)
        marks += st::WindowShapeTable[i] == 0xFFFF;
    CHECK(marks == 26);
    for (int32_t s = 4; s < 30; ++s) {
        CAPTURE(s);
        std::vector<POINT> o = st::ShapeOutline(s);
        CHECK(o.size() >= 3);
        CHECK(o.size() <= 28);
        for (POINT p : o)
            CHECK((p.x <= 32767 && p.y <= 32767));
    }
    auto same = [](int32_t shape, std::vector<POINT> expected) {
        std::vector<POINT> o = st::ShapeOutline(shape);
        REQUIRE(o.size() == expected.size());
        for (size_t i = 0; i < o.size(); ++i)
            CHECK((o[i].x == expected[i].x && o[i].y == expected[i].y));
    };
    same(4, {{16383, 0}, {32767, 32767}, {0, 32767}, {16383, 0}});
    same(5, {{0, 0}, {32767, 0}, {16383, 32767}});
    same(10, {{8191, 0}, {24576, 0}, {32767, 16383}, {24576, 32767}, {8191, 32767}, {0, 16383}});
    same(12, {{16383, 0}, {32767, 16383}, {16383, 32767}, {0, 16383}});
    CHECK(st::ShapeOutline(3).empty());
    CHECK(st::ShapeOutline(30).empty());

    // Arrows 20-23 point left, right, up and down: the tip is at that edge's middle.
    auto tip = [](int32_t shape) { return st::ShapeOutline(shape).front(); };
    CHECK((tip(20).x == 0 && tip(20).y == 16384));
    CHECK((tip(21).x == 32767 && tip(21).y == 16384));
    CHECK((tip(22).x == 16384 && tip(22).y == 0));
    CHECK((tip(23).x == 16384 && tip(23).y == 32767));
}

TEST_CASE("Shape regions scale to the window") {
    auto inside = [](int32_t shape, int x, int y) {
        HRGN r = st::MakeShapeRegion(shape, 200, 100);
        REQUIRE(r);
        bool in = PtInRegion(r, x, y);
        DeleteObject(r);
        return in;
    };
    CHECK(st::MakeShapeRegion(0, 200, 100) == nullptr);
    CHECK(inside(1, 100, 50));
    CHECK_FALSE(inside(1, 3, 3));
    CHECK(inside(2, 100, 2));
    CHECK_FALSE(inside(2, 0, 0));    // corner ellipse of 20 x 20
    CHECK_FALSE(inside(3, 100, 50)); // the ring's hole
    CHECK(inside(3, 100, 5));
    CHECK(inside(12, 100, 50)); // diamond
    CHECK_FALSE(inside(12, 10, 10));
    CHECK(inside(12, 190, 50));
    CHECK(inside(4, 100, 95)); // triangle up: wide at the bottom
    CHECK_FALSE(inside(4, 10, 5));

    harness::Runtime rt;
    WindowProperties p;
    p.Reset();
    p.shape = 1;
    rt.AddWindow(harness::PlainWindow(kWindow, p));
    st::WindowUnit* w = rt.Load(kWindow, false);
    REQUIRE(w);
    HRGN r = CreateRectRgn(0, 0, 0, 0);
    CHECK(GetWindowRgn(w->hwnd, r) != ERROR);
    CHECK_FALSE(PtInRegion(r, 1, 1));
    uint32_t none = 0;
    w->SetProperty(20, &none);
    CHECK(GetWindowRgn(w->hwnd, r) == ERROR);
    DeleteObject(r);
}

TEST_CASE("BMP decoding") {
    st::DecodedPicture pic;
    auto colour = [](int32_t x, int32_t y) { return static_cast<uint32_t>(x * 0x10 + y * 0x1000); };
    SUBCASE("24 bits, bottom-up and top-down, rows padded") {
        for (bool topDown : {false, true}) {
            std::vector<uint8_t> b = Bitmap24(3, 2, colour, topDown);
            REQUIRE(st::DecodeBmp(b.data(), b.size(), pic));
            CHECK(pic.width == 3);
            CHECK(pic.height == 2);
            CHECK(pic.pixels[0] == colour(0, 0));
            CHECK(pic.pixels[2] == colour(2, 0));
            CHECK(pic.pixels[5] == colour(2, 1));
        }
    }
    SUBCASE("8-bit and 1-bit palettes") {
        st::PropertyWriter f;
        f.I16(0x4D42), f.I32(0), f.I32(0), f.I32(54 + 8), f.I32(40), f.I32(2), f.I32(1);
        f.I16(1), f.I16(1), f.I32(0), f.I32(0), f.I32(0), f.I32(0), f.I32(2), f.I32(0);
        f.I32(0x00FF0000), f.I32(0x0000FF00); // palette: red, green
        f.I32(0x40);                          // one row: pixel 0 = 0, pixel 1 = 1
        std::vector<uint8_t> b = f.Take();
        REQUIRE(st::DecodeBmp(b.data(), b.size(), pic));
        CHECK(pic.pixels[0] == 0xFF0000);
        CHECK(pic.pixels[1] == 0x00FF00);
        b[28] = 8; // now 8 bits: indexes 0x40 and 0 -> beyond the palette is black
        REQUIRE(st::DecodeBmp(b.data(), b.size(), pic));
        CHECK(pic.pixels[0] == 0);
        CHECK(pic.pixels[1] == 0xFF0000);
    }
    SUBCASE("16 and 32 bits with bit fields") {
        st::PropertyWriter f;
        f.I16(0x4D42), f.I32(0), f.I32(0), f.I32(54 + 12), f.I32(40), f.I32(1), f.I32(1);
        f.I16(1), f.I16(16), f.I32(3), f.I32(0), f.I32(0), f.I32(0), f.I32(0), f.I32(0);
        f.I32(0xF800), f.I32(0x07E0), f.I32(0x001F); // 5-6-5
        f.I32(0xF800);                               // pure red
        std::vector<uint8_t> b = f.Take();
        REQUIRE(st::DecodeBmp(b.data(), b.size(), pic));
        CHECK(pic.pixels[0] == 0xFF0000);
        b[28] = 32;
        // Red in the top byte, then green, then blue.
        std::vector<uint8_t> masks = {0, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0};
        std::memcpy(b.data() + 54, masks.data(), 12);
        b.resize(66);
        for (uint8_t v : {0x00, 0x80, 0x00, 0x11})
            b.push_back(v);
        REQUIRE(st::DecodeBmp(b.data(), b.size(), pic));
        CHECK(pic.pixels[0] == 0x110080);
    }
    SUBCASE("what cannot be decoded") {
        std::vector<uint8_t> good = Bitmap24(4, 4, colour, false);
        std::vector<uint8_t> b = good;
        b.pop_back();
        CHECK_FALSE(st::DecodeBmp(b.data(), b.size(), pic)); // pixel data short
        CHECK(pic.pixels.empty());
        b = good;
        b[30] = 1; // run-length
        CHECK_FALSE(st::DecodeBmp(b.data(), b.size(), pic));
        b = good;
        std::memcpy(b.data() + 18, "\xFF\xFF\x00\x00\xFF\xFF\x00\x00", 8); // 65535 x 65535
        CHECK_FALSE(st::DecodeBmp(b.data(), b.size(), pic));
        b = good;
        std::memcpy(b.data() + 10, "\xFF\xFF\xFF\x7F", 4); // pixels far past the end
        CHECK_FALSE(st::DecodeBmp(b.data(), b.size(), pic));
        b = good;
        std::memcpy(b.data() + 14, "\xFF\xFF\xFF\xFF", 4); // header longer than the file
        CHECK_FALSE(st::DecodeBmp(b.data(), b.size(), pic));
        b = good;
        b[0] = 'X';
        CHECK_FALSE(st::DecodeBmp(b.data(), b.size(), pic));
        CHECK_FALSE(st::DecodeBmp(good.data(), 20, pic));
        CHECK_FALSE(st::DecodeBmp(nullptr, 0, pic));
    }
}

TEST_CASE("Background pictures by layout; undecodable bytes are ignored") {
    CHECK(st::FitPicture(50, 40, 200, 100).left == 75); // fits: own size, centred
    CHECK(st::FitPicture(50, 40, 200, 100).bottom - st::FitPicture(50, 40, 200, 100).top == 40);
    RECT big = st::FitPicture(400, 100, 200, 100); // width ratio 0.5 is smaller
    CHECK(big.right - big.left == 200);
    CHECK(big.bottom - big.top == 50);
    CHECK(big.top == 25);
    RECT tall = st::FitPicture(30, 300, 200, 100);
    CHECK(tall.bottom - tall.top == 100);
    CHECK(tall.right - tall.left == 10);

    harness::Runtime rt;
    WindowProperties p;
    p.Reset();
    p.background = 0x00FF0000; // blue
    p.picture = Bitmap24(
        10, 10, [](int32_t, int32_t) { return 0x00FF00u; }, false);
    p.layout = 0;
    p.border = 0;
    rt.AddWindow(harness::PlainWindow(kWindow, p, 100, 80));
    st::WindowUnit* w = rt.Load(kWindow, false);
    REQUIRE(w);
    CHECK(PixelAfterPaint(*w, 2, 2) == RGB(0, 255, 0));
    CHECK(PixelAfterPaint(*w, 50, 50) == RGB(0, 0, 255));

    uint32_t layout = 2; // small picture: centred, never enlarged
    w->SetProperty(4, &layout);
    CHECK(PixelAfterPaint(*w, 50, 40) == RGB(0, 255, 0));
    CHECK(PixelAfterPaint(*w, 40, 40) == RGB(0, 0, 255));
    CHECK(PixelAfterPaint(*w, 2, 2) == RGB(0, 0, 255));

    layout = 1; // tiles everywhere
    w->SetProperty(4, &layout);
    CHECK(PixelAfterPaint(*w, 95, 75) == RGB(0, 255, 0));

    std::vector<uint8_t> junk = {'B', 'M', 1, 2, 3};
    uint32_t value[2] = {reinterpret_cast<uint32_t>(junk.data()), 5};
    w->SetProperty(3, value);
    CHECK(PixelAfterPaint(*w, 2, 2) == RGB(0, 0, 255));
}

TEST_CASE("Icons: property 20 when it makes one, else the program's default icons") {
    harness::Runtime rt;
    REQUIRE(rt.DefaultIcon(true)); // DEFAULT_ICON is in this image
    REQUIRE(rt.DefaultIcon(false));
    rt.AddWindow(harness::PlainWindow(kWindow));
    st::WindowUnit* w = rt.Load(kWindow, false);
    REQUIRE(w);
    auto icon = [&](WPARAM which) {
        return reinterpret_cast<HICON>(SendMessageA(w->hwnd, WM_GETICON, which, 0));
    };
    CHECK(icon(ICON_BIG) == rt.DefaultIcon(true));
    CHECK(icon(ICON_SMALL) == rt.DefaultIcon(false));

    // An icon file of our own: the default icon's own bytes, read back from the resource.
    HRSRC group = FindResourceA(nullptr, "DEFAULT_ICON", reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
    REQUIRE(group);
    auto* dir = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, group)));
    uint16_t count;
    std::memcpy(&count, dir + 4, 2);
    std::vector<uint8_t> file(6 + 16 * count);
    std::memcpy(file.data(), dir, 6);
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* e = dir + 6 + 14 * i; // resource entries end in a 16-bit id
        uint16_t id;
        std::memcpy(&id, e + 12, 2);
        HRSRC image =
            FindResourceA(nullptr, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_ICON));
        REQUIRE(image);
        uint32_t size = SizeofResource(nullptr, image), offset = static_cast<uint32_t>(file.size());
        auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, image)));
        std::memcpy(file.data() + 6 + 16 * i, e, 12);
        std::memcpy(file.data() + 6 + 16 * i + 12, &offset, 4);
        file.insert(file.end(), bytes, bytes + size);
    }
    uint32_t value[2] = {reinterpret_cast<uint32_t>(file.data()),
                         static_cast<uint32_t>(file.size())};
    w->SetProperty(12, value);
    HICON own = icon(ICON_BIG);
    CHECK(own != nullptr);
    CHECK(own != rt.DefaultIcon(true));
    ICONINFO info{};
    REQUIRE(GetIconInfo(own, &info));
    BITMAP bm{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    CHECK(bm.bmWidth == GetSystemMetrics(SM_CXICON));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    std::vector<uint8_t> junk = {0, 0, 1, 0, 1, 0, 32, 32};
    value[0] = reinterpret_cast<uint32_t>(junk.data());
    value[1] = static_cast<uint32_t>(junk.size());
    w->SetProperty(12, value);
    CHECK(icon(ICON_BIG) == rt.DefaultIcon(true));
}

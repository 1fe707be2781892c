// Buttons and check boxes on the real runtime: defaults, clamped alignments,
// the default-button style (Enter pressing it: the window unit's tests), the
// check state the user gave, and pictures.
#include <doctest.h>

#include <cstring>

#include "child_process.h"
#include "controls_windows.h"
#include "picture_files.h"
#include "st/units.h"

using namespace controls;

namespace {

DWORD Style(uint32_t unit) {
    return static_cast<DWORD>(GetWindowLongA(Handle(unit), GWL_STYLE));
}

std::string WindowText(uint32_t unit) {
    return testing::WindowText(Handle(unit));
}

int32_t IsDefaultButton(uint32_t unit) {
    const st::TypeRecord* type = reinterpret_cast<const st::TypeRecord*>(static_cast<uintptr_t>(
        st::CallRuntime(st::CallbackCode::TypeRecordOf, st::UnitType::Button)));
    auto entry = st::UnitEntryOf<st::IsDefaultButtonFn>(type, st::UnitEntry::IsDefaultButton);
    REQUIRE(bool(entry));
    return entry(Object(unit));
}

constexpr DWORD kHorizontal = BS_CENTER, kVertical = BS_VCENTER;

std::string FaceOf(HWND control) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    LOGFONTA description{};
    if (font) GetObjectA(font, sizeof description, &description);
    return description.lfFaceName;
}

// A font record naming a face, as application code writes a font property.
void SetFace(uint32_t unit, int32_t index, const char* face) {
    st::FontRecord record{0, 0, 0, 0, 0, 12, const_cast<char*>(face)};
    st::Services.SetProperty(W, unit, index, -1, reinterpret_cast<uintptr_t>(&record), 0);
}

void SetPicture(uint32_t unit, int32_t index, const std::vector<uint8_t>& bytes) {
    void* set = st::ByteSetFromBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
    Set(unit, index, reinterpret_cast<uintptr_t>(set));
    st::FreeMemory(set);
}

} // namespace

TEST_CASE("buttons: an empty block gives the defaults, stored alignments are clamped") {
    TestWindow window;
    REQUIRE(window.hwnd);
    CHECK(WindowText(Plain) == "按钮");
    CHECK((Style(Plain) & kHorizontal) == BS_CENTER);
    CHECK((Style(Plain) & kVertical) == BS_VCENTER);
    CHECK((Style(Plain) & BS_MULTILINE));
    CHECK(IsDefaultButton(Plain) == 0);

    // Stored 5 and -3: right and top.
    CHECK((Style(Default) & kHorizontal) == BS_RIGHT);
    CHECK((Style(Default) & kVertical) == BS_TOP);
    CHECK(Get(Default, 11) == 2);
    CHECK(Get(Default, 12) == 0);
    CHECK(IsDefaultButton(Default) == 1);
    CHECK(GetText(Default, 10) == "确定(&O)");
}

TEST_CASE("buttons: writing type and alignments clamps them and changes the control in place") {
    TestWindow window;
    HWND before = Handle(Plain);
    Set(Plain, 11, 5);
    CHECK((Style(Plain) & kHorizontal) == BS_RIGHT);
    Set(Plain, 11, static_cast<uint32_t>(-3));
    CHECK((Style(Plain) & kHorizontal) == BS_LEFT);
    CHECK(Get(Plain, 11) == 0);
    Set(Plain, 12, 7);
    CHECK((Style(Plain) & kVertical) == BS_BOTTOM);

    Set(Plain, 9, 9); // type above the range: default button
    CHECK(Get(Plain, 9) == 1);
    CHECK(IsDefaultButton(Plain) == 1);
    Set(Plain, 9, static_cast<uint32_t>(-1));
    CHECK(IsDefaultButton(Plain) == 0);

    SetText(Plain, 10, "开始");
    CHECK(WindowText(Plain) == "开始");
    CHECK(Handle(Plain) == before); // none of these rebuilds the control
}

TEST_CASE("buttons: a click raises event 0") {
    TestWindow window;
    SendMessageA(Handle(Plain), BM_CLICK, 0, 0);
    Pump();
    CHECK(seen.plainClicks == 1);
}

TEST_CASE("check boxes: defaults, the stored older block, and the state after a click") {
    TestWindow window;
    CHECK(WindowText(Check) == "选择框");
    CHECK((Style(Check) & kHorizontal) == BS_LEFT);
    CHECK((Style(Check) & kVertical) == BS_VCENTER);
    CHECK((Style(Check) & BS_TYPEMASK) == BS_AUTOCHECKBOX);
    CHECK(Get(Check, 18) == 0);

    // Version 1: no data source or column, everything else as stored.
    CHECK(WindowText(OldCheck) == "旧版");
    CHECK(Get(OldCheck, 18) == 1);
    CHECK((Style(OldCheck) & BS_LEFTTEXT));
    CHECK((Style(OldCheck) & kHorizontal) == BS_RIGHT);
    CHECK(Get(OldCheck, 15) == 0x0000FF);
    CHECK(GetText(OldCheck, 19).empty());

    // The control toggles before event 0; reading answers the control's state.
    SendMessageA(Handle(Check), BM_CLICK, 0, 0);
    Pump();
    CHECK(seen.checkClicks == 1);
    CHECK(seen.checkedInHandler == 1);
    CHECK(Get(Check, 18) == 1);
    SendMessageA(Handle(Check), BM_CLICK, 0, 0);
    Pump();
    CHECK(Get(Check, 18) == 0);

    Set(Check, 18, 1);
    CHECK(SendMessageA(Handle(Check), BM_GETCHECK, 0, 0) == BST_CHECKED);
    Set(Check, 9, 7); // push-button look: any true value is 1
    CHECK((Style(Check) & BS_PUSHLIKE));
    CHECK(Get(Check, 9) == 1);
    Set(Check, 14, 9);
    CHECK((Style(Check) & kVertical) == BS_BOTTOM);
}

TEST_CASE("pictures: recognised from their bytes; a rebuild keeps caption, alignment, font and "
          "check") {
    TestWindow window;
    SetFace(Plain, 13, "Tahoma");
    Set(Plain, 11, 2);
    SetText(Plain, 10, "图");
    HWND before = Handle(Plain);

    SetPicture(Plain, 8, testpictures::Bitmap());
    HWND after = Handle(Plain);
    REQUIRE(after);
    CHECK(after != before); // a new control
    CHECK((Style(Plain) & BS_BITMAP));
    CHECK(SendMessageA(after, BM_GETIMAGE, IMAGE_BITMAP, 0) != 0);
    CHECK(WindowText(Plain) == "图");
    CHECK((Style(Plain) & kHorizontal) == BS_RIGHT);
    CHECK(FaceOf(after) == "Tahoma");

    SetPicture(Plain, 8, testpictures::Icon(false));
    CHECK((Style(Plain) & BS_ICON));
    CHECK(SendMessageA(Handle(Plain), BM_GETIMAGE, IMAGE_ICON, 0) != 0);
    SetPicture(Plain, 8, testpictures::Icon(true)); // a cursor file shows as an icon too
    CHECK((Style(Plain) & BS_ICON));

    // Bytes that decode to nothing leave the caption showing.
    SetPicture(Plain, 8, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    CHECK(!(Style(Plain) & (BS_ICON | BS_BITMAP)));
    CHECK(WindowText(Plain) == "图");
    uint32_t stored = Get(Plain, 8);
    CHECK(st::ByteSetLength(reinterpret_cast<void*>(stored)) == 9);
    st::FreeMemory(reinterpret_cast<void*>(stored));

    // The check box keeps the state the user clicked through its rebuild.
    SendMessageA(Handle(Check), BM_CLICK, 0, 0);
    Pump();
    SetPicture(Check, 8, testpictures::Bitmap());
    CHECK((Style(Check) & BS_BITMAP));
    CHECK(SendMessageA(Handle(Check), BM_GETCHECK, 0, 0) == BST_CHECKED);
}

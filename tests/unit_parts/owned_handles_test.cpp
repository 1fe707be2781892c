// The handles units make live exactly as long as their one owner: pictures
// moved between controls, a unit's font and brush replaced or dropped, and
// objects selected into a DC only for a scope.
#include <doctest.h>

#include <utility>
#include <vector>

#include "picture_files.h"
#include "st/gdi_owned.h"
#include "st/unit_base.h"
#include "st/unit_picture.h"

namespace {

bool IconAlive(HANDLE icon) {
    ICONINFO info{};
    if (!GetIconInfo(static_cast<HICON>(icon), &info)) return false;
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return true;
}

std::vector<uint8_t> FontDescription(const char* face) {
    LOGFONTA font{};
    font.lfHeight = -12;
    lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&font);
    return {bytes, bytes + sizeof font};
}

} // namespace

TEST_CASE("pictures: the handle goes with the last picture that holds it, once") {
    st::UnitPicture first(testpictures::Bitmap());
    REQUIRE(!first.Empty());
    CHECK(first.ImageType() == IMAGE_BITMAP);
    HANDLE bitmap = first.Handle();
    CHECK(GetObjectType(bitmap) == OBJ_BITMAP);
    st::UnitPicture second(std::move(first));
    CHECK(first.Empty());
    CHECK(second.Handle() == bitmap);
    second = st::UnitPicture(testpictures::Icon(false)); // the bitmap is given back
    CHECK(GetObjectType(bitmap) == 0);
    REQUIRE(second.IsIcon());
    HANDLE icon = second.Handle();
    CHECK(IconAlive(icon));
    {
        st::UnitPicture cursor(testpictures::Icon(true));
        REQUIRE(cursor.IsIcon());
        CHECK(cursor.ImageType() == IMAGE_ICON);
        second = std::move(cursor);
    }
    CHECK(!IconAlive(icon));
    HANDLE fromCursor = second.Handle();
    CHECK(IconAlive(fromCursor));
    second = st::UnitPicture();
    CHECK(!IconAlive(fromCursor));
}

TEST_CASE("a unit's font and brush: replaced ones are given back, the last with the unit") {
    auto* unit = new st::Unit; // no window: only the objects it makes
    unit->MakeBrush(0x00FF0000);
    HBRUSH firstBrush = unit->brush.get();
    REQUIRE(firstBrush);
    unit->MakeBrush(st::DefaultColour);
    CHECK(GetObjectType(firstBrush) == 0);
    HBRUSH secondBrush = unit->brush.get();
    CHECK(GetObjectType(secondBrush) == OBJ_BRUSH);

    unit->ApplyFont(FontDescription("Arial"));
    HFONT font = unit->font.get();
    REQUIRE(font);
    unit->ApplyFont({}); // no description: the default font, nothing made
    CHECK(unit->font == nullptr);
    CHECK(GetObjectType(font) == 0);
    unit->ApplyFont(FontDescription("Arial"));
    font = unit->font.get();
    delete unit;
    CHECK(GetObjectType(font) == 0);
    CHECK(GetObjectType(secondBrush) == 0);
}

TEST_CASE("an object selected for a scope is deselected at its end, so it can be deleted") {
    st::WindowDc screen(nullptr);
    REQUIRE(screen);
    HGDIOBJ before = GetCurrentObject(screen.get(), OBJ_BRUSH);
    st::OwnedBrush brush(CreateSolidBrush(RGB(1, 2, 3)));
    {
        st::Selected chosen(screen.get(), brush.get());
        CHECK(GetCurrentObject(screen.get(), OBJ_BRUSH) == brush.get());
    }
    CHECK(GetCurrentObject(screen.get(), OBJ_BRUSH) == before);
    HBRUSH made = brush.get();
    brush.reset();
    CHECK(GetObjectType(made) == 0);
}

// A picture property made into a handle a control can show: icon and cursor
// files become an icon, bitmap files a bitmap. Bytes of any other kind, or
// malformed ones, make nothing. The object owns the handle it made.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace st {

class UnitPicture {
  public:
    UnitPicture() = default;
    explicit UnitPicture(const std::vector<uint8_t>& bytes);
    UnitPicture(const UnitPicture&) = delete;
    UnitPicture& operator=(const UnitPicture&) = delete;
    UnitPicture(UnitPicture&& other) noexcept { *this = static_cast<UnitPicture&&>(other); }
    UnitPicture& operator=(UnitPicture&& other) noexcept;
    ~UnitPicture() { Release(); }

    bool Empty() const { return !icon_ && !bitmap_; }
    bool IsIcon() const { return icon_ != nullptr; }
    // IMAGE_ICON or IMAGE_BITMAP, for BM_SETIMAGE.
    UINT ImageType() const { return icon_ ? IMAGE_ICON : IMAGE_BITMAP; }
    HANDLE Handle() const { return icon_ ? static_cast<HANDLE>(icon_) : bitmap_; }

  private:
    void Release();

    HICON icon_ = nullptr; // icons and cursors alike
    bool cursor_ = false;  // icon_ came from a cursor file
    HBITMAP bitmap_ = nullptr;
};

} // namespace st

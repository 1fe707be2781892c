// A picture property made into a handle a control can show: icon and cursor
// files become an icon, bitmap files a bitmap. Bytes of any other kind, or
// malformed ones, make nothing. The object owns the handle it made.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "st/gdi_owned.h"

namespace st {

class UnitPicture {
  public:
    UnitPicture() = default;
    explicit UnitPicture(const std::vector<uint8_t>& bytes);
    UnitPicture(const UnitPicture&) = delete;
    UnitPicture& operator=(const UnitPicture&) = delete;
    UnitPicture(UnitPicture&&) noexcept = default;
    UnitPicture& operator=(UnitPicture&&) noexcept = default;

    bool Empty() const { return !IsIcon() && !bitmap_; }
    bool IsIcon() const { return icon_ || cursor_; }
    // IMAGE_ICON or IMAGE_BITMAP, for BM_SETIMAGE (a cursor shows as an icon).
    UINT ImageType() const { return IsIcon() ? IMAGE_ICON : IMAGE_BITMAP; }
    HANDLE Handle() const {
        return icon_ ? icon_.get() : cursor_ ? cursor_.get() : static_cast<HANDLE>(bitmap_.get());
    }

  private:
    OwnedIcon icon_;
    OwnedCursor cursor_; // from a cursor file: released as a cursor
    OwnedBitmap bitmap_;
};

} // namespace st

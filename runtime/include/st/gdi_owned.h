// Owners of window-system handles (GDI objects, icons, cursors) and the
// scoped DC guards of painting code; see st/owned.h for the rule.
#pragma once

#include <windows.h>

#include <cstdint>

#include "st/owned.h"

namespace st {

// GDI objects and icons the program made.
using OwnedFont = Owned<HFONT, &DeleteObject>;
using OwnedBrush = Owned<HBRUSH, &DeleteObject>;
using OwnedRegion = Owned<HRGN, &DeleteObject>;
using OwnedBitmap = Owned<HBITMAP, &DeleteObject>;
using OwnedIcon = Owned<HICON, &DestroyIcon>;
using OwnedCursor = Owned<HCURSOR, &DestroyCursor>;
// A menu not yet held by a window (a window destroys the menu it holds).
using OwnedMenu = Owned<HMENU, &DestroyMenu>;

// The painting DC of one WM_PAINT: BeginPaint here, EndPaint at the end of
// the scope (also when there is nothing to draw: it validates the window).
class PaintDc {
  public:
    explicit PaintDc(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() { EndPaint(window_, &paint_); }

    HDC get() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_;
    HDC dc_;
};

// A window's DC (its client area, or with Whole the whole window; a null
// window is the screen) from GetDC, given back at the end of the scope.
class WindowDc {
  public:
    enum Area { Client, Whole };
    explicit WindowDc(HWND window, Area area = Client)
        : window_(window), dc_(area == Whole ? GetWindowDC(window) : GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// An object selected into a DC for the length of a scope; the one it
// replaced goes back at the end.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    ~Selected() {
        if (old_) SelectObject(dc_, old_);
    }

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// Dots per inch of the screen's height (96 when the screen cannot tell):
// point sizes of fonts convert with it.
inline int32_t ScreenDpi() {
    WindowDc screen(nullptr);
    const int32_t dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

} // namespace st

// The window unit's background: the picture by its layout, then the colour.
#include "window_internal.h"

namespace st {

static BOOL CALLBACK InvalidateTransparent(HWND child, LPARAM) {
    if (IsWindowVisible(child) && (GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_TRANSPARENT))
        InvalidateRect(child, nullptr, TRUE);
    return TRUE;
}

void WindowUnit::Repaint() {
    InvalidateRect(hwnd, nullptr, TRUE);
    EnumChildWindows(hwnd, InvalidateTransparent, 0);
}

// --- Painting ------------------------------------------------------------------------------

RECT FitPicture(int32_t pw, int32_t ph, int32_t cw, int32_t ch) {
    int32_t w = pw, h = ph;
    if (pw > cw || ph > ch) {
        // The smaller ratio, in exact integer arithmetic: cw/pw < ch/ph?
        if (int64_t(cw) * ph < int64_t(ch) * pw) {
            w = cw;
            h = static_cast<int32_t>(int64_t(ph) * cw / pw);
        } else {
            h = ch;
            w = static_cast<int32_t>(int64_t(pw) * ch / ph);
        }
    }
    int32_t left = (cw - w) / 2, top = (ch - h) / 2;
    return RECT{left, top, left + w, top + h};
}

void WindowUnit::PaintBackground(HDC dc, const RECT& clip) {
    if (IsRectEmpty(&clip)) return;
    OwnedRegion rest(CreateRectRgnIndirect(&clip));
    if (!pictureDecoded_) {
        pictureDecoded_ = true;
        if (!DecodeBmp(props.picture.data(), props.picture.size(), decoded_)) decoded_ = {};
    }
    RECT client;
    GetClientRect(hwnd, &client);
    const int32_t pw = decoded_.width, ph = decoded_.height;
    if (pw > 0 && ph > 0) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = pw;
        info.bmiHeader.biHeight = -ph; // rows top to bottom
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        auto draw = [&](const RECT& to) {
            StretchDIBits(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, 0, 0, pw, ph,
                          decoded_.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
        };
        auto cut = [&](const RECT& r) {
            OwnedRegion piece(CreateRectRgnIndirect(&r));
            CombineRgn(rest.get(), rest.get(), piece.get(), RGN_DIFF);
        };
        switch (props.layout) {
        case 0: {
            RECT r{0, 0, pw, ph};
            draw(r);
            cut(r);
            break;
        }
        case 1:
            for (int32_t y = 0; y < client.bottom && y < clip.bottom; y += ph)
                for (int32_t x = 0; x < client.right && x < clip.right; x += pw) {
                    RECT tile{x, y, x + pw, y + ph}, meet;
                    if (IntersectRect(&meet, &tile, &clip)) draw(tile);
                }
            SetRectRgn(rest.get(), 0, 0, 0, 0);
            break;
        case 2: {
            RECT r = FitPicture(pw, ph, client.right, client.bottom);
            draw(r);
            cut(r);
            break;
        }
        default:
            draw(client);
            SetRectRgn(rest.get(), 0, 0, 0, 0);
            break;
        }
    }
    FillRgn(dc, rest.get(), OwnedBrush(CreateSolidBrush(ResolveColour(props.background))).get());
}

} // namespace st

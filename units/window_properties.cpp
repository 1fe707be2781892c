// The window unit's properties: the stored block, the property table and
// what setting each property does to the live window.
#include <algorithm>

#include "window_internal.h"

namespace st {

// --- The stored block ------------------------------------------------------------------

bool WindowProperties::Transfer(PropertyIO& io) {
    int32_t version;
    if (!TransferVersion(io, kVersion, version)) return false;
    io.I32(border);
    io.I32(layout);
    io.U32(background);
    io.I32(maximizeBox);
    io.I32(minimizeBox);
    io.I32(controlBox);
    io.I32(position);
    io.I32(movable);
    io.I32(musicMode);
    io.I32(enterMovesFocus);
    io.I32(escCloses);
    io.I32(f1Help);
    io.I32(helpTopic);
    if (version >= 2) io.I32(inTaskbar);
    if (version >= 3) {
        io.I32(dragMoves);
        io.I32(shape);
    }
    if (version >= 4) io.I32(topmost);
    if (version >= 5) io.I32(titleStaysActive);
    if (version >= 6) io.Text(className);
    io.Bytes(picture);
    io.Bytes(icon);
    io.Bytes(music);
    io.Text(caption);
    io.Text(helpFile);
    if (io.Reading()) Clamp();
    return !io.Failed();
}

// --- The property table ----------------------------------------------------------------

const PropertyEntry WindowPropertyEntries[] = {
    ST_COMMON_PROPERTY_ENTRIES ST_WINDOW_PROPERTIES(ST_PROPERTY_ENTRY)};
static_assert(std::size(WindowPropertyEntries) == WindowPropertyCount);

const PropertyRow<WindowUnit, WindowProperties> WindowUnit::kPropertyRows[] = {
    ST_WINDOW_PROPERTIES(ST_PROPERTY_ROW)};

void WindowProperties::Clamp() {
    ClampFromRows(WindowUnit::kPropertyRows, *this);
}

int32_t WindowUnit::SetProperty(int32_t index, const uint32_t* value) {
    return SetPropertyFromRows(kPropertyRows, *this, props, index, value);
}

int32_t WindowUnit::GetProperty(int32_t index, uint32_t* value) {
    // The position reads the window's state as it is now, not the stored choice.
    if (index == static_cast<int32_t>(WindowProperty::position)) {
        value[0] = IsIconic(hwnd) ? 2 : IsZoomed(hwnd) ? 3 : 0;
        return 1;
    }
    return GetPropertyFromRows(kPropertyRows, props, index, value);
}

// --- Styles ------------------------------------------------------------------------------

bool Resizable(int32_t border) {
    return border == 1 || border == 3 || border == 5;
}

DWORD FrameStyle(int32_t border) {
    if (border == 0) return 0;
    return Resizable(border) ? WS_DLGFRAME | WS_THICKFRAME : WS_DLGFRAME;
}

DWORD FrameExStyle(int32_t border) {
    switch (border) {
    case 3:
    case 4:
        return WS_EX_TOOLWINDOW;
    case 5:
    case 6:
        return WS_EX_CLIENTEDGE;
    default:
        return 0;
    }
}

DWORD TitleBarStyle(const WindowProperties& p) {
    DWORD style = 0;
    if (p.border != 0) {
        style |= WS_DLGFRAME; // part of WS_CAPTION; the frame needs it either way
        if (!p.caption.empty() || p.controlBox) style |= WS_CAPTION;
        if (p.controlBox) style |= WS_SYSMENU;
    }
    if (p.maximizeBox) style |= WS_MAXIMIZEBOX;
    if (p.minimizeBox) style |= WS_MINIMIZEBOX;
    return style;
}

static void RedrawFrame(HWND window) {
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Title bar and border ----------------------------------------------------------------

void WindowUnit::ApplyCaption() {
    SetWindowTextA(hwnd, props.caption.c_str());
    ApplyTitleBar();
}

void WindowUnit::ApplyTitleBar() {
    if (!hwnd) return;
    LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    DWORD wanted = TitleBarStyle(props);
    if ((static_cast<DWORD>(style) & kTitleBits) == wanted) return;
    SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>((style & ~kTitleBits) | wanted));
    RedrawFrame(hwnd);
}

void WindowUnit::ApplyBorder() {
    LONG ex = GetWindowLongA(hwnd, GWL_EXSTYLE);
    ex &= ~(WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE);
    SetWindowLongA(hwnd, GWL_EXSTYLE, ex | static_cast<LONG>(FrameExStyle(props.border)));
    LONG style = GetWindowLongA(hwnd, GWL_STYLE) & ~(WS_DLGFRAME | WS_THICKFRAME);
    SetWindowLongA(hwnd, GWL_STYLE, style | static_cast<LONG>(FrameStyle(props.border)));
    RedrawFrame(hwnd);
    ApplyTitleBar();
}

// --- Icons --------------------------------------------------------------------------------

namespace {

// The entry of an icon file's directory that suits a size best: the exact
// size with the most colours, else the largest image.
HICON IconOfSize(const std::vector<uint8_t>& bytes, int32_t size) {
    if (bytes.size() < 6) return nullptr;
    auto word = [&](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
    auto dword = [&](size_t at) { return word(at) | word(at + 2) << 16; };
    if (word(0) != 0 || word(2) != 1) return nullptr;
    uint32_t count = word(4);
    if (count == 0 || (bytes.size() - 6) / 16 < count) return nullptr;
    int32_t best = -1;
    int64_t bestScore = -1;
    for (uint32_t i = 0; i < count; ++i) {
        size_t e = 6 + 16 * i;
        int32_t w = bytes[e] ? bytes[e] : 256;
        uint32_t bits = word(e + 6), length = dword(e + 8), offset = dword(e + 12);
        if (offset > bytes.size() || length > bytes.size() - offset || length < 40) continue;
        int64_t score = w == size ? 1000000 + bits : w;
        if (score > bestScore) bestScore = score, best = static_cast<int32_t>(i);
    }
    if (best < 0) return nullptr;
    size_t e = 6 + 16 * static_cast<size_t>(best);
    return CreateIconFromResourceEx(const_cast<uint8_t*>(bytes.data() + dword(e + 12)),
                                    dword(e + 8), TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
}

} // namespace

bool MakeIcons(const std::vector<uint8_t>& bytes, HICON& big, HICON& small) {
    big = IconOfSize(bytes, GetSystemMetrics(SM_CXICON));
    small = IconOfSize(bytes, GetSystemMetrics(SM_CXSMICON));
    if (!big && small) big = CopyIcon(small);
    if (!small && big) small = CopyIcon(big);
    return big || small;
}

void WindowUnit::ApplyIcons() {
    HICON big = nullptr, small = nullptr;
    bool own = MakeIcons(props.icon, big, small);
    if (!own) {
        uint64_t icons = CallRuntime(CallbackCode::DefaultIcons);
        big = reinterpret_cast<HICON>(static_cast<uintptr_t>(static_cast<uint32_t>(icons)));
        small = reinterpret_cast<HICON>(static_cast<uintptr_t>(static_cast<uint32_t>(icons >> 32)));
    }
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    bigIcon_.reset(own ? big : nullptr);
    smallIcon_.reset(own ? small : nullptr);
}

// --- Shape, position, order ------------------------------------------------------------

void WindowUnit::ApplyShape() {
    RECT r;
    GetWindowRect(hwnd, &r);
    // The system owns a region once it is set; 0 removes the region.
    HRGN region = MakeShapeRegion(props.shape, r.right - r.left, r.bottom - r.top);
    SetWindowRgn(hwnd, region, TRUE);
}

void WindowUnit::ApplyPosition() {
    if (!IsWindowVisible(hwnd)) return;
    switch (props.position) {
    case 0:
        ShowWindow(hwnd, SW_SHOWNORMAL);
        break;
    case 1: {
        if (IsIconic(hwnd) || IsZoomed(hwnd)) ShowWindow(hwnd, SW_RESTORE);
        RECT r;
        GetWindowRect(hwnd, &r);
        SetWindowPos(hwnd, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    case 2:
        ShowWindow(hwnd, SW_MINIMIZE);
        break;
    default:
        if (Resizable(props.border)) {
            ShowWindow(hwnd, SW_MAXIMIZE);
        } else {
            SetWindowPos(hwnd, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                         GetSystemMetrics(SM_CYSCREEN), SWP_NOZORDER);
            ShowWindow(hwnd, SW_SHOW);
        }
        break;
    }
}

void WindowUnit::ApplyTopmost(bool fromChange) {
    SetWindowPos(hwnd, props.topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (!fromChange || props.topmost) return;
    // Switching it off may have pushed down windows that stay on top.
    for (WindowUnit* other : LoadedWindows())
        if (other != this && other->props.topmost && !other->props.inTaskbar)
            SetWindowPos(other->hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void WindowUnit::ApplyMovable() {
    if (props.movable)
        GetSystemMenu(hwnd, TRUE); // back to the standard menu
    else if (HMENU menu = GetSystemMenu(hwnd, FALSE))
        DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
}

void WindowUnit::ApplyPicture() {
    pictureDecoded_ = false;
    decoded_ = {};
    Repaint();
}

} // namespace st

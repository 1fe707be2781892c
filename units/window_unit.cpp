// The window unit: creation, properties, painting, activation, closing and
// the end of the program. Keyboard navigation is in window_navigation.cpp.
#include "st/window_unit.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "st/window_shapes.h"
#include "window_internal.h"

namespace st {

// --- Properties --------------------------------------------------------------------

void WindowProperties::Reset() {
    caption.clear();
    border = 2;
    background = DefaultColour;
    picture.clear();
    layout = 1;
    music.clear();
    musicMode = 0;
    controlBox = 1;
    maximizeBox = minimizeBox = 0;
    position = 1;
    movable = 1;
    icon.clear();
    enterMovesFocus = 0;
    escCloses = 1;
    f1Help = 0;
    helpFile.clear();
    helpTopic = 0;
    inTaskbar = 1;
    dragMoves = 0;
    shape = 0;
    topmost = 0;
    titleStaysActive = 0;
    className.clear();
}

bool WindowProperties::Transfer(PropertyIO& io) {
    int32_t version;
    if (!TransferVersion(io, kVersion, version)) return false;
    int32_t colour = static_cast<int32_t>(background);
    io.I32(border);
    io.I32(layout);
    io.I32(colour);
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
    background = static_cast<uint32_t>(colour);
    if (io.Reading()) Clamp();
    return !io.Failed();
}

void WindowProperties::Clamp() {
    auto logical = [](int32_t& v) { v = v != 0; };
    border = st::Clamp(border, 0, 6);
    layout = st::Clamp(layout, 0, 3);
    musicMode = st::Clamp(musicMode, 0, 2);
    position = st::Clamp(position, 0, 3);
    shape = st::Clamp(shape, 0, ShapeCount - 1);
    for (int32_t* v : {&controlBox, &maximizeBox, &minimizeBox, &movable, &enterMovesFocus,
                       &escCloses, &f1Help, &inTaskbar, &dragMoves, &topmost, &titleStaysActive})
        logical(*v);
}

#define ST_PROPERTY(kind, state)                                                                   \
    { "", "", "", PropertyKind::kind, state, nullptr }
const PropertyEntry WindowPropertyEntries[32] = {
    ST_PROPERTY(Integer, 0xE000),
    ST_PROPERTY(Integer, 0xE000),
    ST_PROPERTY(Integer, 0xE000),
    ST_PROPERTY(Integer, 0xE000),
    ST_PROPERTY(Text, 0xE000),
    ST_PROPERTY(Logical, 0xE000),
    ST_PROPERTY(Logical, 0xE000),
    ST_PROPERTY(MousePointer, 0xE000),
    ST_PROPERTY(Text, 0x8000),
    ST_PROPERTY(Choice, 0x8000),
    ST_PROPERTY(ColourOrDefault, 0x8000),
    ST_PROPERTY(Picture, 0x8000),
    ST_PROPERTY(Choice, 0x8001),
    ST_PROPERTY(Sound, 0x8000),
    ST_PROPERTY(Choice, 0x8001),
    ST_PROPERTY(Logical, 0x8000),
    ST_PROPERTY(Logical, 0x8001),
    ST_PROPERTY(Logical, 0x8001),
    ST_PROPERTY(Choice, 0x8000),
    ST_PROPERTY(Logical, 0x8000),
    ST_PROPERTY(Icon, 0x8000),
    ST_PROPERTY(Logical, 0x8000),
    ST_PROPERTY(Logical, 0x8000),
    ST_PROPERTY(Logical, 0x8000),
    ST_PROPERTY(FileName, 0x8001),
    ST_PROPERTY(Integer, 0x8001),
    ST_PROPERTY(Logical, 0x8000),
    ST_PROPERTY(Logical, 0x8000),
    ST_PROPERTY(Choice, 0x8000),
    ST_PROPERTY(Logical, 0x8000),
    ST_PROPERTY(Logical, 0x8000),
    ST_PROPERTY(Text, 0x8000),
};
#undef ST_PROPERTY

// --- Styles ------------------------------------------------------------------------------

namespace {

constexpr DWORD kTitleBits = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
const char kDefaultClass[] = "RZWindow";

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

void RedrawFrame(HWND window) {
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool RegisterWindowClass(const char* name) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA known;
    if (GetClassInfoA(instance, name, &known)) return true;
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = name;
    return RegisterClassA(&wc) != 0;
}

bool activationGuard = false; // set while an activation event is raised

} // namespace

// --- Windows of the registry -----------------------------------------------------------

TemplateRegistry* UnitsRegistry() {
    return reinterpret_cast<TemplateRegistry*>(
        static_cast<uintptr_t>(CallRuntime(CallbackCode::Registry)));
}

const TypeRecord* TypeRecordOf(uint32_t type) {
    return reinterpret_cast<const TypeRecord*>(
        static_cast<uintptr_t>(CallRuntime(CallbackCode::TypeRecordOf, type)));
}

std::vector<UnitSlot> WindowUnits(uint32_t window) {
    std::vector<UnitSlot> units;
    TemplateRegistry* registry = UnitsRegistry();
    if (!registry) return units;
    int32_t count = registry->UnitCount(window);
    for (int32_t i = 1; i < count; ++i) {
        UnitSlot slot;
        if (!registry->UnitAt(window, i, slot.record) || slot.record.type == UnitType::Menu)
            continue;
        slot.index = i;
        slot.object = slot.record.Object();
        slot.type = TypeRecordOf(slot.record.type);
        slot.typeFlags = slot.type ? slot.type->flags : 0;
        units.push_back(slot);
    }
    return units;
}

std::vector<WindowUnit*> LoadedWindows() {
    std::vector<WindowUnit*> windows;
    TemplateRegistry* registry = UnitsRegistry();
    if (!registry) return windows;
    for (int32_t i = 0, n = registry->WindowCount(); i < n; ++i) {
        UnitRecordView own;
        if (!registry->UnitAt(registry->WindowIdAt(i), 0, own)) continue;
        if (auto* window = dynamic_cast<WindowUnit*>(own.Object()); window && window->hwnd)
            windows.push_back(window);
    }
    return windows;
}

// --- Creation ------------------------------------------------------------------------------

UnitBase* WindowUnit::Create(const void* block, int32_t length, uint32_t style, HWND parent,
                             uint32_t, HMENU menu, int32_t left, int32_t top, int32_t width,
                             int32_t height, uint32_t windowId, uint32_t unitId, HWND,
                             int32_t designMode) {
    auto* unit = new WindowUnit;
    if (!ReadPropertyBlock(unit->props, block, length)) {
        delete unit;
        return nullptr;
    }
    unit->windowId = windowId;
    unit->unitId = unitId;
    unit->designMode = designMode;
    if (!unit->Build(style, parent, menu, left, top, width, height)) {
        delete unit;
        return nullptr;
    }
    return unit;
}

bool WindowUnit::Build(uint32_t style, HWND parent, HMENU menu, int32_t left, int32_t top,
                       int32_t width, int32_t height) {
    const char* className = props.className.empty() ? kDefaultClass : props.className.c_str();
    if (!RegisterWindowClass(className)) {
        if (menu) DestroyMenu(menu);
        return false;
    }
    // WS_TABSTOP and WS_GROUP from the unit record mean the title-bar
    // buttons on a top-level window; those come from the properties.
    DWORD windowStyle = (style & ~(kTitleBits | WS_TABSTOP | WS_GROUP | WS_VISIBLE | WS_CHILD)) |
                        WS_CLIPCHILDREN | FrameStyle(props.border) | TitleBarStyle(props);
    DWORD exStyle = FrameExStyle(props.border);
    int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    switch (props.position) {
    case 1:
        left = (screenWidth - width) / 2;
        top = (screenHeight - height) / 2;
        break;
    case 2:
        windowStyle |= WS_MINIMIZE;
        break;
    case 3:
        if (Resizable(props.border)) {
            windowStyle |= WS_MAXIMIZE;
        } else {
            left = top = 0;
            width = screenWidth;
            height = screenHeight;
        }
        break;
    default:
        break;
    }
    HWND owner = parent;
    if (parent) {
        windowStyle |= WS_POPUP;
    } else if ((!props.inTaskbar || CallRuntime(CallbackCode::LoadingModally) != 0) &&
               CallRuntime(CallbackCode::FirstBuildWord) != 0) {
        // Owned by the runtime's hidden window: no taskbar button.
        owner = reinterpret_cast<HWND>(
            static_cast<uintptr_t>(CallRuntime(CallbackCode::MessageWindow)));
    }
    if (!CreateUnitWindow(exStyle, className, props.caption.c_str(), windowStyle, left, top, width,
                          height, owner, menu)) {
        if (menu) DestroyMenu(menu);
        return false;
    }
    ApplyTitleBar();
    RECT created;
    GetWindowRect(hwnd, &created);
    if (!(windowStyle & (WS_MINIMIZE | WS_MAXIMIZE)) &&
        (created.right - created.left != width || created.bottom - created.top != height))
        SetWindowPos(hwnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyIcons();
    if (props.shape != 0) ApplyShape();
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    if (props.topmost) ApplyTopmost(false);
    if (!props.movable) ApplyMovable();
    // Background music needs the runtime's MIDI and WAV players, which this
    // runtime does not carry; the bytes are kept for the property only.
    return true;
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
    if (bigIcon_) DestroyIcon(bigIcon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
    bigIcon_ = own ? big : nullptr;
    smallIcon_ = own ? small : nullptr;
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
    HRGN rest = CreateRectRgnIndirect(&clip);
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
            HRGN piece = CreateRectRgnIndirect(&r);
            CombineRgn(rest, rest, piece, RGN_DIFF);
            DeleteObject(piece);
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
            SetRectRgn(rest, 0, 0, 0, 0);
            break;
        case 2: {
            RECT r = FitPicture(pw, ph, client.right, client.bottom);
            draw(r);
            cut(r);
            break;
        }
        default:
            draw(client);
            SetRectRgn(rest, 0, 0, 0, 0);
            break;
        }
    }
    HBRUSH fill = CreateSolidBrush(ResolveColour(props.background));
    FillRgn(dc, rest, fill);
    DeleteObject(fill);
    DeleteObject(rest);
}

// --- Property access -------------------------------------------------------------------

int32_t WindowUnit::SetProperty(int32_t index, const uint32_t* value) {
    auto text = [&] {
        const char* p = reinterpret_cast<const char*>(static_cast<uintptr_t>(value[0]));
        return std::string(p ? p : "");
    };
    auto bytes = [&] {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(value[0]));
        int32_t n = static_cast<int32_t>(value[1]);
        return p && n > 0 ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
    };
    const int32_t v = static_cast<int32_t>(value[0]);
    const int32_t logical = v != 0;
    switch (index) {
    case 0:
        props.caption = text();
        SetWindowTextA(hwnd, props.caption.c_str());
        ApplyTitleBar();
        break;
    case 1:
        props.border = st::Clamp(v, 0, 6);
        ApplyBorder();
        break;
    case 2:
        props.background = value[0];
        Repaint();
        break;
    case 3:
        props.picture = bytes();
        pictureDecoded_ = false;
        decoded_ = {};
        Repaint();
        break;
    case 4:
        props.layout = st::Clamp(v, 0, 3);
        Repaint();
        break;
    case 5:
        props.music = bytes();
        break;
    case 6:
        props.musicMode = st::Clamp(v, 0, 2);
        break;
    case 7:
        props.controlBox = logical;
        ApplyTitleBar();
        break;
    case 8:
        props.maximizeBox = logical;
        ApplyTitleBar();
        break;
    case 9:
        props.minimizeBox = logical;
        ApplyTitleBar();
        break;
    case 10:
        props.position = st::Clamp(v, 0, 3);
        ApplyPosition();
        break;
    case 11:
        props.movable = logical;
        ApplyMovable();
        break;
    case 12:
        props.icon = bytes();
        ApplyIcons();
        break;
    case 13:
        props.enterMovesFocus = logical;
        break;
    case 14:
        props.escCloses = logical;
        break;
    case 15:
        props.f1Help = logical;
        break;
    case 16:
        props.helpFile = text();
        break;
    case 17:
        props.helpTopic = v;
        break;
    case 18:
        props.inTaskbar = logical;
        break;
    case 19:
        props.dragMoves = logical;
        break;
    case 20:
        props.shape = st::Clamp(v, 0, ShapeCount - 1);
        ApplyShape();
        break;
    case 21:
        props.topmost = logical;
        ApplyTopmost(true);
        break;
    case 22:
        props.titleStaysActive = logical;
        break;
    case 23:
        props.className = text();
        break;
    default:
        break;
    }
    return 0;
}

int32_t WindowUnit::GetProperty(int32_t index, uint32_t* value) {
    auto text = [&](const std::string& s) { value[0] = reinterpret_cast<uintptr_t>(s.c_str()); };
    auto bytes = [&](const std::vector<uint8_t>& b) {
        value[0] = reinterpret_cast<uintptr_t>(b.data());
        value[1] = static_cast<uint32_t>(b.size());
    };
    const int32_t ints[] = {0,
                            props.border,
                            static_cast<int32_t>(props.background),
                            0,
                            props.layout,
                            0,
                            props.musicMode,
                            props.controlBox,
                            props.maximizeBox,
                            props.minimizeBox,
                            0,
                            props.movable,
                            0,
                            props.enterMovesFocus,
                            props.escCloses,
                            props.f1Help,
                            0,
                            props.helpTopic,
                            props.inTaskbar,
                            props.dragMoves,
                            props.shape,
                            props.topmost,
                            props.titleStaysActive,
                            0};
    if (index < 0 || index > 23) return 0;
    switch (index) {
    case 0:
        text(props.caption);
        break;
    case 3:
        bytes(props.picture);
        break;
    case 5:
        bytes(props.music);
        break;
    case 10:
        value[0] = IsIconic(hwnd) ? 2 : IsZoomed(hwnd) ? 3 : 0;
        break;
    case 12:
        bytes(props.icon);
        break;
    case 16:
        text(props.helpFile);
        break;
    case 23:
        text(props.className);
        break;
    default:
        value[0] = static_cast<uint32_t>(ints[index]);
        break;
    }
    return 1;
}

// --- Tray icon ------------------------------------------------------------------------------

void WindowUnit::SetTrayIcon(HICON icon, const char* tip) {
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = hwnd;
    data.uID = TrayIconId;
    if (!icon) {
        if (trayIcon_) {
            Shell_NotifyIconA(NIM_DELETE, &data);
            DestroyIcon(trayIcon_);
            trayIcon_ = nullptr;
        }
        return;
    }
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = TrayIconMessage;
    data.hIcon = icon;
    // At most 62 bytes, never half a double-byte character.
    size_t n = 0;
    for (const char* p = tip ? tip : ""; p[n] && n < 62;) {
        size_t step = IsDBCSLeadByteEx(936, static_cast<BYTE>(p[n])) && p[n + 1] ? 2 : 1;
        if (n + step > 62) break;
        n += step;
    }
    if (tip) std::memcpy(data.szTip, tip, n);
    data.szTip[n] = 0;
    HICON old = trayIcon_;
    Shell_NotifyIconA(old ? NIM_MODIFY : NIM_ADD, &data);
    trayIcon_ = icon;
    if (old && old != icon) DestroyIcon(old);
}

// --- Messages ---------------------------------------------------------------------------------

bool WindowUnit::IdleEvent(uint32_t milliseconds) {
    std::optional<uint32_t> answer = RaiseEvent(7, {milliseconds});
    return answer && *answer != 0;
}

void WindowUnit::EndModalState() {
    loadState_.modal = false;
    std::vector<HWND> disabled;
    disabled.swap(loadState_.disabledForModal);
    for (HWND w : disabled)
        if (IsWindow(w)) EnableWindow(w, TRUE);
}

void WindowUnit::OnActivate(WPARAM wParam) {
    const bool active = LOWORD(wParam) != WA_INACTIVE;
    HWND self = hwnd;
    if (active && activatedOnce_ && !IsWindowEnabled(self) &&
        CallRuntime(CallbackCode::FirstBuildWord) != 0) {
        // A modal window is open: it takes the activation.
        for (WindowUnit* w : LoadedWindows())
            if (w->loadState_.modal && IsWindowVisible(w->hwnd) && IsWindowEnabled(w->hwnd) &&
                !(GetWindowLongA(w->hwnd, GWL_STYLE) & WS_CHILD)) {
                SetActiveWindow(w->hwnd);
                return;
            }
    }
    if (!active) {
        HWND focus = GetFocus();
        if (focus && IsChild(self, focus)) lastFocus_ = focus;
    }
    if (activationGuard) return;
    activationGuard = true;
    if (!activatedOnce_) {
        activatedOnce_ = true;
        RaiseEvent(8);
    }
    if (IsWindow(self)) RaiseEvent(active ? 5 : 6);
    activationGuard = false;
}

LRESULT WindowUnit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND self = hwnd;
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers the whole background
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(self, &ps);
        RECT clip;
        if (GetClipBox(dc, &clip) != NULLREGION) PaintBackground(dc, clip);
        EndPaint(self, &ps);
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        GetClientRect(self, &client);
        PaintBackground(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_CLOSE:
    case WM_QUERYENDSESSION: {
        std::optional<uint32_t> answer = RaiseEvent(1);
        if (!IsWindow(self)) return message == WM_QUERYENDSESSION;
        if (answer && *answer == 0) return 0; // refused (FALSE to the session end too)
        if (message == WM_QUERYENDSESSION) return TRUE;
        EndModalState();
        return DefaultProc(message, wParam, lParam);
    }
    case WM_DESTROY:
        RaiseEvent(2);
        if (IsWindow(self)) {
            if (helpOpened_) WinHelpA(self, nullptr, HELP_QUIT, 0);
            helpOpened_ = false;
            if (HMENU menu = GetMenu(self)) {
                SetMenu(self, nullptr);
                DestroyMenu(menu);
            }
            SetTrayIcon(nullptr, nullptr);
            return DefaultProc(message, wParam, lParam);
        }
        return 0;
    case WM_ACTIVATE: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        OnActivate(wParam);
        return result;
    }
    case WM_SETFOCUS: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        RaiseEvent(CommonEvent::FocusReceived);
        if (!IsWindow(self)) return result;
        HWND back = lastFocus_ && IsWindow(lastFocus_) && IsChild(self, lastFocus_) &&
                            IsWindowVisible(lastFocus_) && IsWindowEnabled(lastFocus_)
                        ? lastFocus_
                        : nullptr;
        if (!back) {
            std::vector<UnitSlot> order = FocusOrder(windowId);
            if (!order.empty()) back = order.front().object->hwnd;
        }
        if (back) SetFocus(back);
        return result;
    }
    case WM_SHOWWINDOW: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        RaiseEvent(wParam ? 10 : 11);
        return result;
    }
    case WM_MOVE: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        RaiseEvent(3);
        return result;
    }
    case WM_SIZE: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        if (props.shape != 0) ApplyShape();
        RaiseEvent(4);
        return result;
    }
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && SetUnitCursor(reinterpret_cast<HWND>(wParam)))
            return TRUE;
        return DefaultProc(message, wParam, lParam);
    case WM_NCACTIVATE:
        if (!wParam && props.titleStaysActive) {
            DefaultProc(message, TRUE, lParam);
            return TRUE;
        }
        return DefaultProc(message, wParam, lParam);
    case WM_UNITS_CREATED:
        return 0; // no docking units to lay out
    case WM_END_MODAL:
        EndModalState();
        return 0;
    case TrayIconMessage: {
        uint32_t action = lParam == WM_LBUTTONUP                               ? 1
                          : lParam == WM_LBUTTONDBLCLK                         ? 2
                          : lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU ? 3
                                                                               : 0;
        if (action) RaiseEvent(9, {action});
        return 0;
    }
    default:
        return Unit::WindowProc(message, wParam, lParam);
    }
}

bool WindowUnit::SetUnitCursor(HWND over) {
    TemplateRegistry* registry = UnitsRegistry();
    if (!registry) return false;
    uint32_t cursor = 0;
    if (over == hwnd) {
        UnitRecordView own;
        if (registry->UnitAt(windowId, 0, own)) cursor = own.Cursor();
    } else {
        for (const UnitSlot& u : WindowUnits(windowId))
            if (u.object && u.object->hwnd == over) cursor = u.record.Cursor();
    }
    if (!cursor) return false;
    SetCursor(reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(cursor)));
    return true;
}

void WindowUnit::OnFinalMessage() {
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
    accelerators_ = nullptr;
    // The units' custom cursors belong to the runtime, which takes them down
    // with the window's report below; destroying them here as well would free
    // them twice.
    for (HICON* icon : {&bigIcon_, &smallIcon_, &trayIcon_})
        if (HICON own = std::exchange(*icon, nullptr)) DestroyIcon(own);
    // The runtime releases this object with the report.
    CallRuntime(CallbackCode::UnitDestroyed, windowId, 0);
    if (CallRuntime(CallbackCode::LoopEntered) != 0 &&
        CallRuntime(CallbackCode::LoadedWindowCount) == 0)
        PostQuitMessage(0);
}

// --- UnitInterface ------------------------------------------------------------------------

namespace {

int32_t SetUnitProperty(UnitBase* unit, int32_t index, const uint32_t* value, uint32_t* out) {
    if (out) *out = 0;
    auto* window = dynamic_cast<WindowUnit*>(unit);
    return window && value ? window->SetProperty(index, value) : 0;
}

int32_t GetUnitProperty(UnitBase* unit, int32_t index, uint32_t* value) {
    auto* window = dynamic_cast<WindowUnit*>(unit);
    return window && value ? window->GetProperty(index, value) : 0;
}

HGLOBAL GetWindowIcon(const void* block, int32_t length, uint32_t* iconLength) {
    if (iconLength) *iconLength = 0;
    WindowProperties props;
    if (!ReadPropertyBlock(props, block, length) || props.icon.empty()) return nullptr;
    HGLOBAL memory = NewGlobalBlock(props.icon.data(), props.icon.size());
    if (memory && iconLength) *iconLength = static_cast<uint32_t>(props.icon.size());
    return memory;
}

HGLOBAL ListWindowTexts(const void* block, int32_t length, ReportTextFn report, void* argument,
                        uint32_t* newLength) {
    if (newLength) *newLength = 0;
    WindowProperties props;
    if (!ReadPropertyBlock(props, block, length)) return nullptr;
    if (report) {
        report(argument, props.className.c_str(), 0);
        report(argument, props.caption.c_str(), 0);
        report(argument, props.helpFile.c_str(), 0);
    }
    std::vector<uint8_t> written = WritePropertyBlock(props);
    HGLOBAL memory = NewGlobalBlock(written.data(), written.size());
    if (memory && newLength) *newLength = static_cast<uint32_t>(written.size());
    return memory;
}

} // namespace

void* WindowUnitInterface(int32_t entry) {
    switch (entry) {
    case UnitEntry::Create:
        return reinterpret_cast<void*>(static_cast<CreateUnitFn>(&WindowUnit::Create));
    case UnitEntry::SetProperty:
        return reinterpret_cast<void*>(static_cast<SetUnitPropertyFn>(&SetUnitProperty));
    case UnitEntry::SaveProperties:
        return reinterpret_cast<void*>(static_cast<SaveUnitPropertiesFn>(&SaveUnitProperties));
    case UnitEntry::GetProperty:
        return reinterpret_cast<void*>(static_cast<GetUnitPropertyFn>(&GetUnitProperty));
    case UnitEntry::GetWindowIcon:
        return reinterpret_cast<void*>(static_cast<GetWindowIconFn>(&GetWindowIcon));
    case UnitEntry::ListBlockTexts:
        return reinterpret_cast<void*>(static_cast<ListBlockTextsFn>(&ListWindowTexts));
    default:
        return nullptr;
    }
}

} // namespace st

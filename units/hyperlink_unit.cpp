// The hyperlink box: painting, hover tracking and opening its target.
#include "st/hyperlink_unit.h"

#include <shellapi.h>

#include <iterator>

#include "st/text_core.h"

namespace st {

namespace {

constexpr int32_t kWebKind = 1;
constexpr UINT kTextFlags = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX;
constexpr uintptr_t kShellSuccess = 32; // ShellExecuteA and WinExec answer more on success
const char kPageKey[] = ".htm";
const char kOpenCommand[] = "\\shell\\open\\command";

// The hand, from the program's resources or else the system's.
HCURSOR HandCursor() {
    HCURSOR hand = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kHandCursorResource));
    return hand ? hand : LoadCursorA(nullptr, IDC_HAND);
}

bool IsSchemeChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

// "name:" at the start, where name is a URI scheme. A single letter is a
// drive, and "host:port" (digits up to the path) is no scheme either.
bool HasScheme(std::string_view address) {
    size_t colon = address.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;
    const unsigned char first = static_cast<unsigned char>(address[0]);
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) return false;
    for (size_t i = 1; i < colon; ++i)
        if (!IsSchemeChar(static_cast<unsigned char>(address[i]))) return false;
    size_t end = address.find_first_of("/?#", colon + 1);
    std::string_view rest = address.substr(
        colon + 1, end == std::string_view::npos ? std::string_view::npos : end - colon - 1);
    bool port = !rest.empty() && rest.find_first_not_of("0123456789") == std::string_view::npos;
    return !port;
}

// "C:\page.htm", "C:/page.htm" or "\\server\page.htm": a file the shell opens
// by its own type, which "http://" in front would turn into a host name.
bool IsFilePath(std::string_view address) {
    if (address.size() >= 3 && address[1] == ':' && (address[2] == '\\' || address[2] == '/')) {
        const unsigned char drive = static_cast<unsigned char>(address[0]);
        return (drive >= 'a' && drive <= 'z') || (drive >= 'A' && drive <= 'Z');
    }
    return address.size() >= 2 && address[0] == '\\' && address[1] == '\\';
}

// The default value of a key under HKEY_CLASSES_ROOT; none when the key
// cannot be read or the value is empty.
std::optional<std::string> ClassesValue(const LinkShell& shell, const std::string& subkey) {
    HKEY key = nullptr;
    if (shell.regOpenKey(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::string> value;
    LONG size = 0;
    if (shell.regQueryValue(key, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 1) {
        std::string text(static_cast<size_t>(size), '\0');
        LONG got = size;
        // A value that grew in between (ERROR_MORE_DATA) fails like any other error.
        if (shell.regQueryValue(key, nullptr, text.data(), &got) == ERROR_SUCCESS && got > 0 &&
            got <= size) {
            text.resize(strnlen(text.data(), static_cast<size_t>(got)));
            if (!text.empty()) value = std::move(text);
        }
    }
    shell.regCloseKey(key);
    return value;
}

} // namespace

const PropertyEntry HyperlinkPropertyEntries[] = {
    ST_COMMON_PROPERTY_ENTRIES ST_HYPERLINK_PROPERTIES(ST_PROPERTY_ENTRY)};
static_assert(std::size(HyperlinkPropertyEntries) == HyperlinkPropertyCount);
const PropertyRow<HyperlinkUnit, HyperlinkProperties> HyperlinkUnit::kPropertyRows[] = {
    ST_HYPERLINK_PROPERTIES(ST_PROPERTY_ROW)};

LinkShell& LinkOpeningShell() {
    static LinkShell shell = {&ShellExecuteA, &RegOpenKeyExA, &RegQueryValueA, &RegCloseKey,
                              &WinExec};
    return shell;
}

// --- Property block ----------------------------------------------------------------------

void HyperlinkProperties::Clamp() {
    ClampFromRows(HyperlinkUnit::kPropertyRows, *this);
}

bool HyperlinkProperties::Transfer(PropertyIO& io) {
    int32_t version;
    if (!TransferVersion(io, kVersion, version)) return false;
    io.I32(kind);
    io.U32(textColour);
    io.U32(openedColour);
    io.U32(hoverColour);
    io.U32(background);
    io.I32(border);
    io.Bytes(font);
    io.Text(caption);
    io.Text(email);
    io.Text(web);
    if (io.Reading()) Clamp();
    return !io.Failed();
}

// --- Opening -----------------------------------------------------------------------------

std::string LinkTarget(const HyperlinkProperties& props) {
    if (props.kind == kWebKind) {
        if (props.web.empty()) return {};
        // ShellExecuteA("www.x.com") would run a file of that name from the
        // current directory.
        return HasScheme(props.web) || IsFilePath(props.web) ? props.web : "http://" + props.web;
    }
    return props.email.empty() ? std::string() : "mailto:" + props.email;
}

std::optional<std::string> BrowserCommand(std::string_view registered, std::string_view target) {
    if (registered.empty() || target.empty()) return std::nullopt;
    for (char c : target) {
        const unsigned char b = static_cast<unsigned char>(c);
        // Neither byte can be the second half of a GBK character.
        if (b == '"' || b < 0x20 || b == 0x7F) return std::nullopt;
    }
    int32_t at = text::FindTextCore(registered, "\"%1\"", std::nullopt, false, false);
    if (at < 0) at = text::FindTextCore(registered, "%1", std::nullopt, false, false);
    std::string command(at > 0 ? registered.substr(0, static_cast<size_t>(at - 1)) : registered);
    while (!command.empty() && command.back() == ' ')
        command.pop_back();
    if (command.empty()) return std::nullopt;
    command += " \"";
    command += target;
    command += '"';
    return command;
}

bool OpenLinkTarget(const std::string& target) {
    const LinkShell& shell = LinkOpeningShell();
    HINSTANCE result =
        shell.shellExecute(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOW);
    if (reinterpret_cast<uintptr_t>(result) > kShellSuccess) return true;
    std::optional<std::string> pageClass = ClassesValue(shell, kPageKey);
    if (!pageClass) return false;
    std::optional<std::string> registered = ClassesValue(shell, *pageClass + kOpenCommand);
    if (!registered) return false;
    std::optional<std::string> command = BrowserCommand(*registered, target);
    return command && shell.winExec(command->c_str(), SW_SHOW) > kShellSuccess;
}

// --- The unit ----------------------------------------------------------------------------

bool HyperlinkUnit::Build(const UnitPlacement& at) {
    if (!RegisterUnitClass(kHyperlinkClass, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, &HandCursor) ||
        !CreateUnitWindow(0, kHyperlinkClass, props.caption.c_str(),
                          at.style | WS_CHILD | WS_CLIPSIBLINGS, at.left, at.top, at.width,
                          at.height, at.parent, at.ControlMenuId()))
        return false;
    ApplyBorderStyle(hwnd, props.border);
    font.reset(MakeUnitFont(props.font));
    return true;
}

int32_t HyperlinkUnit::SetProperty(int32_t index, const uint32_t* value) {
    return SetPropertyFromRows(kPropertyRows, *this, props, index, value);
}

int32_t HyperlinkUnit::GetProperty(int32_t index, uint32_t* value) {
    return GetPropertyFromRows(kPropertyRows, props, index, value);
}

void HyperlinkUnit::ApplyCaption() {
    SetWindowTextA(hwnd, props.caption.c_str());
    Repaint();
}

void HyperlinkUnit::ApplyAddress() {
    // Without a caption the address is what the box shows.
    if (GetWindowTextLengthA(hwnd) == 0) Repaint();
}

void HyperlinkUnit::ApplyFontBytes() {
    font.reset(MakeUnitFont(props.font));
    Repaint();
}

void HyperlinkUnit::Paint() {
    // BeginPaint validates the window even when there is nothing to draw;
    // without it WM_PAINT would come back for ever.
    PaintDc dc(hwnd);
    RECT clip;
    if (dc.get() && GetClipBox(dc.get(), &clip) != NULLREGION && !IsRectEmpty(&clip))
        Draw(dc.get(), clip);
}

void HyperlinkUnit::Draw(HDC dc, const RECT& clip) {
    FillRect(dc, &clip, OwnedBrush(CreateSolidBrush(ResolveColour(props.background))).get());

    std::string text(static_cast<size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
    if (text.empty()) text = props.kind == kWebKind ? props.web : props.email;

    const uint32_t colour = hover_    ? props.hoverColour
                            : opened_ ? props.openedColour
                                      : props.textColour;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ResolveColour(colour));
    Selected chosen(dc, font ? static_cast<HGDIOBJ>(font.get()) : GetStockObject(DEFAULT_GUI_FONT));
    RECT client;
    GetClientRect(hwnd, &client);
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &client, kTextFlags);
}

bool HyperlinkUnit::Inside(LPARAM at) const {
    RECT client;
    GetClientRect(hwnd, &client);
    const POINT p = {static_cast<int16_t>(LOWORD(at)), static_cast<int16_t>(HIWORD(at))};
    return PtInRect(&client, p) != FALSE;
}

void HyperlinkUnit::EndHover() {
    hover_ = false;
    ReleaseCapture();
    Repaint();
}

void HyperlinkUnit::TrackMouse(LPARAM at) {
    if (!hover_) {
        hover_ = true;
        Repaint();
        SetCapture(hwnd);
        return;
    }
    if (!Inside(at)) {
        EndHover();
    } else if (GetCapture() != hwnd) {
        SetCapture(hwnd);
    }
}

void HyperlinkUnit::Open() {
    const std::string target = LinkTarget(props);
    HWND self = hwnd;
    const bool opened = !target.empty() && OpenLinkTarget(target);
    // Opening may pump messages; the box may be gone afterwards.
    if (!IsWindow(self) || Unit::FromHandle(self) != this) return;
    const bool changed = opened != opened_;
    opened_ = opened;
    if (opened || changed) Repaint();
}

LRESULT HyperlinkUnit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // painting fills the background
    case WM_MOUSEMOVE:
        TrackMouse(lParam);
        break;
    case WM_LBUTTONDOWN:
        // While hovered the box holds the mouse capture, so a press beside
        // it can arrive here before the move that would have let go: that
        // press is not on the link and opens nothing.
        if (Inside(lParam)) {
            Open();
        } else if (hover_) {
            EndHover();
        }
        return 0;
    default:
        break;
    }
    return Unit::WindowProc(message, wParam, lParam);
}

// --- UnitInterface -----------------------------------------------------------------------

namespace {

HGLOBAL ListLinkTexts(const void* block, int32_t length, ReportTextFn report, void* argument,
                      uint32_t* newLength) {
    using P = HyperlinkProperty;
    return ListTextsOf(HyperlinkUnit::kPropertyRows,
                       {RowOf(P::font), RowOf(P::caption), RowOf(P::email), RowOf(P::web)}, block,
                       length, report, argument, newLength);
}

} // namespace

void* HyperlinkUnitInterface(int32_t entry) {
    if (entry == UnitEntry::ListBlockTexts)
        return reinterpret_cast<void*>(static_cast<ListBlockTextsFn>(&ListLinkTexts));
    return CommonUnitEntry<HyperlinkUnit>(entry);
}

} // namespace st

// The edit box: its property table, creation, the live property changes, the
// input modes and the up-down arrow pair.
#include "st/edit_box_unit.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <utility>

#include "st/edit_input.h"

namespace st {

// --- Properties --------------------------------------------------------------------

bool EditProperties::Transfer(PropertyIO& io) {
    int32_t version;
    if (!TransferVersion(io, kVersion, version)) return false;
    int16_t password =
        static_cast<int16_t>(passwordChar.empty() ? 0 : static_cast<uint8_t>(passwordChar[0]));
    io.I32(border);
    io.U32(textColour);
    io.U32(background);
    io.I32(hideSelection);
    io.I32(maxLength);
    io.I32(multiLine);
    io.I32(scrollBars);
    io.I32(alignment);
    io.I32(inputMode);
    io.I16(password);
    io.I32(letterCase);
    io.I32(upDown);
    io.I32(lower);
    io.I32(upper);
    io.I32(selectionStart);
    io.I32(selectionLength);
    io.Bytes(font);
    io.Text(content);
    if (version >= 2) {
        io.Text(dataSource);
        io.Text(dataColumn);
    }
    if (io.Reading()) {
        // The first byte is the character; 0 is none.
        const char character = static_cast<char>(static_cast<uint8_t>(password));
        passwordChar = character ? std::string(1, character) : std::string();
        Clamp();
    }
    return !io.Failed();
}

// --- The property table ---------------------------------------------------------------

const PropertyEntry EditBoxPropertyEntries[] = {
    ST_COMMON_PROPERTY_ENTRIES ST_EDIT_BOX_PROPERTIES(ST_PROPERTY_ENTRY)};
static_assert(std::size(EditBoxPropertyEntries) == EditBoxPropertyCount);
const PropertyRow<EditBoxUnit, EditProperties> EditBoxUnit::kPropertyRows[] = {
    ST_EDIT_BOX_PROPERTIES(ST_PROPERTY_ROW)};

void EditProperties::Clamp() {
    ClampFromRows(EditBoxUnit::kPropertyRows, *this);
    if (passwordChar.size() > 1) passwordChar.resize(1);
}

// --- Up-down companion ---------------------------------------------------------------------

namespace {

bool StaticEdgeFor(int32_t border) {
    return border == 0 || border == 1 || border == 3;
}

} // namespace

bool UpDownCompanion::Create(Unit& box, uint32_t controlId, int32_t border) {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_UPDOWN_CLASS};
        return InitCommonControlsEx(&init) != FALSE;
    }();
    (void)registered; // a failed registration shows as a failed creation below
    Destroy();
    const DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (IsWindowEnabled(box.hwnd) ? 0 : WS_DISABLED);
    hwnd_ = CreateWindowExA(StaticEdgeFor(border) ? WS_EX_STATICEDGE : 0, UPDOWN_CLASSA, "", style,
                            0, 0, kWidth, 0, GetParent(box.hwnd),
                            reinterpret_cast<HMENU>(static_cast<uintptr_t>(controlId)),
                            GetModuleHandleA(nullptr), nullptr);
    if (!hwnd_) return false;
    owner_ = &box;
    box.AdoptControl(hwnd_);
    Follow(box.hwnd);
    return true;
}

void UpDownCompanion::Destroy() {
    if (!hwnd_) return;
    if (owner_) owner_->ReleaseControl(hwnd_);
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    owner_ = nullptr;
}

void UpDownCompanion::Follow(HWND box) {
    if (!hwnd_ || !IsWindow(hwnd_) || !IsWindow(box)) return;
    HWND parent = GetParent(box);
    if (GetParent(hwnd_) != parent) SetParent(hwnd_, parent);
    RECT r;
    GetWindowRect(box, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(hwnd_, box, r.right, r.top, kWidth, r.bottom - r.top, SWP_NOACTIVATE);
    const bool shown = (GetWindowLongA(box, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != ((GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0))
        ShowWindow(hwnd_, shown ? SW_SHOWNA : SW_HIDE);
    const bool enabled = IsWindowEnabled(box) != FALSE;
    if (enabled != (IsWindowEnabled(hwnd_) != FALSE)) EnableWindow(hwnd_, enabled);
}

void UpDownCompanion::SetRange(int32_t a, int32_t b) {
    low_ = std::min(a, b);
    high_ = std::max(a, b);
    // The 32-bit message: UDM_SETRANGE would cut the bounds to 16 bits.
    if (hwnd_) SendMessageA(hwnd_, UDM_SETRANGE32, static_cast<WPARAM>(low_), high_);
}

void UpDownCompanion::SetPosition(int64_t value) {
    value = value < low_ ? low_ : value > high_ ? high_ : value;
    if (hwnd_) SendMessageA(hwnd_, UDM_SETPOS32, 0, static_cast<LPARAM>(value));
}

void UpDownCompanion::ApplyBorder(int32_t border) {
    if (!hwnd_) return;
    LONG ex = GetWindowLongA(hwnd_, GWL_EXSTYLE) & ~WS_EX_STATICEDGE;
    if (StaticEdgeFor(border)) ex |= WS_EX_STATICEDGE;
    SetWindowLongA(hwnd_, GWL_EXSTYLE, ex);
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Creation ------------------------------------------------------------------------------

DWORD EditBoxUnit::Style() const {
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (!props.hideSelection) style |= ES_NOHIDESEL;
    if (props.multiLine) {
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
        if (props.scrollBars == 1 || props.scrollBars == 3) style |= ES_AUTOHSCROLL | WS_HSCROLL;
        if (props.scrollBars == 2 || props.scrollBars == 3) style |= WS_VSCROLL;
    } else {
        style |= ES_AUTOHSCROLL;
    }
    if (props.alignment == 1) style |= ES_CENTER;
    if (props.alignment == 2) style |= ES_RIGHT;
    if (props.inputMode == edit::InputMode::ReadOnly) style |= ES_READONLY;
    if (props.inputMode == edit::InputMode::Password) style |= ES_PASSWORD;
    if (props.letterCase == 1) style |= ES_LOWERCASE;
    if (props.letterCase == 2) style |= ES_UPPERCASE;
    return style;
}

bool EditBoxUnit::Build(const UnitPlacement& at) {
    focusEventsFromMessages_ = false; // EN_SETFOCUS / EN_KILLFOCUS raise them
    MakeBrush(props.background);
    brushColour_ = ResolveColour(props.background);
    // Never visible at creation: the loader shows the units once all exist.
    // Made with its frame: a frame set afterwards would resize the text area
    // and make the control lay its text out a second time.
    const BorderBits frame = BorderStyleBits(props.border);
    const DWORD windowStyle = (at.style & ~(WS_VISIBLE | WS_BORDER)) | Style() | frame.style;
    settingContent_ = true;
    const bool created =
        CreateUnitWindow(frame.exStyle, "EDIT", props.content.c_str(), windowStyle, at.left, at.top,
                         at.width, at.height, at.parent, at.ControlMenuId());
    settingContent_ = false;
    if (!created) return false;
    ApplyFontAndHeight();
    SendMessageA(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(props.maxLength), 0);
    if (props.inputMode == edit::InputMode::Password) ApplyPasswordChar();
    if (!props.multiLine && props.upDown != 0) {
        upDown_.SetRange(props.lower, props.upper);
        if (upDown_.Create(*this, at.controlId + 4, props.border)) {
            upDown_.SetRange(props.lower, props.upper);
            upDown_.SetPosition(edit::ReadClampedInteger(props.content, INT32_MIN, INT32_MAX));
        } else {
            props.upDown = 0;
        }
    }
    Select(props.selectionStart, props.selectionLength);
    ApplyBorderStyle(hwnd, props.border);
    return true;
}

void EditBoxUnit::ApplyFontAndHeight() {
    HFONT made = MakeUnitFont(props.font);
    HFONT use = made ? made : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SIZE wu{}, w{};
    if (WindowDc dc(hwnd); dc) {
        Selected chosen(dc.get(), use);
        GetTextExtentPoint32A(dc.get(), "吴", 2, &wu);
        GetTextExtentPoint32A(dc.get(), "W", 1, &w);
    }
    lineHeight_ = w.cy;
    if (!props.multiLine) {
        RECT r;
        GetWindowRect(hwnd, &r);
        const int32_t needed = wu.cy + 2 * GetSystemMetrics(SM_CYEDGE);
        if (r.bottom - r.top < needed)
            SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, needed,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(use), TRUE);
    font.reset(made);
    if (!props.multiLine)
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void EditBoxUnit::ApplyPasswordChar() {
    // A password box never shows its text: no character means the default one.
    const int32_t character = props.inputMode != edit::InputMode::Password ? 0
                              : props.passwordChar.empty()
                                  ? '*'
                                  : static_cast<uint8_t>(props.passwordChar[0]);
    SendMessageA(hwnd, EM_SETPASSWORDCHAR, static_cast<WPARAM>(character), 0);
}

void EditBoxUnit::ApplyInputMode() {
    ApplyPasswordChar();
    SendMessageA(hwnd, EM_SETREADONLY, props.inputMode == edit::InputMode::ReadOnly, 0);
    InvalidateRect(hwnd, nullptr, TRUE);
}

// --- Content and selection -----------------------------------------------------------

std::string EditBoxUnit::WindowText() const {
    const int length = GetWindowTextLengthA(hwnd);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int got = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

EditBoxUnit::Selection EditBoxUnit::CurrentSelection() const {
    // Pointer arguments: the packed answer holds only 16 bits of each end.
    DWORD start = 0, end = 0;
    SendMessageA(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const DWORD length = static_cast<DWORD>(std::max(GetWindowTextLengthA(hwnd), 0));
    end = std::min(end, length);
    start = std::min(start, end);
    return {static_cast<int32_t>(start), static_cast<int32_t>(end)};
}

void EditBoxUnit::Select(int64_t start, int64_t length) {
    const int64_t end = std::min<int64_t>(start + length, INT32_MAX);
    SendMessageA(hwnd, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
    SendMessageA(hwnd, EM_SCROLLCARET, 0, 0);
}

void EditBoxUnit::ReplaceContent(const std::string& text) {
    settingContent_ = true;
    SetWindowTextA(hwnd, text.c_str());
    settingContent_ = false;
    // A multi-line control reports no change for a set text, a single-line
    // one does (suppressed above): reporting it here makes it once for both.
    OnContentChanged();
}

void EditBoxUnit::OnContentChanged() {
    if (upDown_.Handle())
        upDown_.SetPosition(edit::ReadClampedInteger(WindowText(), INT32_MIN, INT32_MAX));
    RaiseEvent(EditEvent::Changed);
}

void EditBoxUnit::OnKillFocus() {
    HWND self = hwnd;
    const std::string text = WindowText();
    std::optional<std::string> normal = edit::Normalise(props.inputMode, text);
    if (normal && *normal != text) {
        const Selection before = CurrentSelection();
        ReplaceContent(*normal);
        if (!IsWindow(self)) return;
        Select(before.start, 0);
    }
    RaiseEvent(CommonEvent::FocusLost);
}

void EditBoxUnit::OnUpDown(int32_t delta, LRESULT& result) {
    result = 1; // the arrows' own position follows the text, never the click
    if (!IsWindowEnabled(hwnd) || !IsWindowVisible(hwnd) || delta == 0) return;
    if (props.upDown == 2) {
        RaiseEvent(EditEvent::UpDownPressed, {static_cast<uint32_t>(delta > 0 ? 1 : -1)});
        return;
    }
    HWND self = hwnd;
    const int32_t next = edit::StepWrapped(WindowText(), delta, upDown_.Low(), upDown_.High());
    ReplaceContent(text::FormatInteger(next));
    if (!IsWindow(self)) return;
    Select(0, INT32_MAX);
    SetFocus(self);
}

// --- Property access -------------------------------------------------------------------

int32_t EditBoxUnit::SetProperty(int32_t index, const uint32_t* value) {
    using P = EditBoxProperty;
    if (index == RowOf(P::selectionStart) || index == RowOf(P::selectionLength)) {
        SetSelectionPart(index == RowOf(P::selectionStart), static_cast<int32_t>(value[0]));
        return 0;
    }
    return SetPropertyFromRows(kPropertyRows, *this, props, index, value);
}

void EditBoxUnit::SetSelectionPart(bool start, int32_t number) {
    // -1 selects to the end (start) or everything (length); other negatives
    // become 0.
    const Selection now = CurrentSelection();
    const int32_t length = std::max(GetWindowTextLengthA(hwnd), 0);
    int32_t from = now.start, count = now.end - now.start;
    if (start) {
        from = number == -1 ? length : std::max(number, 0);
        if (number == -1) count = 0;
    } else {
        count = number == -1 ? length : std::max(number, 0);
        if (number == -1) from = 0;
    }
    props.selectionStart = from;
    props.selectionLength = count;
    Select(from, count);
}

void EditBoxUnit::ApplyBorder() {
    ApplyBorderStyle(hwnd, props.border);
    upDown_.ApplyBorder(props.border);
}

void EditBoxUnit::ApplyBackground() {
    MakeBrush(props.background);
    brushColour_ = ResolveColour(props.background);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
}

void EditBoxUnit::ApplyMaxLength() {
    SendMessageA(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(props.maxLength), 0);
}

void EditBoxUnit::ApplyPasswordCharChange() {
    if (props.passwordChar.size() > 1) props.passwordChar.resize(1); // one character
    if (props.inputMode == edit::InputMode::Password) {
        ApplyPasswordChar();
        Repaint();
    }
}

void EditBoxUnit::ApplyRange() {
    upDown_.SetRange(props.lower, props.upper);
    if (upDown_.Handle())
        upDown_.SetPosition(edit::ReadClampedInteger(WindowText(), INT32_MIN, INT32_MAX));
}

void EditBoxUnit::ApplySelectedText() {
    SendMessageA(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(props.selectedText.c_str()));
    props.selectedText.clear(); // never kept: reading it reads the control
}

int32_t EditBoxUnit::GetProperty(int32_t index, uint32_t* value) {
    using P = EditBoxProperty;
    auto handOut = [&](std::string s) {
        readBuffer_ = std::move(s);
        value[0] = reinterpret_cast<uintptr_t>(readBuffer_.c_str());
        value[1] = 0;
        return 1;
    };
    switch (static_cast<P>(index)) {
    case P::content:
        return handOut(designMode ? props.content : WindowText());
    case P::selectionStart:
        value[0] = static_cast<uint32_t>(CurrentSelection().start);
        return 1;
    case P::selectionLength: {
        const Selection s = CurrentSelection();
        value[0] = static_cast<uint32_t>(s.end - s.start);
        return 1;
    }
    case P::selectedText: {
        const Selection s = CurrentSelection();
        return handOut(WindowText().substr(static_cast<size_t>(s.start),
                                           static_cast<size_t>(s.end - s.start)));
    }
    default:
        return GetPropertyFromRows(kPropertyRows, props, index, value);
    }
}

bool EditBoxUnit::WantsKey(uint32_t key) const {
    // Enter makes a new line in an editable multi-line box instead of
    // pressing the window's default button.
    return key == VK_RETURN && props.multiLine && props.inputMode != edit::InputMode::ReadOnly;
}

std::vector<uint8_t> EditBoxUnit::SaveBlock() {
    if (hwnd && !designMode) {
        props.content = WindowText();
        const Selection s = CurrentSelection();
        props.selectionStart = s.start;
        props.selectionLength = s.end - s.start;
    }
    return WritePropertyBlock(props);
}

// --- Messages --------------------------------------------------------------------------------

void EditBoxUnit::PaintBands() {
    if (IsRectEmpty(&bandTop_) && IsRectEmpty(&bandBottom_)) return;
    if (WindowDc dc(hwnd, WindowDc::Whole); dc) {
        FillRect(dc.get(), &bandTop_, brush.get());
        FillRect(dc.get(), &bandBottom_, brush.get());
    }
}

bool EditBoxUnit::OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_COMMAND:
        switch (HIWORD(wParam)) {
        case EN_CHANGE:
            if (!settingContent_) OnContentChanged();
            return true;
        case EN_SETFOCUS:
            RaiseEvent(CommonEvent::FocusReceived);
            return true;
        case EN_KILLFOCUS:
            OnKillFocus();
            return true;
        default:
            return false;
        }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom != upDown_.Handle() || header->code != UDN_DELTAPOS) return false;
        OnUpDown(reinterpret_cast<const NMUPDOWN*>(lParam)->iDelta, result);
        return true;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        if (reinterpret_cast<HWND>(lParam) != hwnd) return false;
        // The button-face colour is looked up afresh: the system's may change.
        const COLORREF background = ResolveColour(props.background);
        if (background != brushColour_) {
            MakeBrush(props.background);
            brushColour_ = background;
        }
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, ResolveColour(props.textColour));
        SetBkColor(dc, background);
        result = reinterpret_cast<LRESULT>(brush.get());
        return true;
    }
    default:
        return false;
    }
}

LRESULT EditBoxUnit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CHAR: {
        const uint8_t lead = std::exchange(pendingLead_, 0);
        if (!edit::AcceptsChar(props.inputMode, static_cast<uint32_t>(wParam))) return 0;
        // A double-byte character comes as two WM_CHARs, lead byte first, and
        // some systems hand an ANSI window the Unicode character itself. Edit
        // controls that take each byte (or the low byte) on its own show "?"
        // or a wrong letter; the character is put in whole instead.
        std::string whole;
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(wParam)};
        wchar_t joined = 0;
        const bool paired =
            lead && wParam <= 0xFF &&
            MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pair, 2, &joined, 1) == 1;
        if (wParam > 0xFF) {
            const wchar_t character = static_cast<wchar_t>(wParam);
            char bytes[8];
            const int n = WideCharToMultiByte(CP_ACP, 0, &character, 1, bytes, sizeof bytes,
                                              nullptr, nullptr);
            if (n <= 0) return 0;
            whole.assign(bytes, static_cast<size_t>(n));
        } else if (paired) {
            whole.assign(pair, 2);
        } else if (IsDBCSLeadByte(static_cast<BYTE>(wParam))) {
            pendingLead_ = static_cast<uint8_t>(wParam);
            return 0;
        } else {
            break;
        }
        if (GetWindowLongA(hwnd, GWL_STYLE) & ES_READONLY) return 0;
        SendMessageA(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(whole.c_str()));
        return 0;
    }
    case WM_KILLFOCUS:
        pendingLead_ = 0; // half a character never lands
        break;
    case WM_NCCALCSIZE: {
        // On the way in the rectangle is the window's, in the parent's
        // coordinates; on the way out the client area's.
        RECT* area = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                            : reinterpret_cast<RECT*>(lParam);
        const RECT window = *area;
        LRESULT result = DefaultProc(message, wParam, lParam);
        bandTop_ = bandBottom_ = RECT{};
        const int32_t spare = (area->bottom - area->top) - lineHeight_;
        if (props.multiLine || lineHeight_ <= 0 || spare <= 0) return result;
        // One text line, centred; the bands above and below count as frame.
        const RECT full = *area;
        area->top += spare / 2;
        area->bottom = area->top + lineHeight_;
        bandTop_ = {full.left - window.left, full.top - window.top, full.right - window.left,
                    area->top - window.top};
        bandBottom_ = {full.left - window.left, area->bottom - window.top, full.right - window.left,
                       full.bottom - window.top};
        return result;
    }
    case WM_NCPAINT: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        PaintBands();
        return result;
    }
    case WM_NCHITTEST: {
        LRESULT hit = DefaultProc(message, wParam, lParam);
        if (IsRectEmpty(&bandTop_) && IsRectEmpty(&bandBottom_)) return hit;
        RECT window;
        GetWindowRect(hwnd, &window);
        const POINT at{static_cast<int16_t>(LOWORD(lParam)) - window.left,
                       static_cast<int16_t>(HIWORD(lParam)) - window.top};
        return PtInRect(&bandTop_, at) || PtInRect(&bandBottom_, at) ? HTBORDER : hit;
    }
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush.get());
        return 1;
    }
    case WM_WINDOWPOSCHANGED:
    case WM_ENABLE: {
        LRESULT result = DefaultProc(message, wParam, lParam);
        upDown_.Follow(hwnd);
        return result;
    }
    case WM_DESTROY:
        upDown_.Destroy();
        break;
    default:
        break;
    }
    return Unit::WindowProc(message, wParam, lParam);
}

// --- UnitInterface ------------------------------------------------------------------------

namespace {

int32_t EditWantsKey(UnitBase* unit, uint32_t key) {
    auto* box = dynamic_cast<EditBoxUnit*>(unit);
    return box && box->WantsKey(key) ? 1 : 0;
}

HGLOBAL ListEditTexts(const void* block, int32_t length, ReportTextFn report, void* argument,
                      uint32_t* newLength) {
    using P = EditBoxProperty;
    return ListTextsOf(EditBoxUnit::kPropertyRows,
                       {RowOf(P::passwordChar), RowOf(P::font), RowOf(P::content)}, block, length,
                       report, argument, newLength);
}

} // namespace

void* EditBoxUnitInterface(int32_t entry) {
    switch (entry) {
    case UnitEntry::WantsKey:
        return reinterpret_cast<void*>(static_cast<WantsKeyFn>(&EditWantsKey));
    case UnitEntry::ListBlockTexts:
        return reinterpret_cast<void*>(static_cast<ListBlockTextsFn>(&ListEditTexts));
    default:
        // A box whose window is gone answers no property.
        return CommonUnitEntry<EditBoxUnit, true>(entry);
    }
}

} // namespace st

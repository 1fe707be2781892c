// The push button and the check box.
#include "st/button_units.h"

#include <iterator>

namespace st {

namespace {

constexpr DWORD kAlignMask = BS_CENTER | BS_VCENTER;
constexpr DWORD kButtonTypeMask = 0x1F; // the low five style bits

DWORD ButtonStyle(const ButtonProperties& p) {
    return (p.type == 1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) |
           AlignmentStyle(p.horizontal, p.vertical);
}

DWORD CheckBoxStyle(const CheckBoxProperties& p) {
    return BS_AUTOCHECKBOX | (p.pushLike ? BS_PUSHLIKE : 0) | (p.flat ? BS_FLAT : 0) |
           (p.leftText ? BS_LEFTTEXT : 0) | AlignmentStyle(p.horizontal, p.vertical);
}
constexpr DWORD kCheckBoxLooks = BS_PUSHLIKE | BS_FLAT | BS_LEFTTEXT;

} // namespace

// --- The property tables ---------------------------------------------------------------

const PropertyEntry ButtonPropertyEntries[] = {
    ST_COMMON_PROPERTY_ENTRIES ST_BUTTON_PROPERTIES(ST_PROPERTY_ENTRY)};
static_assert(std::size(ButtonPropertyEntries) == ButtonPropertyCount);
const PropertyRow<ButtonUnit, ButtonProperties> ButtonUnit::kPropertyRows[] = {
    ST_BUTTON_PROPERTIES(ST_PROPERTY_ROW)};

const PropertyEntry CheckBoxPropertyEntries[] = {
    ST_COMMON_PROPERTY_ENTRIES ST_CHECK_BOX_PROPERTIES(ST_PROPERTY_ENTRY)};
static_assert(std::size(CheckBoxPropertyEntries) == CheckBoxPropertyCount);
const PropertyRow<CheckBoxUnit, CheckBoxProperties> CheckBoxUnit::kPropertyRows[] = {
    ST_CHECK_BOX_PROPERTIES(ST_PROPERTY_ROW)};

// --- Property blocks -------------------------------------------------------------------

void ButtonProperties::Clamp() {
    ClampFromRows(ButtonUnit::kPropertyRows, *this);
}

bool ButtonProperties::Transfer(PropertyIO& io) {
    int32_t version;
    if (!TransferVersion(io, kVersion, version)) return false;
    io.I32(type);
    io.I32(horizontal);
    io.I32(vertical);
    io.Bytes(picture);
    io.Bytes(font);
    io.Text(caption);
    if (io.Reading()) Clamp();
    return !io.Failed();
}

void CheckBoxProperties::Clamp() {
    ClampFromRows(CheckBoxUnit::kPropertyRows, *this);
}

bool CheckBoxProperties::Transfer(PropertyIO& io) {
    int32_t version;
    if (!TransferVersion(io, kVersion, version)) return false;
    io.I32(pushLike);
    io.I32(flat);
    io.I32(leftText);
    io.I32(horizontal);
    io.I32(vertical);
    io.U32(textColour);
    io.U32(background);
    io.I32(checked);
    io.Bytes(picture);
    io.Bytes(font);
    io.Text(caption);
    if (version >= 2) {
        io.Text(dataSource);
        io.Text(dataColumn);
    }
    if (io.Reading()) Clamp();
    return !io.Failed();
}

DWORD AlignmentStyle(int32_t horizontal, int32_t vertical) {
    static const DWORD kHorizontal[3] = {BS_LEFT, BS_CENTER, BS_RIGHT};
    static const DWORD kVertical[3] = {BS_TOP, BS_VCENTER, BS_BOTTOM};
    return kHorizontal[Clamp(horizontal, 0, 2)] | kVertical[Clamp(vertical, 0, 2)];
}

// --- Shared -----------------------------------------------------------------------------

bool ButtonControl::CreateControl(DWORD style, const std::string& caption,
                                  const std::vector<uint8_t>& pictureBytes,
                                  const std::vector<uint8_t>& fontBytes, const UnitPlacement& at) {
    // Bytes that do not decode leave the caption showing.
    if (!pictureBytes.empty()) picture_ = UnitPicture(pictureBytes);
    if (!picture_.Empty()) style |= picture_.IsIcon() ? BS_ICON : BS_BITMAP;
    style |= WS_CHILD | WS_CLIPSIBLINGS | BS_MULTILINE;
    if (!CreateUnitWindow(0, "BUTTON", caption.c_str(), style, at.left, at.top, at.width, at.height,
                          at.parent, at.ControlMenuId()))
        return false;
    ApplyFont(fontBytes);
    if (!picture_.Empty())
        SendMessageA(hwnd, BM_SETIMAGE, picture_.ImageType(),
                     reinterpret_cast<LPARAM>(picture_.Handle()));
    return true;
}

void ButtonControl::ReplaceStyle(DWORD mask, DWORD bits) {
    LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>((static_cast<DWORD>(style) & ~mask) | bits));
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, TRUE);
}

bool ButtonControl::OnReflected(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
    RaiseEvent(kClicked);
    result = 0;
    return true;
}

// --- Button ------------------------------------------------------------------------------

bool ButtonUnit::Build(const UnitPlacement& at) {
    return CreateControl(at.style | ButtonStyle(props), props.caption, props.picture, props.font,
                         at);
}

int32_t ButtonUnit::SetProperty(int32_t index, const uint32_t* value) {
    return SetPropertyFromRows(kPropertyRows, *this, props, index, value);
}

int32_t ButtonUnit::GetProperty(int32_t index, uint32_t* value) {
    return GetPropertyFromRows(kPropertyRows, props, index, value);
}

void ButtonUnit::ApplyStyle() {
    ReplaceStyle(kButtonTypeMask | kAlignMask, ButtonStyle(props));
}

bool ButtonUnit::IsDefault() const {
    return hwnd && (static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)) & kButtonTypeMask) ==
                       BS_DEFPUSHBUTTON;
}

// --- Check box ---------------------------------------------------------------------------

bool CheckBoxUnit::Build(const UnitPlacement& at) {
    MakeBrush(props.background);
    brushColour_ = ResolveColour(props.background);
    if (!CreateControl(at.style | CheckBoxStyle(props), props.caption, props.picture, props.font,
                       at))
        return false;
    ApplyCheck();
    return true;
}

int32_t CheckBoxUnit::SetProperty(int32_t index, const uint32_t* value) {
    return SetPropertyFromRows(kPropertyRows, *this, props, index, value);
}

void CheckBoxUnit::ApplyStyle() {
    ReplaceStyle(kCheckBoxLooks | kAlignMask, CheckBoxStyle(props) & ~BS_AUTOCHECKBOX);
}

void CheckBoxUnit::ApplyBrush() {
    MakeBrush(props.background);
    brushColour_ = ResolveColour(props.background);
    Repaint();
}

void CheckBoxUnit::ApplyCheck() {
    SendMessageA(hwnd, BM_SETCHECK, props.checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CheckBoxUnit::ReadCheck() {
    if (hwnd) props.checked = SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int32_t CheckBoxUnit::GetProperty(int32_t index, uint32_t* value) {
    // The control holds the state the user gave it.
    if (index == RowOf(CheckBoxProperty::checked)) ReadCheck();
    return GetPropertyFromRows(kPropertyRows, props, index, value);
}

std::vector<uint8_t> CheckBoxUnit::SaveBlock() {
    ReadCheck();
    return WritePropertyBlock(props);
}

bool CheckBoxUnit::OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_CTLCOLORSTATIC && message != WM_CTLCOLORBTN)
        return ButtonControl::OnReflected(message, wParam, lParam, result);
    // A default background follows the system colour, also after it changed.
    const COLORREF back = ResolveColour(props.background);
    if (back != brushColour_ || !brush) {
        MakeBrush(props.background);
        brushColour_ = back;
    }
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, ResolveColour(props.textColour));
    SetBkColor(dc, back);
    result = reinterpret_cast<LRESULT>(brush.get());
    return true;
}

// --- UnitInterface -----------------------------------------------------------------------

namespace {

int32_t IsDefaultButtonEntry(UnitBase* unit) {
    auto* button = dynamic_cast<ButtonUnit*>(unit);
    return button && button->IsDefault() ? 1 : 0;
}

HGLOBAL ListButtonTexts(const void* block, int32_t length, ReportTextFn report, void* argument,
                        uint32_t* newLength) {
    using P = ButtonProperty;
    return ListTextsOf(ButtonUnit::kPropertyRows, {RowOf(P::font), RowOf(P::caption)}, block,
                       length, report, argument, newLength);
}

HGLOBAL ListCheckBoxTexts(const void* block, int32_t length, ReportTextFn report, void* argument,
                          uint32_t* newLength) {
    using P = CheckBoxProperty;
    return ListTextsOf(
        CheckBoxUnit::kPropertyRows,
        {RowOf(P::font), RowOf(P::caption), RowOf(P::dataSource), RowOf(P::dataColumn)}, block,
        length, report, argument, newLength);
}

} // namespace

void* ButtonUnitInterface(int32_t entry) {
    switch (entry) {
    case UnitEntry::ListBlockTexts:
        return reinterpret_cast<void*>(static_cast<ListBlockTextsFn>(&ListButtonTexts));
    case UnitEntry::IsDefaultButton:
        return reinterpret_cast<void*>(static_cast<IsDefaultButtonFn>(&IsDefaultButtonEntry));
    default:
        return CommonUnitEntry<ButtonUnit>(entry);
    }
}

void* CheckBoxUnitInterface(int32_t entry) {
    if (entry == UnitEntry::ListBlockTexts)
        return reinterpret_cast<void*>(static_cast<ListBlockTextsFn>(&ListCheckBoxTexts));
    return CommonUnitEntry<CheckBoxUnit>(entry);
}

} // namespace st

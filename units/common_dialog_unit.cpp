// The common dialog unit and the OpenCommonDialog command.
#include "st/common_dialog_unit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <iterator>

#include "st/window_unit.h"
#include "st/text_core.h"

namespace st {

namespace {

namespace Mode {
constexpr int32_t Open = 0, Save = 1, Font = 2, Help = 3;
}
namespace HelpCommand {
constexpr int32_t Contents = 0, Topic = 1, Popup = 2, ForceFile = 3, OnHelp = 4, Quit = 5;
}

const char kDialogClass[] = "StCommonDialog";
constexpr int32_t kBoldWeight = 700;
constexpr int32_t kPointsPerInch = 72;

// Where the character at pos ends (a lead byte takes the next byte along).
size_t NextChar(std::string_view text, size_t pos) {
    return text::IsLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size()
               ? pos + 2
               : pos + 1;
}

} // namespace

const PropertyEntry CommonDialogPropertyEntries[] = {
    ST_COMMON_PROPERTY_ENTRIES ST_COMMON_DIALOG_PROPERTIES(ST_PROPERTY_ENTRY)};
static_assert(std::size(CommonDialogPropertyEntries) == CommonDialogPropertyCount);
const PropertyRow<CommonDialogUnit, CommonDialogProperties> CommonDialogUnit::kPropertyRows[] = {
    ST_COMMON_DIALOG_PROPERTIES(ST_PROPERTY_ROW)};

DialogShell& CommonDialogShell() {
    static DialogShell shell = {&GetOpenFileNameA, &GetSaveFileNameA, &ChooseFontA, &WinHelpA};
    return shell;
}

// --- Property block ----------------------------------------------------------------------

void CommonDialogProperties::Clamp() {
    ClampFromRows(CommonDialogUnit::kPropertyRows, *this);
}

bool CommonDialogProperties::Transfer(PropertyIO& io) {
    int32_t version;
    if (!TransferVersion(io, kVersion, version)) return false;
    for (int32_t* v : {&mode, &initialFilter, &createPrompt, &fileMustExist, &overwritePrompt,
                       &pathMustExist, &keepDirectory})
        io.I32(*v);
    io.U32(fontColour);
    for (int32_t* v : {&bold, &italic, &strikeOut, &underline, &fontSize, &helpCommand, &helpTopic})
        io.I32(*v);
    for (std::string* t :
         {&title, &fileName, &filter, &initialFolder, &defaultExtension, &faceName, &helpFile})
        io.Text(*t);
    if (io.Reading()) Clamp();
    return !io.Failed();
}

// --- Text helpers --------------------------------------------------------------------------

std::string CutText(std::string_view text, size_t limit) {
    size_t end = 0;
    while (end < text.size()) {
        size_t next = NextChar(text, end);
        if (next > limit) break;
        end = next;
    }
    return std::string(text.substr(0, end));
}

std::string FilterList(std::string_view filter) {
    while (!filter.empty() && filter.back() == ' ')
        filter.remove_suffix(1);
    if (filter.empty()) return {};
    // Split by characters: 0x7C is also the second byte of some GBK
    // characters (東 is 96 7C).
    std::string list;
    bool lastBar = false, barBeforeLast = false;
    for (size_t pos = 0; pos < filter.size();) {
        size_t next = NextChar(filter, pos);
        const bool bar = next == pos + 1 && filter[pos] == '|';
        if (bar)
            list += '\0';
        else
            list.append(filter.substr(pos, next - pos));
        barBeforeLast = lastBar;
        lastBar = bar;
        pos = next;
    }
    if (!(lastBar && barBeforeLast)) list.append(2, '\0');
    return list;
}

// --- The unit ----------------------------------------------------------------------------

bool CommonDialogUnit::Build(const UnitPlacement& at) {
    const DWORD ownStyle = WS_CHILD | WS_CLIPSIBLINGS | (designMode ? WS_BORDER : 0);
    return RegisterUnitClass(kDialogClass, CS_DBLCLKS) &&
           CreateUnitWindow(0, kDialogClass, "", (at.style & ~WS_VISIBLE) | ownStyle, at.left,
                            at.top, at.width, at.height, at.parent, at.ControlMenuId());
}

int32_t CommonDialogUnit::SetProperty(int32_t index, const uint32_t* value) {
    return SetPropertyFromRows(kPropertyRows, *this, props, index, value);
}

int32_t CommonDialogUnit::GetProperty(int32_t index, uint32_t* value) {
    return GetPropertyFromRows(kPropertyRows, props, index, value);
}

HWND CommonDialogUnit::Owner() const {
    HWND root = hwnd ? GetAncestor(hwnd, GA_ROOT) : nullptr;
    return root && root != hwnd ? root : nullptr;
}

int32_t CommonDialogUnit::Run() {
    switch (props.mode) {
    case Mode::Open:
    case Mode::Save:
        return RunFileDialog();
    case Mode::Font:
        return RunFontDialog();
    default:
        return RunHelp();
    }
}

int32_t CommonDialogUnit::RunFileDialog() {
    const bool save = props.mode == Mode::Save;
    DWORD flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    if (props.createPrompt) flags |= OFN_CREATEPROMPT;
    // Only an open dialog asks for an existing file: with it a save dialog
    // may refuse every new name.
    if (props.fileMustExist && !save) flags |= OFN_FILEMUSTEXIST;
    if (props.overwritePrompt) flags |= OFN_OVERWRITEPROMPT;
    if (props.pathMustExist) flags |= OFN_PATHMUSTEXIST;
    if (props.keepDirectory) flags |= OFN_NOCHANGEDIR;

    const std::string filter = FilterList(props.filter);
    // The dialog writes the chosen path here: room for long paths, and for
    // the whole initial name, which therefore never needs cutting.
    std::vector<char> name(std::max(kMinFileBuffer, props.fileName.size() + 1), '\0');
    std::memcpy(name.data(), props.fileName.data(), props.fileName.size());

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Owner();
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex =
        filter.empty() ? 0 : static_cast<DWORD>(std::max(props.initialFilter, 0)) + 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrInitialDir = props.initialFolder.empty() ? nullptr : props.initialFolder.c_str();
    ofn.lpstrTitle = props.title.empty() ? nullptr : props.title.c_str();
    ofn.lpstrDefExt = props.defaultExtension.empty() ? nullptr : props.defaultExtension.c_str();
    ofn.Flags = flags;

    HWND self = hwnd;
    const DialogShell& shell = CommonDialogShell();
    const BOOL confirmed = save ? shell.getSaveFileName(&ofn) : shell.getOpenFileName(&ofn);
    if (!confirmed || !Alive(self)) return 0;
    name.back() = '\0';
    props.fileName = name.data();
    return 1;
}

int32_t CommonDialogUnit::RunFontDialog() {
    LOGFONTA font{};
    if (props.bold) font.lfWeight = kBoldWeight;
    font.lfItalic = props.italic ? 1 : 0;
    font.lfUnderline = props.underline ? 1 : 0;
    font.lfStrikeOut = props.strikeOut ? 1 : 0;
    const std::string face = CutText(props.faceName, kFaceNameLimit);
    std::memcpy(font.lfFaceName, face.data(), face.size());
    const int32_t dpi = ScreenDpi();
    if (props.fontSize != 0) font.lfHeight = -MulDiv(props.fontSize, dpi, kPointsPerInch);

    CHOOSEFONTA choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = Owner();
    choose.lpLogFont = &font;
    // Without CF_INITTOLOGFONTSTRUCT the dialog would ignore the font above.
    choose.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
    choose.rgbColors = static_cast<COLORREF>(props.fontColour);

    HWND self = hwnd;
    if (!CommonDialogShell().chooseFont(&choose) || !Alive(self)) return 0;
    props.fontColour = choose.rgbColors;
    props.bold = font.lfWeight >= kBoldWeight;
    props.italic = font.lfItalic != 0;
    props.strikeOut = font.lfStrikeOut != 0;
    props.underline = font.lfUnderline != 0;
    props.faceName = CutText(
        std::string_view(font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE)), kFaceNameLimit);
    props.fontSize = MulDiv(std::abs(font.lfHeight), kPointsPerInch, dpi);
    return 1;
}

int32_t CommonDialogUnit::RunHelp() {
    auto* window = dynamic_cast<WindowUnit*>(reinterpret_cast<UnitBase*>(
        static_cast<uintptr_t>(CallRuntime(CallbackCode::FindUnitObject, windowId, 0))));
    if (!window || !window->hwnd || !IsWindow(window->hwnd)) return 0;
    HWND owner = window->hwnd;
    const DialogShell& shell = CommonDialogShell();
    switch (props.helpCommand) {
    // The mark changes before the call: the help program may take a while,
    // and what the window does on its destruction must match what was asked.
    case HelpCommand::OnHelp:
        window->SetHelpOpened(true);
        shell.winHelp(owner, nullptr, HELP_HELPONHELP, 0);
        return 1;
    case HelpCommand::Quit:
        window->SetHelpOpened(false);
        shell.winHelp(owner, nullptr, HELP_QUIT, 0);
        return 1;
    default:
        break;
    }
    const std::string file = HelpFileName(props.helpFile);
    if (file.empty() || GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
    UINT command = HELP_FINDER;
    ULONG_PTR data = 0;
    if (props.helpCommand == HelpCommand::ForceFile) {
        command = HELP_FORCEFILE;
    } else if ((props.helpCommand == HelpCommand::Topic ||
                props.helpCommand == HelpCommand::Popup) &&
               props.helpTopic != 0) {
        command = props.helpCommand == HelpCommand::Topic ? HELP_CONTEXT : HELP_CONTEXTPOPUP;
        data = static_cast<ULONG_PTR>(props.helpTopic);
    }
    window->SetHelpOpened(true);
    shell.winHelp(owner, file.c_str(), command, data);
    return 1;
}

// --- UnitInterface -----------------------------------------------------------------------

namespace {

HGLOBAL ListDialogTexts(const void* block, int32_t length, ReportTextFn report, void* argument,
                        uint32_t* newLength) {
    using P = CommonDialogProperty;
    return ListTextsOf(CommonDialogUnit::kPropertyRows,
                       {RowOf(P::title), RowOf(P::fileName), RowOf(P::filter),
                        RowOf(P::initialFolder), RowOf(P::defaultExtension), RowOf(P::faceName),
                        RowOf(P::helpFile)},
                       block, length, report, argument, newLength);
}

} // namespace

void* CommonDialogUnitInterface(int32_t entry) {
    if (entry == UnitEntry::ListBlockTexts)
        return reinterpret_cast<void*>(static_cast<ListBlockTextsFn>(&ListDialogTexts));
    return CommonUnitEntry<CommonDialogUnit>(entry);
}

// --- The command ---------------------------------------------------------------------------

// The argument names the unit: low word the window's id, high word the unit's.
void OpenCommonDialog(ArgRecord* result, int32_t count, ArgRecord* args) {
    if (!result) return;
    result->low = 0;
    if (count < 1 || !args) return;
    auto* dialog =
        dynamic_cast<CommonDialogUnit*>(reinterpret_cast<UnitBase*>(static_cast<uintptr_t>(
            CallRuntime(CallbackCode::GetUnitObject, args[0].low, args[0].high))));
    result->low = dialog && dialog->Run() != 0 ? 1 : 0;
}

} // namespace st

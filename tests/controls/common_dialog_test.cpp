// The common dialog and OpenCommonDialog: what the file, font and help calls
// are given and what comes back into the properties (recorders in place of
// the modal dialogs), and one real save dialog driven from another thread.
#include <doctest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "controls_windows.h"
#include "st/common_dialog_unit.h"
#include "st/window_unit.h"

using namespace controls;

namespace {

// Where application code finds the command in the core library's table.
constexpr int kOpenCommonDialogIndex = 37;

bool RunDialog() {
    st::ArgRecord unit{W, Dialog, st::UnitType::CommonDialog};
    st::ArgRecord result = st::Services.CallLibraryCommand2(
        st::CoreLibrary.commands[kOpenCommonDialogIndex], 1, &unit);
    return result.low != 0;
}

struct DialogLog {
    int fileCalls = 0, fontCalls = 0;
    bool savedWith = false;
    OPENFILENAMEA file{};
    std::string filter, initialName, defaultExtension;
    bool zeroedBuffer = false;
    LOGFONTA font{};
    CHOOSEFONTA choose{};
    std::string chosen; // written back as the user's choice; empty = cancel
    LOGFONTA chosenFont{};
    std::vector<std::pair<UINT, ULONG_PTR>> help;
    std::vector<std::string> helpFiles;
    HWND helpOwner = nullptr;
} dialogLog;

BOOL FileDialog(LPOPENFILENAMEA ofn, bool save) {
    ++dialogLog.fileCalls;
    dialogLog.savedWith = save;
    dialogLog.file = *ofn;
    if (ofn->lpstrFilter) {
        const char* end = ofn->lpstrFilter;
        while (end[0] || end[1])
            ++end;
        dialogLog.filter.assign(ofn->lpstrFilter, end + 2);
    }
    dialogLog.initialName = ofn->lpstrFile;
    dialogLog.defaultExtension = ofn->lpstrDefExt ? ofn->lpstrDefExt : "(none)";
    dialogLog.zeroedBuffer = true;
    for (size_t i = dialogLog.initialName.size(); i < ofn->nMaxFile; ++i)
        if (ofn->lpstrFile[i]) dialogLog.zeroedBuffer = false;
    if (dialogLog.chosen.empty()) return FALSE;
    std::memcpy(ofn->lpstrFile, dialogLog.chosen.c_str(), dialogLog.chosen.size() + 1);
    return TRUE;
}
BOOL WINAPI FakeOpen(LPOPENFILENAMEA ofn) {
    return FileDialog(ofn, false);
}
BOOL WINAPI FakeSave(LPOPENFILENAMEA ofn) {
    return FileDialog(ofn, true);
}
BOOL WINAPI FakeFont(LPCHOOSEFONTA choose) {
    ++dialogLog.fontCalls;
    dialogLog.choose = *choose;
    dialogLog.font = *choose->lpLogFont;
    if (dialogLog.chosen.empty()) return FALSE;
    *choose->lpLogFont = dialogLog.chosenFont;
    choose->rgbColors = 0x00123456;
    return TRUE;
}
BOOL WINAPI FakeHelp(HWND owner, LPCSTR file, UINT command, ULONG_PTR data) {
    dialogLog.helpOwner = owner;
    dialogLog.help.emplace_back(command, data);
    dialogLog.helpFiles.push_back(file ? file : "(none)");
    return TRUE;
}

struct FakeDialogs {
    st::DialogShell saved = st::CommonDialogShell();
    FakeDialogs() {
        dialogLog = DialogLog{};
        st::CommonDialogShell() = {&FakeOpen, &FakeSave, &FakeFont, &FakeHelp};
    }
    ~FakeDialogs() { st::CommonDialogShell() = saved; }
};

std::string Temporary(const char* name) {
    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    return std::string(dir) + name;
}

st::WindowUnit* Window() {
    return dynamic_cast<st::WindowUnit*>(Object(0));
}

} // namespace

TEST_CASE("filters: trailing blanks, the \"||\" end, and bars that are half a character") {
    using std::string_literals::operator""s;
    CHECK(st::FilterList("MP3|*.MP3") == "MP3\0*.MP3\0\0"s);
    CHECK(st::FilterList("A|*.a|B|*.b||") == "A\0*.a\0B\0*.b\0\0"s);
    CHECK(st::FilterList("A|*.a   ") == "A\0*.a\0\0"s);
    CHECK(st::FilterList("   ").empty());
    CHECK(st::FilterList("").empty());
    // 東 is 96 7C: its second byte is no separator, and a filter ending in it
    // does not end in "||".
    CHECK(st::FilterList("\x96|文件|*.x") == "\x96|文件\0*.x\0\0"s);
    CHECK(st::FilterList("A|\x96||") == "A\0\x96|\0\0\0"s);
}

TEST_CASE("text cuts never leave half a character") {
    CHECK(st::CutText(std::string(40, 'F'), 31) == std::string(31, 'F'));
    CHECK(st::CutText(std::string(30, 'F') + "宋体", 31) == std::string(30, 'F'));
    CHECK(st::CutText(std::string(29, 'F') + "宋体", 31) == std::string(29, 'F') + "宋");
    CHECK(st::CutText("宋体", 31) == "宋体");
}

TEST_CASE("save mode: what the dialog is given and the path it confirms") {
    TestWindow window;
    FakeDialogs dialogs;
    dialogLog.chosen = "C:\\音频\\voice.MP3";
    REQUIRE(RunDialog());
    CHECK(dialogLog.savedWith);
    CHECK(dialogLog.file.hwndOwner == window.hwnd);
    const DWORD flags = dialogLog.file.Flags;
    CHECK((flags & OFN_HIDEREADONLY));
    CHECK((flags & OFN_EXPLORER));
    CHECK((flags & OFN_OVERWRITEPROMPT));
    CHECK((flags & OFN_PATHMUSTEXIST));
    CHECK(!(flags & OFN_FILEMUSTEXIST)); // stored as 1, but this is a save dialog
    CHECK(!(flags & (OFN_CREATEPROMPT | OFN_NOCHANGEDIR)));
    CHECK(dialogLog.filter == std::string("MP3\0*.MP3\0\0", 11));
    CHECK(dialogLog.file.nFilterIndex == 1);
    CHECK(dialogLog.defaultExtension == "MP3");
    CHECK(dialogLog.file.nMaxFile >= 1024);
    CHECK(dialogLog.initialName.empty());
    CHECK(dialogLog.zeroedBuffer);
    CHECK(dialogLog.file.lpstrTitle == nullptr);
    CHECK(dialogLog.file.lpstrInitialDir == nullptr);
    CHECK(GetText(Dialog, 10) == "C:\\音频\\voice.MP3"); // a cancel: the real dialog's test
}

TEST_CASE("open mode: its flags, a negative initial filter, a long initial name, no filter") {
    TestWindow window;
    FakeDialogs dialogs;
    Set(Dialog, 8, 0);
    Set(Dialog, 12, static_cast<uint32_t>(-4));
    CHECK(Get(Dialog, 12) == 0);
    Set(Dialog, 19, 1);
    const std::string name = "C:\\" + std::string(1500, 'n') + ".mp3";
    SetText(Dialog, 10, name);
    SetText(Dialog, 9, "打开");
    CHECK(!RunDialog());
    CHECK(!dialogLog.savedWith);
    CHECK((dialogLog.file.Flags & OFN_FILEMUSTEXIST));
    CHECK((dialogLog.file.Flags & OFN_NOCHANGEDIR));
    CHECK(dialogLog.file.nFilterIndex == 1);
    CHECK(dialogLog.initialName == name);
    CHECK(dialogLog.zeroedBuffer);
    CHECK(std::string(dialogLog.file.lpstrTitle) == "打开");

    SetText(Dialog, 11, ""); // no filter: no list and filter number 0
    RunDialog();
    CHECK(dialogLog.file.lpstrFilter == nullptr);
    CHECK(dialogLog.file.nFilterIndex == 0);
}

TEST_CASE("font mode: the font given to the dialog and the choice read back") {
    TestWindow window;
    FakeDialogs dialogs;
    Set(Dialog, 8, 2);
    SetText(Dialog, 25, std::string(40, 'F')); // 40 bytes: 31 are used
    Set(Dialog, 21, 1);
    Set(Dialog, 24, 1);
    Set(Dialog, 26, 12);
    Set(Dialog, 20, 0x00000080);
    dialogLog.chosen = "yes";
    dialogLog.chosenFont = LOGFONTA{};
    dialogLog.chosenFont.lfHeight = -32;
    dialogLog.chosenFont.lfWeight = 400;
    dialogLog.chosenFont.lfItalic = 1;
    std::strcpy(dialogLog.chosenFont.lfFaceName, "宋体");
    REQUIRE(RunDialog());

    CHECK(std::string(dialogLog.font.lfFaceName) == std::string(31, 'F'));
    CHECK(dialogLog.font.lfWeight == 700);
    CHECK(dialogLog.font.lfUnderline == 1);
    CHECK(dialogLog.font.lfItalic == 0);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    CHECK(dialogLog.font.lfHeight == -MulDiv(12, dpi, 72));
    CHECK(dialogLog.choose.hwndOwner == window.hwnd);
    CHECK((dialogLog.choose.Flags & CF_INITTOLOGFONTSTRUCT));
    CHECK((dialogLog.choose.Flags & CF_SCREENFONTS));
    CHECK((dialogLog.choose.Flags & CF_EFFECTS));
    CHECK(dialogLog.choose.rgbColors == 0x00000080);

    CHECK(Get(Dialog, 20) == 0x00123456);
    CHECK(Get(Dialog, 21) == 0);
    CHECK(Get(Dialog, 22) == 1);
    CHECK(Get(Dialog, 24) == 0);
    CHECK(GetText(Dialog, 25) == "宋体");
    CHECK(Get(Dialog, 26) == static_cast<uint32_t>(MulDiv(32, 72, dpi)));

    dialogLog.chosen.clear();
    CHECK(!RunDialog());
    CHECK(GetText(Dialog, 25) == "宋体");
}

TEST_CASE("help mode: commands, the help file and the window's help mark") {
    TestWindow window;
    FakeDialogs dialogs;
    Set(Dialog, 8, 3);
    Set(Dialog, 28, 4); // help on help
    CHECK(RunDialog());
    CHECK(Window()->HelpOpened());
    CHECK(dialogLog.helpOwner == window.hwnd);
    Set(Dialog, 28, 5); // close help
    CHECK(RunDialog());
    CHECK(!Window()->HelpOpened());
    Set(Dialog, 28, 0); // the program's own help file does not exist: nothing is called
    CHECK(!RunDialog());
    REQUIRE(dialogLog.help.size() == 2);
    CHECK(dialogLog.help[0].first == HELP_HELPONHELP);
    CHECK(dialogLog.help[1].first == HELP_QUIT);

    const std::string file = Temporary("controls_test.hlp");
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    CloseHandle(h);
    SetText(Dialog, 27, file);
    Set(Dialog, 28, 1);
    Set(Dialog, 29, 7);
    CHECK(RunDialog());
    CHECK(Window()->HelpOpened());
    CHECK(dialogLog.help.back() == std::make_pair(UINT(HELP_CONTEXT), ULONG_PTR(7)));
    CHECK(dialogLog.helpFiles.back() == file);
    Set(Dialog, 28, 5);
    RunDialog();
    DeleteFileA(file.c_str());
}

namespace {

BOOL CALLBACK FindDialog(HWND w, LPARAM found) {
    char name[16] = {};
    GetClassNameA(w, name, sizeof name);
    if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(w)) {
        *reinterpret_cast<HWND*>(found) = w;
        return FALSE;
    }
    return TRUE;
}

// Answers the save dialog from another thread, as a person would: a name
// typed into the name box, then OK (or Cancel).
struct DialogDriver {
    DWORD thread;
    HWND owner;
    std::string name;
    bool confirm;
    std::atomic<bool> sawDialog{false}, ownerDisabled{false}, ownedByOwner{false};
    std::thread worker;

    DialogDriver(HWND ownerWindow, std::string typed, bool ok)
        : thread(GetCurrentThreadId()), owner(ownerWindow), name(std::move(typed)), confirm(ok) {
        worker = std::thread([this] { Drive(); });
    }
    ~DialogDriver() { worker.join(); }

    void Drive() {
        HWND dialog = nullptr;
        for (DWORD start = GetTickCount(); !dialog && GetTickCount() - start < 60000; Sleep(50))
            EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
        if (!dialog) return;
        sawDialog = true;
        ownedByOwner = GetWindow(dialog, GW_OWNER) == owner;
        ownerDisabled = !IsWindowEnabled(owner);
        // The name box: a combo box (cmb13) on Windows, an edit (edt1) elsewhere.
        HWND box = GetDlgItem(dialog, 0x47C);
        if (!box) box = GetDlgItem(dialog, 0x480);
        if (box) SendMessageA(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(confirm ? IDOK : IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, confirm ? IDOK : IDCANCEL)));
    }
};

} // namespace

TEST_CASE("a real save dialog: owned by the window, which it disables; the default extension "
          "added") {
    TestWindow window;
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    SetText(Dialog, 13, folder);
    std::string expected = std::string(folder) + "controls_saved.MP3";
    DeleteFileA(expected.c_str());
    {
        DialogDriver driver(window.hwnd, "controls_saved", true);
        CHECK(RunDialog());
    }
    std::string chosen = GetText(Dialog, 10);
    CHECK(lstrcmpiA(chosen.c_str(), expected.c_str()) == 0);
    CHECK(IsWindowEnabled(window.hwnd));

    DialogDriver cancel(window.hwnd, "other", false);
    CHECK(!RunDialog());
    CHECK(cancel.sawDialog);
    CHECK(cancel.ownedByOwner);
    CHECK(cancel.ownerDisabled);
    CHECK(GetText(Dialog, 10) == chosen);
}

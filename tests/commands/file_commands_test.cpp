// File, directory and system commands, on memory files, a scratch folder and
// real message boxes.
#include <doctest.h>

#include "command_calls.h"
#include "st/library_commands.h"
#include "st/runtime_file.h"

#include <windows.h>

#include <cmath>
#include <string>
#include <thread>

using namespace cmdtest;
namespace cmd = st::cmd;

namespace {

ArgRecord Number(uint32_t n) {
    return Of(Tag::Int, n);
}

// A memory file holding the given bytes, pointer back at the start.
uint32_t MemoryFileWith(const std::string& data) {
    uint32_t f = Call(cmd::OpenMemoryFile, {}).low;
    Bytes bytes(data);
    REQUIRE(Call(cmd::WriteData, {Number(f), bytes.Arg()}).low == 1);
    REQUIRE(Call(cmd::SeekToStart, {Number(f)}).low == 1);
    return f;
}

std::string ScratchDir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string dir = std::string(base) + "st_cmd_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string data(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    if (!data.empty()) ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
    CloseHandle(h);
    return data.substr(0, got);
}

} // namespace

TEST_CASE("ReadLine and IsEndOfFile on a, CR, LF, CR, LF, b") {
    uint32_t f = MemoryFileWith("a\r\n\r\nb");
    CHECK(Call(cmd::IsEndOfFile, {Number(f)}).low == 0);
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "a");
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "<null>");
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "b");
    CHECK(Call(cmd::IsEndOfFile, {Number(f)}).low == 1);
    CHECK(Call(cmd::IsEndOfFile, {Number(f), Bool(true)}).low == 1);
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "<null>");
    Call(cmd::CloseFile, {Number(f)});
}

TEST_CASE("ReadLine stops on NUL and 0x1A without consuming them") {
    uint32_t f = MemoryFileWith(std::string("ab\0cd\x1A", 6));
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "ab");
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "<null>");
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "<null>"); // still on the NUL
    // IsEndOfFile only looks at the terminator when asked to.
    CHECK(Call(cmd::IsEndOfFile, {Number(f)}).low == 0);
    CHECK(Call(cmd::IsEndOfFile, {Number(f), Bool(true)}).low == 1);
    CHECK(Call(cmd::IsEndOfFile, {Number(f), Bool(false)}).low == 0);
    // Stepping over the NUL by hand: the next line ends on 0x1A.
    CHECK(TakeBytes(Call(cmd::ReadData, {Number(f), Int(1)})) == std::string(1, '\0'));
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "cd");
    CHECK(Call(cmd::IsEndOfFile, {Number(f)}).low == 0);
    CHECK(Call(cmd::IsEndOfFile, {Number(f), Bool(true)}).low == 1);
    Call(cmd::CloseFile, {Number(f)});
}

TEST_CASE("ReadLine across blocks and with double-byte characters") {
    // A double-byte character split by the 512-byte block boundary, whose
    // second byte is a line feed when read alone.
    std::string first(511, 'x');
    first += "\x81\x0A"
             "tail\nnext";
    uint32_t f = MemoryFileWith(first);
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == std::string(511, 'x') + "\x81\x0A"
                                                                                "tail");
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "next");
    Call(cmd::CloseFile, {Number(f)});

    // A lone lead byte as the file's last byte ends the line instead of stalling.
    f = MemoryFileWith("ab\xD6");
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "ab\xD6");
    CHECK(Call(cmd::IsEndOfFile, {Number(f)}).low == 1);
    Call(cmd::CloseFile, {Number(f)});

    // A lead byte before a NUL: the line ends at the NUL.
    f = MemoryFileWith(std::string("a\xD6\0b", 4));
    CHECK(TakeText(Call(cmd::ReadLine, {Number(f)})) == "a\xD6");
    Call(cmd::CloseFile, {Number(f)});
}

TEST_CASE("WriteText renders values and WriteData writes bytes; both grow the memory file") {
    uint32_t f = Call(cmd::OpenMemoryFile, {}).low;
    CHECK(Call(cmd::WriteText, {Number(f), Text("n="), Int(-3), Bool(true), Of(Tag::Opaque8, 1, 1),
                                Text(st::EmptyText)})
              .low == 1);
    Bytes raw(std::string("\0\x01", 2));
    CHECK(Call(cmd::WriteData, {Number(f), raw.Arg(), Of(Tag::Bytes, Word(st::EmptyBlock))}).low ==
          1);
    CHECK(AsInt(Call(cmd::FileLength, {Number(f)})) == 8);
    CHECK(Call(cmd::SeekToStart, {Number(f)}).low == 1);
    CHECK(TakeBytes(Call(cmd::ReadData, {Number(f), Int(100)})) == std::string("n=-3真\0\x01", 8));
    CHECK(TakeBytes(Call(cmd::ReadData, {Number(f), Int(100)})) == "<null>");
    CHECK(TakeBytes(Call(cmd::ReadData, {Number(f), Int(0)})) == "<null>");
    // A count far beyond what is left reads what is left, without asking for that much memory.
    CHECK(Call(cmd::SeekToStart, {Number(f)}).low == 1);
    CHECK(TakeBytes(Call(cmd::ReadData, {Number(f), Int(0x7FFFFFF0)})) ==
          std::string("n=-3真\0\x01", 8));

    // Growth in steps of 1024 bytes, contents kept.
    auto* file = static_cast<cmd::MemoryFile*>(cmd::OpenFileTable::Instance().Find(f));
    REQUIRE(file != nullptr);
    CHECK(file->Capacity() == 1024);
    std::string big(1500, 'q');
    CHECK(Call(cmd::WriteText, {Number(f), Text(big.c_str())}).low == 1);
    CHECK(file->Capacity() == 2048);
    CHECK(AsInt(Call(cmd::FileLength, {Number(f)})) == 1508);
    Call(cmd::SeekToStart, {Number(f)});
    std::string back = TakeBytes(Call(cmd::ReadData, {Number(f), Int(5000)}));
    CHECK(back.size() == 1508);
    CHECK(back.substr(0, 4) == "n=-3");
    CHECK(back.substr(8) == big);
    Call(cmd::CloseFile, {Number(f)});
}

TEST_CASE("Commands given a FileNumber that is not open") {
    uint32_t f = Call(cmd::OpenMemoryFile, {}).low;
    Call(cmd::CloseFile, {Number(f)});
    Bytes data("x");
    for (uint32_t stale : {f, 0u, 12345u}) {
        CAPTURE(stale);
        CHECK(Call(cmd::SeekToStart, {Number(stale)}).low == 0);
        CHECK(TakeBytes(Call(cmd::ReadData, {Number(stale), Int(10)})) == "<null>");
        CHECK(TakeText(Call(cmd::ReadLine, {Number(stale)})) == "<null>");
        CHECK(Call(cmd::WriteData, {Number(stale), data.Arg()}).low == 0);
        CHECK(Call(cmd::WriteText, {Number(stale), Text("x")}).low == 0);
        CHECK(Call(cmd::IsEndOfFile, {Number(stale)}).low == 1);
        CHECK(AsInt(Call(cmd::FileLength, {Number(stale)})) == -1);
        Call(cmd::CloseFile, {Number(stale)}); // does nothing, does not crash
    }
    CHECK(cmd::OpenFileTable::Instance().LookUp(f) == -1);
}

TEST_CASE("OpenFileTable: register once, look up the kind, unregister once") {
    cmd::OpenFileTable table;
    cmd::MemoryFile file;
    table.Register(&file, 2);
    table.Register(&file, 5);
    CHECK(table.LookUp(cmd::FileNumberOf(&file)) == 2);
    CHECK(table.Unregister(cmd::FileNumberOf(&file)));
    CHECK_FALSE(table.Unregister(cmd::FileNumberOf(&file)));
    CHECK(table.LookUp(cmd::FileNumberOf(&file)) == -1);
}

TEST_CASE("Whole-file reading and writing") {
    const std::string dir = ScratchDir();
    const std::string path = dir + "\\音频.mp3";
    Bytes a("ID3"), b(std::string("\0\xFF", 2));
    CHECK(Call(cmd::WriteWholeFile,
               {Text(path.c_str()), a.Arg(), Of(Tag::Bytes, Word(st::EmptyBlock)), b.Arg()})
              .low == 1);
    CHECK(ReadFileBytes(path) == std::string("ID3\0\xFF", 5));
    CHECK(TakeBytes(Call(cmd::ReadWholeFile, {Text(path.c_str())})) == std::string("ID3\0\xFF", 5));

    // Empty data truncates to an empty file, and reading that gives null.
    CHECK(
        Call(cmd::WriteWholeFile, {Text(path.c_str()), Of(Tag::Bytes, Word(st::EmptyBlock))}).low ==
        1);
    CHECK(ReadFileBytes(path).empty());
    CHECK(TakeBytes(Call(cmd::ReadWholeFile, {Text(path.c_str())})) == "<null>");

    // A value that is no byte set contributes nothing, however its words look.
    static const char lookalike[] = "\x01\0\0\0\x03\0\0\0XYZ";
    CHECK(Call(cmd::WriteWholeFile, {Text(path.c_str()), Text(lookalike), a.Arg()}).low == 1);
    CHECK(ReadFileBytes(path) == "ID3");

    CHECK(Call(cmd::WriteWholeFile, {Text(st::EmptyText), a.Arg()}).low == 0);
    CHECK(Call(cmd::WriteWholeFile, {Text((dir + "\\no\\such.bin").c_str()), a.Arg()}).low == 0);
    CHECK(TakeBytes(Call(cmd::ReadWholeFile, {Text(st::EmptyText)})) == "<null>");
    CHECK(TakeBytes(Call(cmd::ReadWholeFile, {Text((dir + "\\missing").c_str())})) == "<null>");
    DeleteFileA(path.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_CASE("MakeDirectory, FileExists and RunDirectory") {
    const std::string dir = ScratchDir();
    const std::string sub = dir + "\\音频文件";
    CHECK(Call(cmd::FileExists, {Text(sub.c_str())}).low == 0);
    CHECK(Call(cmd::MakeDirectory, {Text(sub.c_str())}).low == 1);
    CHECK(Call(cmd::MakeDirectory, {Text(sub.c_str())}).low == 0); // exists already
    CHECK(Call(cmd::FileExists, {Text(sub.c_str())}).low == 1);    // folder, no backslash
    CHECK(Call(cmd::FileExists, {Text((dir + "\\*").c_str())}).low == 1);
    CHECK(Call(cmd::FileExists, {Text(st::EmptyText)}).low == 0);
    // One level only: a missing parent makes nothing.
    const std::string deep = dir + "\\a\\b";
    CHECK(Call(cmd::MakeDirectory, {Text(deep.c_str())}).low == 0);
    CHECK(Call(cmd::FileExists, {Text((dir + "\\a").c_str())}).low == 0);
    RemoveDirectoryA(sub.c_str());
    RemoveDirectoryA(dir.c_str());

    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string expected(module);
    expected.resize(expected.rfind('\\'));
    CHECK(TakeText(Call(cmd::RunDirectory, {})) == expected);
}

TEST_CASE("Now is the local time in whole seconds") {
    SYSTEMTIME before;
    GetLocalTime(&before);
    double now = AsDouble(Call(cmd::Now, {}));
    double seconds = now * 86400.0;
    CHECK(std::fabs(seconds - std::round(seconds)) < 1e-3);
    std::string text = TakeText(Call(cmd::ToText, {Double(now, Tag::DateTime)}));
    std::string day = std::to_string(before.wYear) + "年" + std::to_string(before.wMonth) + "月";
    CHECK(text.rfind(day, 0) == 0);
}

namespace {

struct BoxSeen {
    bool found = false;
    std::string text;
    bool okVisible = false, cancelVisible = false, yesVisible = false;
    bool ownerWindowDisabled = false;
    bool informationIcon = false;
};

// The box's message is its one static control that is not the icon (0x440).
BOOL CALLBACK CollectText(HWND child, LPARAM param) {
    char cls[32] = {}, buffer[256] = {};
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, buffer, sizeof buffer);
    auto* seen = reinterpret_cast<BoxSeen*>(param);
    if (lstrcmpiA(cls, "Static") == 0 && GetDlgCtrlID(child) != 0x440 && buffer[0])
        seen->text = buffer;
    return TRUE;
}

// Waits (bounded) for a message box with this caption on another thread,
// records what it shows and presses the given button.
std::thread AnswerBox(const std::string& caption, int button, BoxSeen* seen, HWND watched) {
    return std::thread([=] {
        HWND box = nullptr;
        for (int i = 0; i < 200 && !box; ++i) {
            box = FindWindowA("#32770", caption.c_str());
            if (!box) Sleep(50);
        }
        if (!box) return;
        // The box is shown once its set-up is done.
        for (int i = 0; i < 200 && !IsWindowVisible(box); ++i)
            Sleep(10);
        seen->found = true;
        EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(seen));
        auto visible = [&](int id) {
            HWND b = GetDlgItem(box, id);
            return b && IsWindowVisible(b);
        };
        seen->okVisible = visible(IDOK);
        seen->cancelVisible = visible(IDCANCEL);
        seen->yesVisible = visible(IDYES);
        seen->ownerWindowDisabled = watched && !IsWindowEnabled(watched);
        HICON shown = reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x440, STM_GETICON, 0, 0));
        seen->informationIcon = shown && shown == LoadIcon(nullptr, IDI_INFORMATION);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    });
}

HWND TopLevelWindow() {
    return CreateWindowExA(0, "STATIC", "watched", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           nullptr, nullptr);
}

} // namespace

TEST_CASE("ShowMessage: default caption, task-modal, information icon, OK gives 0") {
    HWND watched = TopLevelWindow();
    BoxSeen seen;
    std::thread answer = AnswerBox("信息：", IDOK, &seen, watched);
    ArgRecord r = Call(cmd::ShowMessage, {Text("你好"), Int(0x40)});
    answer.join();
    CHECK(seen.found);
    CHECK(AsInt(r) == 0);
    CHECK(seen.text == "你好");
    CHECK(seen.okVisible);
    CHECK_FALSE(seen.cancelVisible);
    CHECK(seen.informationIcon);
    CHECK(seen.ownerWindowDisabled); // task-modal: the thread's windows are disabled
    CHECK(IsWindowEnabled(watched));
    DestroyWindow(watched);
}

TEST_CASE("ShowMessage: caption and value kinds, button codes minus one, system-modal") {
    HWND watched = TopLevelWindow();
    BoxSeen seen;
    std::thread answer = AnswerBox("问", IDNO, &seen, watched);
    ArgRecord r = Call(cmd::ShowMessage, {Int(42), Int(MB_YESNO | MB_SYSTEMMODAL), Text("问")});
    answer.join();
    CHECK(seen.found);
    CHECK(AsInt(r) == 6);
    CHECK(seen.text == "42");
    CHECK(seen.yesVisible);
    CHECK_FALSE(seen.ownerWindowDisabled); // system-modal: no task-modal flag added

    BoxSeen retry;
    answer = AnswerBox("再试", IDRETRY, &retry, nullptr);
    r = Call(cmd::ShowMessage, {Bool(false), Int(MB_RETRYCANCEL), Text("再试")});
    answer.join();
    CHECK(AsInt(r) == 3);
    CHECK(retry.text == "假");
    DestroyWindow(watched);
}

namespace {
int g_delivered = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_APP + 5) ++g_delivered;
    return DefWindowProcA(w, m, wp, lp);
}
} // namespace

TEST_CASE("ProcessEvents dispatches what waits and leaves WM_QUIT queued") {
    WNDCLASSA wc{};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "st_process_events_test";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance,
                             nullptr);
    REQUIRE(w);
    MSG drain;
    while (PeekMessageA(&drain, nullptr, 0, 0, PM_REMOVE)) {
    }
    PostMessageA(w, WM_APP + 5, 0, 0);
    PostMessageA(w, WM_APP + 5, 0, 0);
    Call(cmd::ProcessEvents, {});
    CHECK(g_delivered == 2);
    MSG msg;
    CHECK_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));

    PostMessageA(w, WM_APP + 5, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 7, 0);
    PostMessageA(w, WM_APP + 5, 0, 0);
    Call(cmd::ProcessEvents, {});
    CHECK(g_delivered == 3);
    REQUIRE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    CHECK(msg.message == WM_QUIT);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    DestroyWindow(w);
}

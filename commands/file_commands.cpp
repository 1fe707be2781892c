// File, directory and system commands. None of them raises a run-time error
// for a file problem: failures come back as false, null, -1 (or true from
// IsEndOfFile), and a number that is not open is one of those failures.
#include "st/library_commands.h"

#include "command_support.h"
#include "st/services.h"
#include "st/runtime_file.h"

#include <windows.h>

#include <string>

namespace st::cmd {
namespace {

RuntimeFile* OpenFile(const ArgRecord& number) {
    return OpenFileTable::Instance().Find(number.low);
}

std::string CString(std::string_view s) {
    return std::string(s);
}

// The bytes of a byte-set argument; any other kind of value has none (its
// words are no byte set and must not be read as one).
std::string_view BytesOf(const ArgRecord& v) {
    return v.tag == TypeTag::Bytes ? ByteSetArg(v) : std::string_view();
}

// Writes each value argument from index 1 on through render(); arguments that
// render() declines are skipped. On a file error the pointer goes back to
// where it was and the answer is false.
template <typename Render>
bool WriteTextCore(int32_t count, const ArgRecord* args, bool lineEnds, Render render) {
    RuntimeFile* file = OpenFile(Arg(count, args, 0));
    if (!file) return false;
    const int64_t mark = file->Position();
    for (int32_t i = 1; i < count; ++i) {
        std::optional<std::string> bytes = render(args[i]);
        if (!bytes) continue;
        if (lineEnds) bytes->append("\r\n");
        if (!file->Write(bytes->data(), static_cast<int32_t>(bytes->size()))) {
            file->Seek(mark, FILE_BEGIN);
            return false;
        }
    }
    return true;
}

} // namespace

// Runtime-callback requests of the core library.
namespace Request {
constexpr int32_t ProgramDirectory = 2003;
constexpr int32_t ProcessMessages = 2018;
} // namespace Request

void RunDirectory(ArgRecord* result, int32_t, ArgRecord*) {
    // The directory the runtime stored at start-up; before start-up (no
    // callback yet) the same split of the module path.
    if (RuntimeCallbackFn callback = CoreRuntimeCallback()) {
        const char* stored = reinterpret_cast<const char*>(
            static_cast<uintptr_t>(callback(Request::ProgramDirectory, 0, 0)));
        SetPointer(result, NewText(stored ? stored : ""));
        return;
    }
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string_view whole(path, n);
    size_t slash = whole.rfind('\\');
    SetPointer(result, NewText(slash == std::string_view::npos ? std::string_view()
                                                               : whole.substr(0, slash)));
}

void Now(ArgRecord* result, int32_t, ArgRecord*) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    SetDouble(result,
              text::MakeDateTime({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}));
}

void MakeDirectory(ArgRecord* result, int32_t count, ArgRecord* args) {
    std::string path = CString(TextArg(Arg(count, args, 0)));
    SetBool(result, !path.empty() && CreateDirectoryA(path.c_str(), nullptr));
}

void FileExists(ArgRecord* result, int32_t count, ArgRecord* args) {
    std::string path = CString(TextArg(Arg(count, args, 0)));
    if (path.empty()) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FindClose(search);
    SetBool(result, true);
}

void ReadWholeFile(ArgRecord* result, int32_t count, ArgRecord* args) {
    std::string path = CString(TextArg(Arg(count, args, 0)));
    if (path.empty()) return;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size;
    // A byte set counts its length in 31 bits; a larger file has no value.
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0x7FFFFFF0) {
        const int32_t length = static_cast<int32_t>(size.QuadPart);
        auto* set = static_cast<ByteSetHeader*>(AllocMemory(length + 8));
        DWORD got = 0;
        if (!ReadFile(file, ByteSetData(set), static_cast<DWORD>(length), &got, nullptr)) got = 0;
        set->dimensions = 1;
        set->length = static_cast<int32_t>(got);
        if (got > 0)
            SetPointer(result, set);
        else
            FreeMemory(set);
    }
    CloseHandle(file);
}

void WriteWholeFile(ArgRecord* result, int32_t count, ArgRecord* args) {
    std::string path = CString(TextArg(Arg(count, args, 0)));
    if (path.empty()) return;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    bool ok = true;
    for (int32_t i = 1; i < count && ok; ++i) {
        std::string_view data = BytesOf(args[i]);
        if (data.empty()) continue;
        DWORD written = 0;
        ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
             written == data.size();
    }
    ok = CloseHandle(file) && ok;
    SetBool(result, ok);
}

void OpenMemoryFile(ArgRecord* result, int32_t, ArgRecord*) {
    auto* file = new MemoryFile;
    OpenFileTable::Instance().Register(file, FileKind::Memory);
    result->low = FileNumberOf(file);
}

void CloseFile(ArgRecord*, int32_t count, ArgRecord* args) {
    RuntimeFile* file = OpenFile(Arg(count, args, 0));
    if (!file || !OpenFileTable::Instance().Unregister(FileNumberOf(file))) return;
    file->Close();
    delete file;
}

// Behind SeekToStart and its siblings: mode 0 moves by offset from the given
// origin (omitted or 1 start, 2 end, 3 current), 1 to the start, 2 to the end.
static bool MoveFilePointer(const ArgRecord& number, const ArgRecord& origin, int32_t offset,
                            int mode) {
    RuntimeFile* file = OpenFile(number);
    if (!file) return false;
    switch (mode) {
    case 1:
        return file->Seek(0, FILE_BEGIN);
    case 2:
        return file->Seek(0, FILE_END);
    default:
        break;
    }
    int from = FILE_BEGIN;
    if (Supplied(origin)) {
        switch (IntValue(origin)) {
        case 1:
            from = FILE_BEGIN;
            break;
        case 2:
            from = FILE_END;
            break;
        case 3:
            from = FILE_CURRENT;
            break;
        default:
            return false;
        }
    }
    return file->Seek(offset, from);
}

void SeekToStart(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetBool(result, MoveFilePointer(Arg(count, args, 0), ArgRecord{}, 0, 1));
}

void ReadData(ArgRecord* result, int32_t count, ArgRecord* args) {
    RuntimeFile* file = OpenFile(Arg(count, args, 0));
    const int32_t n = IntValue(Arg(count, args, 1));
    if (!file || n <= 0) return;
    // Never more than is left to read: a huge count on a small file is no
    // reason to ask for that much memory.
    const int64_t left = file->Length() - file->Position();
    if (left <= 0) return;
    const int32_t wanted = left < n ? static_cast<int32_t>(left) : n;
    auto* set = static_cast<ByteSetHeader*>(AllocMemory(wanted + 8));
    int32_t got = 0;
    if (!file->Read(ByteSetData(set), wanted, &got)) {
        file->Seek(0, FILE_END);
        got = 0;
    }
    set->dimensions = 1;
    set->length = got;
    if (got > 0)
        SetPointer(result, set);
    else
        FreeMemory(set);
}

void ReadLine(ArgRecord* result, int32_t count, ArgRecord* args) {
    RuntimeFile* file = OpenFile(Arg(count, args, 0));
    if (!file) return;
    constexpr int32_t Block = 512;
    char block[Block];
    std::string line;
    for (;;) {
        const int64_t mark = file->Position();
        int32_t n = 0;
        if (!file->Read(block, Block, &n)) {
            file->Seek(0, FILE_END);
            return; // the empty text
        }
        if (n == 0) break;
        int32_t i = 0;
        bool ended = false;
        while (i < n) {
            const unsigned char c = static_cast<unsigned char>(block[i]);
            if (text::IsLeadByte(c)) {
                if (i + 1 < n && block[i + 1] == '\0') {
                    // A lead byte before a NUL is no character; the NUL still
                    // ends the line.
                    ++i;
                } else if (i + 1 < n) {
                    i += 2;
                } else if (i > 0) {
                    // Its second byte lies in the next block: start that one here.
                    file->Seek(mark + i, FILE_BEGIN);
                    break;
                } else {
                    // A lead byte that is the last byte of the file: taken as
                    // it is, or the same block would be read forever.
                    i = 1;
                }
                continue;
            }
            if (c == 0x0A || c == 0x00 || c == 0x1A) {
                file->Seek(mark + i + (c == 0x0A ? 1 : 0), FILE_BEGIN);
                ended = true;
                break;
            }
            ++i;
        }
        line.append(block, static_cast<size_t>(i));
        if (ended) break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    SetPointer(result, NewText(line));
}

void WriteData(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetBool(result, WriteTextCore(count, args, false, [](const ArgRecord& v) {
                std::optional<std::string> bytes;
                if (!BytesOf(v).empty()) bytes = std::string(BytesOf(v));
                return bytes;
            }));
}

void WriteText(ArgRecord* result, int32_t count, ArgRecord* args) {
    SetBool(result, WriteTextCore(count, args, false, ScalarText));
}

void IsEndOfFile(ArgRecord* result, int32_t count, ArgRecord* args) {
    RuntimeFile* file = OpenFile(Arg(count, args, 0));
    const ArgRecord& stop = Arg(count, args, 1);
    bool end = true;
    if (file && file->Position() < file->Length()) {
        end = false;
        if (Supplied(stop) && stop.low != 0) {
            const int64_t mark = file->Position();
            unsigned char c = 0;
            int32_t got = 0;
            end = !(file->Read(&c, 1, &got) && got == 1 && c != 0 && c != 0x1A);
            file->Seek(mark, FILE_BEGIN);
        }
    }
    SetBool(result, end);
}

void FileLength(ArgRecord* result, int32_t count, ArgRecord* args) {
    RuntimeFile* file = OpenFile(Arg(count, args, 0));
    int64_t length = file ? file->Length() : -1;
    SetInt(result, length < 0 || length > 0x7FFFFFFF ? -1 : static_cast<int32_t>(length));
}

void ShowMessage(ArgRecord* result, int32_t count, ArgRecord* args) {
    const std::string message = ScalarText(Arg(count, args, 0)).value_or(std::string());
    const ArgRecord& styleArg = Arg(count, args, 1);
    const ArgRecord& captionArg = Arg(count, args, 2);
    const std::string caption = Supplied(captionArg) ? CString(TextArg(captionArg)) : "信息：";
    UINT style = Supplied(styleArg) ? styleArg.low : 0;
    if (!(style & MB_SYSTEMMODAL)) style |= MB_TASKMODAL;
    switch (MessageBoxA(nullptr, message.c_str(), caption.c_str(), style)) {
    case IDOK:
        SetInt(result, 0);
        break;
    case IDCANCEL:
        SetInt(result, 1);
        break;
    case IDABORT:
        SetInt(result, 2);
        break;
    case IDRETRY:
        SetInt(result, 3);
        break;
    case IDIGNORE:
        SetInt(result, 4);
        break;
    case IDYES:
        SetInt(result, 5);
        break;
    case IDNO:
        SetInt(result, 6);
        break;
    default:
        SetInt(result, 0);
        break;
    }
}

void ProcessEvents(ArgRecord*, int32_t, ArgRecord*) {
    // The runtime's pump: every waiting message but WM_QUIT, which stays queued.
    if (RuntimeCallbackFn callback = CoreRuntimeCallback())
        callback(Request::ProcessMessages, 0, 0);
}

} // namespace st::cmd

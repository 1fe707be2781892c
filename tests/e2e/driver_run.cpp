#include "driver_run.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace e2e {
namespace {

std::wstring Wide(const std::string& s, UINT codePage) {
    int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string Gbk(const std::wstring& w) {
    int n = WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

// One argument quoted the way CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, L'\\');
    return out + L"\"";
}

std::wstring DriverPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    return p.substr(0, p.rfind(L'\\') + 1) + L"..\\..\\tools\\uidriver\\uidriver.exe";
}

} // namespace

DriverResult Driver(std::initializer_list<std::string> args, unsigned timeoutMs) {
    return Driver(std::vector<std::string>(args), timeoutMs);
}

DriverResult Chain(std::initializer_list<std::initializer_list<std::string>> commands,
                   unsigned timeoutMs) {
    std::vector<std::string> args;
    for (const auto& command : commands) {
        if (!args.empty()) args.push_back("+");
        args.insert(args.end(), command.begin(), command.end());
    }
    return Driver(args, timeoutMs);
}

DriverResult Driver(const std::vector<std::string>& args, unsigned timeoutMs) {
    DriverResult result;
    std::wstring line = Quote(DriverPath());
    for (const std::string& a : args)
        line += L" " + Quote(Wide(a, 936));

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = writeEnd;
    start.hStdError = writeEnd;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    std::vector<wchar_t> command(line.begin(), line.end());
    command.push_back(0);
    const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &start, &info);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return result;
    }
    // Read what it writes until it ends, within the bound: a blocking read
    // would wait as long as the driver (or anything that inherited the pipe)
    // keeps its end open.
    std::string utf8;
    char buffer[4096];
    const DWORD began = GetTickCount();
    bool ended = false;
    for (;;) {
        DWORD ready = 0, got = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &ready, nullptr)) break; // closed
        if (ready > 0) {
            if (!ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
            utf8.append(buffer, got);
            continue;
        }
        if (ended) break; // ended and drained
        ended = WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0;
        if (!ended && GetTickCount() - began >= timeoutMs) break;
    }
    CloseHandle(readEnd);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0)
        GetExitCodeProcess(info.hProcess, &code);
    else
        TerminateProcess(info.hProcess, 99);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    result.code = static_cast<int>(code);
    result.out = Gbk(Wide(utf8, CP_UTF8));
    return result;
}

uint32_t BigEndian(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = v << 8 | static_cast<uint8_t>(bytes[at + i]);
    return v;
}

RECT Numbers(const std::string& out, const char* key) {
    RECT r{-1, -1, -1, -1};
    size_t at = out.find(key);
    if (at != std::string::npos)
        std::sscanf(out.c_str() + at + std::strlen(key), "%ld,%ld,%ld,%ld", &r.left, &r.top,
                    &r.right, &r.bottom);
    return r;
}

Program::Program(const std::string& relativePath) {
    // Appended piece by piece: GCC 12 warns falsely on the chained form.
    std::string command(1, '"');
    command += ProgramFolder();
    command += relativePath;
    command += '"';
    STARTUPINFOA start{};
    start.cb = sizeof start;
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &start, &info_);
}

Program::~Program() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 10000);
    }
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
}

long Program::ExitCode(DWORD boundMs) const {
    DWORD code = 0;
    if (!started_ || WaitForSingleObject(info_.hProcess, boundMs) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
}

WineSetting::WineSetting(const char* subkey, const char* name, const char* value) : name_(name) {
    const std::string path = std::string("Software\\Wine\\") + subkey;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS) {
        key_ = nullptr;
        return;
    }
    char old[1024];
    DWORD size = sizeof old, type = 0;
    if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        had_ = true;
        old_.assign(old, strnlen(old, size));
    }
    Write(value);
}

WineSetting::~WineSetting() {
    if (!key_) return;
    if (had_)
        Write(old_.c_str());
    else
        RegDeleteValueA(key_, name_);
    RegCloseKey(key_);
}

void WineSetting::Write(const char* value) {
    RegSetValueExA(key_, name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>(std::strlen(value) + 1));
}

} // namespace e2e

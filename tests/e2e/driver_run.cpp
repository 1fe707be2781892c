#include "driver_run.h"

#include <windows.h>

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
    // No console: under Wine a console of its own means a console host
    // process beside the driver, which now and then kept it from ending.
    const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                        DETACHED_PROCESS, nullptr, nullptr, &start, &info);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return result;
    }
    // Its output as it comes, until it has ended (or the bound is over): a
    // blocking read would wait for ever should anything else hold the pipe.
    std::string utf8;
    char buffer[4096];
    const auto drain = [&] {
        DWORD available = 0, got = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available &&
               ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got)
            utf8.append(buffer, got);
    };
    const DWORD begin = GetTickCount();
    bool ended = false;
    while (!ended && GetTickCount() - begin < timeoutMs) {
        ended = WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0;
        drain();
    }
    CloseHandle(readEnd);
    DWORD code = static_cast<DWORD>(-1);
    if (ended)
        GetExitCodeProcess(info.hProcess, &code);
    else
        TerminateProcess(info.hProcess, 99);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    result.code = static_cast<int>(code);
    result.out = Gbk(Wide(utf8, CP_UTF8));
    return result;
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string bytes(GetFileSize(f, nullptr), '\0');
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(f);
    bytes.resize(got);
    return bytes;
}

uint32_t BigEndian(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = v << 8 | static_cast<uint8_t>(bytes[at + i]);
    return v;
}

} // namespace e2e

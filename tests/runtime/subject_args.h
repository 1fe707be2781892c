// Inside a test subject: its command line (what to do, the trace file, an
// optional number) and the trace it leaves for the test that started it.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace subject {

struct Arguments {
    std::string mode, log, number = "0";
    bool valid = false; // mode and trace file were given
};

inline Arguments ReadArguments() {
    Arguments a;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    auto narrow = [&](int i) {
        char text[MAX_PATH] = {};
        WideCharToMultiByte(CP_ACP, 0, argv[i], -1, text, sizeof text, nullptr, nullptr);
        return std::string(text);
    };
    if (argv && argc >= 3) {
        a.mode = narrow(1);
        a.log = narrow(2);
        if (argc > 3) a.number = narrow(3);
        a.valid = true;
    }
    LocalFree(argv);
    return a;
}

// Appends one line (CR LF added) to the trace file.
inline void Trace(const std::string& path, const std::string& line) {
    HANDLE f = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written;
    std::string text = line + "\r\n";
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

} // namespace subject

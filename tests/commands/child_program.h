// Runs a copy of a test program as a child and collects how it ended.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

struct ChildResult {
    DWORD exitCode = 0;
    std::string message; // the text of the message box it showed on its way out
};

namespace detail {
struct BoxSearch {
    DWORD process = 0;
    std::string text;
    bool answered = false;
};
inline BOOL CALLBACK ReadStatic(HWND child, LPARAM param) {
    char cls[32] = {}, buffer[1024] = {};
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, buffer, sizeof buffer);
    if (lstrcmpiA(cls, "Static") == 0 && GetDlgCtrlID(child) != 0x440 && buffer[0])
        reinterpret_cast<BoxSearch*>(param)->text = buffer;
    return TRUE;
}
// Reads and closes a message box of the child's.
inline BOOL CALLBACK AnswerBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char cls[32] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (owner != search->process || lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    EnumChildWindows(window, ReadStatic, param);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    search->answered = true;
    return FALSE;
}
} // namespace detail

inline std::string OwnPath() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// How the child ended: its exit code and the text of its message box.
inline ChildResult RunChild(const std::string& program, const std::string& arguments) {
    ChildResult result;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = "\"" + program + "\" " + arguments;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return result;
    // Answer the child's message box (bounded), then collect its end.
    detail::BoxSearch search;
    search.process = pi.dwProcessId;
    for (int i = 0; i < 300 && WaitForSingleObject(pi.hProcess, 100) == WAIT_TIMEOUT; ++i)
        if (!search.answered) EnumWindows(detail::AnswerBox, reinterpret_cast<LPARAM>(&search));
    if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 0xDEAD);
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    result.message = search.text;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return result;
}

} // namespace testsupport

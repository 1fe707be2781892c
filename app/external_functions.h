// The program's external functions, bound by name on first call and numbered
// in this order (test programs that call the same routines declare the same).
#pragma once

#include <cstdint>

namespace app {

inline const char* const kExternalLibraries[] = {
    "",
    "",
    "wininet.dll",
    "wininet.dll",
    "wininet.dll",
    "WinINet.dll",
    "wininet.dll",
    "WinINet.dll",
    "wininet.dll",
    "wininet.dll",
    "urlmon",
    "wininet.dll",
    "kernel32",
    "kernel32",
    "kernel32",
    "wininet.dll",
    "kernel32",
};
inline const char* const kExternalExports[] = {
    "MultiByteToWideChar", "WideCharToMultiByte", "InternetOpenA",      "InternetConnectA",
    "InternetCloseHandle", "HttpOpenRequestA",    "HttpSendRequestA",   "InternetReadFile",
    "HttpQueryInfoA",      "InternetSetCookieA",  "URLDownloadToFileA", "InternetSetOptionA",
    "MoveFileExA",         "DeleteFileA",         "GetFileAttributesA", "InternetOpenUrlA",
    "GetTempFileNameA",
};
inline constexpr int32_t kExternalCount = sizeof kExternalExports / sizeof kExternalExports[0];
static_assert(sizeof kExternalLibraries == sizeof kExternalExports);

// Save As: a completely written file takes the target's name.
inline constexpr int32_t ExtMoveFileExA = 12;
inline constexpr int32_t ExtDeleteFileA = 13;
inline constexpr int32_t ExtGetFileAttributesA = 14;
// Speech synthesis: the MP3 download and its temporary file.
inline constexpr int32_t ExtInternetOpenUrlA = 15;
inline constexpr int32_t ExtGetTempFileNameA = 16;

} // namespace app

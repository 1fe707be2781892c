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
    "wininet.dll",
    "kernel32.dll",
    "kernel32.dll",
    "kernel32.dll",
};
inline const char* const kExternalExports[] = {
    "MultiByteToWideChar", "WideCharToMultiByte", "InternetOpenA",      "InternetConnectA",
    "InternetCloseHandle", "HttpOpenRequestA",    "HttpSendRequestA",   "InternetReadFile",
    "HttpQueryInfoA",      "InternetSetCookieA",  "URLDownloadToFileA", "InternetOpenUrlA",
    "InternetSetOptionA",  "GetTempFileNameA",    "MoveFileA",          "DeleteFileA",
};
inline constexpr int32_t kExternalCount = sizeof kExternalExports / sizeof kExternalExports[0];
static_assert(sizeof kExternalLibraries == sizeof kExternalExports);

} // namespace app

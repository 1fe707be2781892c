// The program's external functions: bound by name on their first call and
// numbered in the order of this list (test programs that call the same
// routines declare the same). ST_EXTERNAL_FUNCTIONS(name, library, signature)
// gives each its library file (empty: the system's default libraries), its
// export name and its signature in 32-bit words; the declaration tables of
// the start-up record, the numbers ExtName and the typed callers ext::Name
// all come from here.
#pragma once

#include "command_access.h"

#include <cstdint>
#include <type_traits>

// clang-format off
#define ST_EXTERNAL_FUNCTIONS(X)                                                                   \
    /* Code-page conversion (the request text). */                                                 \
    X(MultiByteToWideChar, "", int32_t(uint32_t codePage, uint32_t flags, const char* text,         \
                                       int32_t length, void* wide, int32_t wideUnits))             \
    X(WideCharToMultiByte, "", int32_t(uint32_t codePage, uint32_t flags, const void* wide,         \
                                       int32_t units, char* text, int32_t length,                  \
                                       const char* fallback, int32_t* usedFallback))               \
    /* The web page access. */                                                                     \
    X(InternetOpenA, "wininet.dll", uint32_t(const char* agent, uint32_t access, const char* proxy, \
                                             const char* bypass, uint32_t flags))                  \
    X(InternetConnectA, "wininet.dll", uint32_t(uint32_t internet, const char* host, uint32_t port, \
                                                const char* user, const char* password,            \
                                                uint32_t service, uint32_t flags, uint32_t context)) \
    X(InternetCloseHandle, "wininet.dll", int32_t(uint32_t handle))                                \
    X(HttpOpenRequestA, "WinINet.dll", uint32_t(uint32_t connection, const char* verb,              \
                                                const char* object, const char* version,           \
                                                const char* referrer, const char** accept,         \
                                                uint32_t flags, uint32_t context))                 \
    X(HttpSendRequestA, "wininet.dll", int32_t(uint32_t request, const char* headers,               \
                                               uint32_t length, const void* data,                  \
                                               uint32_t dataLength))                               \
    X(InternetReadFile, "WinINet.dll", int32_t(uint32_t request, void* buffer, uint32_t size,       \
                                               uint32_t* read))                                    \
    X(HttpQueryInfoA, "wininet.dll", int32_t(uint32_t request, uint32_t level, void* buffer,        \
                                             uint32_t* size, uint32_t* index))                     \
    X(InternetSetCookieA, "wininet.dll", int32_t(const char* url, const char* name,                 \
                                                 const char* data))                                \
    X(URLDownloadToFileA, "urlmon", int32_t(void* caller, const char* url, const char* file,        \
                                            uint32_t reserved, void* callback))                    \
    X(InternetSetOptionA, "wininet.dll", int32_t(uint32_t handle, uint32_t option,                  \
                                                 const void* value, uint32_t length))              \
    /* Save As: a completely written file takes the target's name. */                              \
    X(MoveFileExA, "kernel32", int32_t(const char* from, const char* to, uint32_t flags))          \
    X(DeleteFileA, "kernel32", int32_t(const char* path))                                          \
    X(GetFileAttributesA, "kernel32", uint32_t(const char* path))                                  \
    /* Speech synthesis: the MP3 download and its temporary file. */                              \
    X(InternetOpenUrlA, "wininet.dll", uint32_t(uint32_t internet, const char* url,                 \
                                                const char* headers, uint32_t length,              \
                                                uint32_t flags, uint32_t context))                 \
    X(GetTempFileNameA, "kernel32", uint32_t(const char* folder, const char* prefix,                \
                                             uint32_t unique, char* name))
// clang-format on

namespace app {

#define ST_EXTERNAL_NUMBER(name, library, signature) Ext##name,
enum ExternalFunction : int32_t { ST_EXTERNAL_FUNCTIONS(ST_EXTERNAL_NUMBER) kExternalCount };
#undef ST_EXTERNAL_NUMBER

#define ST_EXTERNAL_LIBRARY(name, library, signature) library,
inline const char* const kExternalLibraries[] = {ST_EXTERNAL_FUNCTIONS(ST_EXTERNAL_LIBRARY)};
#undef ST_EXTERNAL_LIBRARY

#define ST_EXTERNAL_EXPORT(name, library, signature) #name,
inline const char* const kExternalExports[] = {ST_EXTERNAL_FUNCTIONS(ST_EXTERNAL_EXPORT)};
#undef ST_EXTERNAL_EXPORT

namespace ext {

// A typed caller of external function N: the arguments are checked against
// the signature, passed as 32-bit words, and the answer comes back typed.
template <int32_t N, typename Signature> struct Caller;
template <int32_t N, typename Result, typename... Args> struct Caller<N, Result(Args...)> {
    Result operator()(Args... args) const {
        return static_cast<Result>(calls::External(N, {AsWord(args)...}));
    }

  private:
    template <typename T> static uint32_t AsWord(T value) {
        if constexpr (std::is_pointer_v<T>)
            return calls::Word(value);
        else
            return static_cast<uint32_t>(value);
    }
};

#define ST_EXTERNAL_CALLER(name, library, signature)                                               \
    inline constexpr Caller<Ext##name, signature> name{};
ST_EXTERNAL_FUNCTIONS(ST_EXTERNAL_CALLER)
#undef ST_EXTERNAL_CALLER

} // namespace ext
} // namespace app

// The speech tool's web page access: HTTP GET or POST over the system's
// Internet functions (bound as external functions 2 to 9), with the tool's
// default request headers, the whole body read while the window keeps
// processing its messages (the calls that wait for the server run on a
// thread of their own), and the cookies the server sets handed back to
// the system's cookie store.
//
// Texts arrive by reference (the caller's variable); an empty variable stands
// for an omitted argument. Every text or byte set returned is a new runtime
// value owned by the caller (null when empty).
#pragma once

#include "st/owned.h"
#include "st/values.h"

#include <cstdint>

namespace app {

// A fetch waits at most receiveTimeout for the server's next bytes, and a
// body longer than bodyBytes is cut and counts as a failed fetch: a server
// that stalls or never ends must not hold the tool. The service's pages are
// a few kilobytes.
struct FetchBounds {
    uint32_t receiveTimeout = 30000; // milliseconds
    int32_t bodyBytes = 16 * 1024 * 1024;
};
// The bounds of later fetches (tests shorten them).
void SetFetchBounds(const FetchBounds& bounds);

// Closes a handle of the system's Internet functions.
void CloseInternetHandle(uint32_t handle);
// An Internet handle, closed at the end of its scope.
using InternetHandle = st::Owned<uint32_t, &CloseInternetHandle>;

// The body of the page at address ("http://" host[:port] path, or the same
// without the scheme); null on failure.
//   method: empty or GET, or POST (any letter case); anything else fails.
//   proxy: host:port of an HTTP proxy, empty for a direct connection.
//   headers: extra request lines, each closed by "\r\n"; the default headers
//     the caller did not give are appended to this variable.
//   postData: the body of a POST.
//   responseHeaders: receives the raw response header block (1024 spaces
//     when the block does not fit in 1024 bytes or no answer came).
void* FetchPage(const st::TextValue& address, const st::TextValue& method,
                const st::TextValue& proxy, st::TextValue& headers, const st::TextValue& postData,
                st::TextValue& responseHeaders);
// The body up to its first zero byte, as text.
st::TextValue FetchPageText(const st::TextValue& address, const st::TextValue& method,
                            const st::TextValue& proxy, st::TextValue& headers,
                            const st::TextValue& postData, st::TextValue& responseHeaders);

// The host of the address in lower case, its ":port" removed unless keepPort.
st::TextValue UrlHost(const st::TextValue& address, bool keepPort = false);
// The path of the address from the "/" after the host, query included; "/"
// when there is none.
st::TextValue UrlObjectName(const st::TextValue& address);
// The port after the host's ":", 80 without one; 0 (the default port) for
// text that is not a number.
int32_t UrlPort(const st::TextValue& address);

} // namespace app

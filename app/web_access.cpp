#include "web_access.h"

#include "command_access.h"
#include "external_functions.h"
#include "st/owned.h"

#include <cstring>

namespace app {
namespace {

using namespace calls;

const char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
const char kHttpVersion[] = "HTTP/1.1";
const char kProxyPrefix[] = "http=";
const char kScheme[] = "http://";
const char kCookieLine[] = "Set-Cookie: ";
constexpr int32_t kCookieLineLength = 12;
const char kAcceptName[] = "Accept: ";
const char kAcceptLine[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
const char kRefererName[] = "Referer: ";
const char kLanguageName[] = "Accept-Language: ";
const char kLanguageLine[] = "Accept-Language: zh-cn\r\n";
const char kContentTypeName[] = "Content-Type: ";
const char kContentTypeLine[] = "Content-Type: application/x-www-form-urlencoded\r\n";
const char kContentLengthName[] = "Content-Length: ";
const char kLineEnd[] = "\r\n";

constexpr uint32_t kOpenDirect = 1;           // INTERNET_OPEN_TYPE_DIRECT
constexpr uint32_t kOpenProxy = 3;            // INTERNET_OPEN_TYPE_PROXY
constexpr uint32_t kServiceHttp = 3;          // INTERNET_SERVICE_HTTP
constexpr uint32_t kFlagReload = 0x80000000u; // INTERNET_FLAG_RELOAD
constexpr uint32_t kQueryRawHeadersCrlf = 22; // HTTP_QUERY_RAW_HEADERS_CRLF
constexpr uint32_t kOptionReceiveTimeout = 6; // INTERNET_OPTION_RECEIVE_TIMEOUT
constexpr int32_t kReadSize = 2048;
constexpr int32_t kHeaderBufferSize = 1024;

FetchBounds bounds;

using st::Held;

int32_t Length(const char* text) {
    return AsInt(Command(CommandId::TextLength, {TextArg(text)}));
}

int32_t Find(const char* text, const char* sought, int32_t start, bool ignoreCase) {
    return AsInt(Command(CommandId::FindText,
                         {TextArg(text), TextArg(sought), IntArg(start), BoolArg(ignoreCase)}));
}

bool IsEmpty(const char* text) {
    return !text || !*text;
}

// The parts joined into a new text.
st::TextValue Join(std::initializer_list<const char*> parts) {
    return st::ConcatTexts(parts.begin(), static_cast<int32_t>(parts.size()));
}

// Appends line to the caller's header variable unless a header of that name
// is already there (ASCII letters in either case).
void AppendHeader(st::TextValue& headers, const char* name, const char* line) {
    if (Find(headers, name, 1, true) > 0) return;
    st::TextValue joined = Join({headers, line});
    st::FreeMemory(headers);
    headers = joined;
}

// Where the host begins: after a leading scheme in any letter case, else at
// the first byte. A "http://" further on (in a query, say) is not a scheme.
int32_t HostStart(const char* address) {
    return Find(address, kScheme, 1, true) == 1 ? Length(kScheme) + 1 : 1;
}

uint32_t OpenInternet(const char* proxy) {
    Held bare(AsText(Command(CommandId::RemoveAllSpaces, {TextArg(proxy)})));
    if (IsEmpty(bare.text()))
        return ext::InternetOpenA(kUserAgent, kOpenDirect, nullptr, nullptr, 0);
    // The proxy text goes on as the caller wrote it, spaces and all.
    Held named(Join({kProxyPrefix, proxy}));
    return ext::InternetOpenA(kUserAgent, kOpenProxy, named.text(), nullptr, 0);
}

void ProcessEvents() {
    Command(CommandId::ProcessEvents, {});
}

// The whole body, gathered in a memory file while the window keeps going;
// null when it grows beyond the bound, or when the program closes while a
// read waits (then abandoned is set: that read still holds the handle).
void* ReadBody(uint32_t request, bool& abandoned) {
    const ArgRecord file = Command(CommandId::OpenMemoryFile, {});
    Held buffer(Pointer(Command(CommandId::ZeroByteSet, {IntArg(kReadSize)}).low));
    int32_t total = 0;
    for (;;) {
        ProcessEvents();
        uint32_t got = 0;
        const st::AsideResult read =
            ExternalAside(ExtInternetReadFile,
                          {request, st::AsideArg::InOut(st::ByteSetData(buffer.get()), kReadSize),
                           kReadSize, st::AsideArg::InOut(&got, sizeof got)});
        if (!read.ended) abandoned = true;
        if (!read.ended || got > static_cast<uint32_t>(kReadSize) ||
            bounds.bodyBytes - total < static_cast<int32_t>(got)) {
            Command(CommandId::CloseFile, {file});
            return nullptr;
        }
        if (got == 0) break;
        total += static_cast<int32_t>(got);
        Held piece(Pointer(Command(CommandId::ByteSetLeft,
                                   {BytesArg(buffer.get()), IntArg(static_cast<int32_t>(got))})
                               .low));
        Command(CommandId::WriteData, {file, BytesArg(piece.get())});
    }
    Command(CommandId::SeekToStart, {file});
    const int32_t length = AsInt(Command(CommandId::FileLength, {file}));
    void* body = Pointer(Command(CommandId::ReadData, {file, IntArg(length)}).low);
    Command(CommandId::CloseFile, {file});
    return body;
}

// Sends the request with the header lines (and the data of a POST) while
// the window keeps going; false when the program closes before it is sent.
bool SendRequest(uint32_t request, const char* headers, const char* data, int32_t dataLength) {
    const char* lines = headers ? headers : st::EmptyText;
    const auto length = static_cast<uint32_t>(Length(lines));
    const st::AsideArg body = dataLength > 0
                                  ? st::AsideArg::In(data, static_cast<uint32_t>(dataLength))
                                  : st::AsideArg(0);
    return ExternalAside(ExtHttpSendRequestA, {request, st::AsideArg::In(lines, length + 1), length,
                                               body, static_cast<uint32_t>(dataLength)})
        .ended;
}

// Every "Set-Cookie: " line of the block to the system's cookie store, for
// the host the page came from.
void StoreCookies(const char* responseHeaders, const char* host) {
    if (Find(responseHeaders, kCookieLine, 1, true) <= 0) return;
    const ArgRecord file = Command(CommandId::OpenMemoryFile, {});
    Command(CommandId::WriteText, {file, TextArg(responseHeaders)});
    Command(CommandId::SeekToStart, {file});
    Held cookieUrl(Join({kScheme, host}));
    while (!Command(CommandId::IsEndOfFile, {file}).low) {
        Held line(AsText(Command(CommandId::ReadLine, {file})));
        // Only a line that is a Set-Cookie header: the same text inside
        // another header's name or value is no cookie.
        if (Find(line.text(), kCookieLine, 1, true) == 1) {
            Held cookie(AsText(Command(CommandId::ReplaceText, {TextArg(line.text()), IntArg(1),
                                                                IntArg(kCookieLineLength)})));
            const int32_t k = Find(cookie.text(), "=", 1, false);
            // Without "=" the name is empty and the whole rest is the data.
            Held name(
                AsText(Command(CommandId::TextLeft, {TextArg(cookie.text()), IntArg(k - 1)})));
            Held data(AsText(Command(CommandId::TextRight,
                                     {TextArg(cookie.text()), IntArg(Length(cookie.text()) - k)})));
            const char* nameText = name.text() ? name.text() : st::EmptyText;
            const char* dataText = data.text() ? data.text() : st::EmptyText;
            ext::InternetSetCookieA(cookieUrl.text(), nameText, dataText);
        }
        // A NUL or 0x1A ends a line without being consumed: step over it, or
        // the same empty line would come back for ever.
        if (Command(CommandId::IsEndOfFile, {file, BoolArg(true)}).low &&
            !Command(CommandId::IsEndOfFile, {file}).low)
            st::FreeMemory(Pointer(Command(CommandId::ReadData, {file, IntArg(1)}).low));
        ProcessEvents();
    }
    Command(CommandId::CloseFile, {file});
}

bool IsMethod(const char* method, const char* upperName) {
    Held upper(AsText(Command(CommandId::ToUpper, {TextArg(method)})));
    return upper.text() && std::strcmp(upper.text(), upperName) == 0;
}

} // namespace

void SetFetchBounds(const FetchBounds& given) {
    bounds = given;
}

st::TextValue UrlHost(const st::TextValue& address, bool keepPort) {
    const int32_t s = HostStart(address);
    const int32_t q = Find(address, "/", s, false);
    const int32_t n = q == -1 ? Length(address) : q - s;
    Held host(AsText(Command(CommandId::TextMiddle, {TextArg(address), IntArg(s), IntArg(n)})));
    if (!keepPort) {
        const int32_t colon = Find(host.text(), ":", 1, false);
        if (colon != -1)
            host.reset(
                AsText(Command(CommandId::TextLeft, {TextArg(host.text()), IntArg(colon - 1)})));
    }
    return AsText(Command(CommandId::ToLower, {TextArg(host.text())}));
}

st::TextValue UrlObjectName(const st::TextValue& address) {
    // The first "/" behind the host's start, not behind the first place the
    // host's name occurs: that may lie inside the scheme ("http://h/x").
    const int32_t q = Find(address, "/", HostStart(address), true);
    if (q <= 0) return CopyOf("/");
    return AsText(
        Command(CommandId::TextRight, {TextArg(address), IntArg(Length(address) - q + 1)}));
}

int32_t UrlPort(const st::TextValue& address) {
    Held host(UrlHost(address, true));
    const int32_t colon = Find(host.text(), ":", 1, false);
    if (colon == -1) return 80;
    Held digits(AsText(Command(CommandId::TextRight,
                               {TextArg(host.text()), IntArg(Length(host.text()) - colon)})));
    const ArgRecord number = Command(CommandId::ToNumber, {TextArg(digits.text())});
    double value;
    const uint64_t bits = (uint64_t{number.high} << 32) | number.low;
    std::memcpy(&value, &bits, sizeof value);
    // Far outside any port: -1, which no connection accepts.
    if (!(value > -2147483648.0 && value < 2147483648.0)) return -1;
    return static_cast<int32_t>(value);
}

void* FetchPage(const st::TextValue& address, const st::TextValue& method,
                const st::TextValue& proxy, st::TextValue& headers, const st::TextValue& postData,
                st::TextValue& responseHeaders) {
    Held path(UrlObjectName(address));
    Held host(UrlHost(address));
    const int32_t port = UrlPort(address);
    // The port is a 16-bit number to the system: 65616 would quietly become
    // 80 and reach a server nobody asked for.
    if (port < 0 || port > 0xFFFF) return nullptr;

    // Declared in the order they are opened, so that each handle is closed
    // before the one it came from.
    InternetHandle internet(OpenInternet(proxy));
    if (!internet) return nullptr;
    const char* hostText = host.text() ? host.text() : st::EmptyText;
    InternetHandle connection(ext::InternetConnectA(internet.get(), hostText,
                                                    static_cast<uint32_t>(port), st::EmptyText,
                                                    st::EmptyText, kServiceHttp, 0, 0));
    if (!connection) return nullptr;
    InternetHandle request(ext::HttpOpenRequestA(connection.get(),
                                                 IsEmpty(method) ? nullptr : method, path.text(),
                                                 kHttpVersion, nullptr, nullptr, kFlagReload, 0));
    if (!request) return nullptr;

    ext::InternetSetOptionA(request.get(), kOptionReceiveTimeout, &bounds.receiveTimeout,
                            sizeof bounds.receiveTimeout);

    AppendHeader(headers, kAcceptName, kAcceptLine);
    {
        Held referer(Join({kRefererName, address, kLineEnd}));
        AppendHeader(headers, kRefererName, referer.text());
    }
    AppendHeader(headers, kLanguageName, kLanguageLine);

    bool sent;
    if (IsEmpty(method) || IsMethod(method, "GET")) {
        sent = SendRequest(request.get(), headers, nullptr, 0);
    } else if (IsMethod(method, "POST")) {
        const int32_t dataLength = Length(postData);
        if (dataLength > 0) {
            AppendHeader(headers, kContentTypeName, kContentTypeLine);
            Held digits(AsText(Command(CommandId::ToText, {IntArg(dataLength)})));
            Held contentLength(Join({kContentLengthName, digits.text(), kLineEnd}));
            st::TextValue joined = Join({headers, contentLength.text()});
            st::FreeMemory(headers);
            headers = joined;
        }
        sent = SendRequest(request.get(), headers, postData, dataLength);
    } else {
        return nullptr; // nothing goes out
    }

    // The program is closing while the request waits for its server: the
    // handles stay with the call still under way, and the process ends.
    bool abandoned = !sent;
    void* body = abandoned ? nullptr : ReadBody(request.get(), abandoned);
    if (abandoned) {
        request.release();
        connection.release();
        internet.release();
        return nullptr;
    }

    st::FreeMemory(responseHeaders);
    responseHeaders = AsText(Command(CommandId::SpaceText, {IntArg(kHeaderBufferSize)}));
    uint32_t size = kHeaderBufferSize;
    ext::HttpQueryInfoA(request.get(), kQueryRawHeadersCrlf, responseHeaders, &size, nullptr);
    request.reset();
    connection.reset();
    internet.reset();

    StoreCookies(responseHeaders, hostText);
    return body;
}

st::TextValue FetchPageText(const st::TextValue& address, const st::TextValue& method,
                            const st::TextValue& proxy, st::TextValue& headers,
                            const st::TextValue& postData, st::TextValue& responseHeaders) {
    Held body(FetchPage(address, method, proxy, headers, postData, responseHeaders));
    return AsText(Command(CommandId::ToText, {BytesArg(body.get())}));
}

void CloseInternetHandle(uint32_t handle) {
    ext::InternetCloseHandle(handle);
}

} // namespace app

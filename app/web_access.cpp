#include "web_access.h"

#include "command_access.h"
#include "window_wait.h"

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

// A runtime value this routine owns for the length of a scope.
class Held {
  public:
    explicit Held(void* value = nullptr) : value_(value) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() { st::FreeMemory(value_); }
    char* text() const { return static_cast<char*>(value_); }
    void* get() const { return value_; }
    void reset(void* value) {
        st::FreeMemory(value_);
        value_ = value;
    }

  private:
    void* value_;
};

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
        return External(ExtInternetOpenA, {Word(kUserAgent), kOpenDirect, 0, 0, 0});
    // The proxy text goes on as the caller wrote it, spaces and all.
    Held named(Join({kProxyPrefix, proxy}));
    return External(ExtInternetOpenA, {Word(kUserAgent), kOpenProxy, Word(named.text()), 0, 0});
}

void CloseInternetHandle(uint32_t handle) {
    External(ExtInternetCloseHandle, {handle});
}

void ProcessEvents() {
    Command(CommandId::ProcessEvents, {});
}

// The whole body, gathered in a memory file while the window keeps going;
// null when it grows beyond the bound.
void* ReadBody(uint32_t request) {
    const ArgRecord file = Command(CommandId::OpenMemoryFile, {});
    Held buffer(Pointer(Command(CommandId::ZeroByteSet, {IntArg(kReadSize)}).low));
    int32_t total = 0;
    for (;;) {
        ProcessEvents();
        uint32_t got = 0;
        ExternalWhileWindowRuns(ExtInternetReadFile,
                                {request, Word(st::ByteSetData(buffer.get())), kReadSize, Word(&got)});
        if (got == 0) break;
        if (got > static_cast<uint32_t>(kReadSize) ||
            bounds.bodyBytes - total < static_cast<int32_t>(got)) {
            Command(CommandId::CloseFile, {file});
            return nullptr;
        }
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
            External(ExtInternetSetCookieA,
                     {Word(cookieUrl.text()), Word(nameText), Word(dataText)});
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

    const uint32_t internet = OpenInternet(proxy);
    if (!internet) return nullptr;
    const char* hostText = host.text() ? host.text() : st::EmptyText;
    const uint32_t connection = External(
        ExtInternetConnectA, {internet, Word(hostText), static_cast<uint32_t>(port),
                              Word(st::EmptyText), Word(st::EmptyText), kServiceHttp, 0, 0});
    if (!connection) {
        CloseInternetHandle(internet);
        return nullptr;
    }
    const uint32_t request = External(
        ExtHttpOpenRequestA, {connection, Word(IsEmpty(method) ? nullptr : method),
                              Word(path.text()), Word(kHttpVersion), 0, 0, kFlagReload, 0});
    if (!request) {
        CloseInternetHandle(connection);
        CloseInternetHandle(internet);
        return nullptr;
    }

    External(ExtInternetSetOptionA, {request, kOptionReceiveTimeout, Word(&bounds.receiveTimeout),
                                     sizeof bounds.receiveTimeout});

    AppendHeader(headers, kAcceptName, kAcceptLine);
    {
        Held referer(Join({kRefererName, address, kLineEnd}));
        AppendHeader(headers, kRefererName, referer.text());
    }
    AppendHeader(headers, kLanguageName, kLanguageLine);

    if (IsEmpty(method) || IsMethod(method, "GET")) {
        // The answer may be slow to come: the window keeps going meanwhile.
        ExternalWhileWindowRuns(ExtHttpSendRequestA,
                                {request, Word(headers ? headers : st::EmptyText),
                                 static_cast<uint32_t>(Length(headers)), 0, 0});
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
        ExternalWhileWindowRuns(ExtHttpSendRequestA,
                 {request, Word(headers ? headers : st::EmptyText),
                  static_cast<uint32_t>(Length(headers)), Word(dataLength > 0 ? postData : nullptr),
                  static_cast<uint32_t>(dataLength)});
    } else {
        // Nothing goes out; each handle is closed before the one it came from.
        CloseInternetHandle(request);
        CloseInternetHandle(connection);
        CloseInternetHandle(internet);
        return nullptr;
    }

    void* body = ReadBody(request);

    st::FreeMemory(responseHeaders);
    responseHeaders = AsText(Command(CommandId::SpaceText, {IntArg(kHeaderBufferSize)}));
    uint32_t size = kHeaderBufferSize;
    External(ExtHttpQueryInfoA,
             {request, kQueryRawHeadersCrlf, Word(responseHeaders), Word(&size), 0});

    CloseInternetHandle(request);
    CloseInternetHandle(connection);
    CloseInternetHandle(internet);

    StoreCookies(responseHeaders, hostText);
    return body;
}

st::TextValue FetchPageText(const st::TextValue& address, const st::TextValue& method,
                            const st::TextValue& proxy, st::TextValue& headers,
                            const st::TextValue& postData, st::TextValue& responseHeaders) {
    Held body(FetchPage(address, method, proxy, headers, postData, responseHeaders));
    return AsText(Command(CommandId::ToText, {BytesArg(body.get())}));
}

} // namespace app

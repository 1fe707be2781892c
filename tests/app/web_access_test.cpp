// The speech tool's web page access against a scripted server on 127.0.0.1
// (tests/app/web_test_server.py, started by the ctest fixture): what goes out
// byte for byte, how the body comes back, cookies, message processing during
// a fetch and handle use. The Internet functions are watched on their way
// through the binding: the loader hands out recording wrappers that forward
// to the system's own.
#include <doctest.h>

#include "dll_binding.h"
#include "external_functions.h"
#include "st/services.h"
#include "text_helpers.h"
#include "scripted_server.h"
#include "web_access.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

// --- Watching the Internet functions ----------------------------------------

struct Call {
    std::string name;
    std::vector<std::string> args;
};

struct Watch {
    std::vector<Call> calls;
    std::map<HINTERNET, std::string> open; // handle -> what it is
    std::vector<std::string> closed;       // in closing order
    std::vector<std::string> loaded;       // library names as loaded
    int opened = 0;
} watch;
// The calls that wait for a server run on a thread of their own.
std::recursive_mutex watchLock;
using Guard = std::lock_guard<std::recursive_mutex>;

std::string Str(const char* s) {
    return s ? std::string(s) : std::string("<null>");
}
std::string Num(unsigned long v) {
    return std::to_string(v);
}
std::string Handle(HINTERNET h) {
    auto it = watch.open.find(h);
    return it == watch.open.end() ? "<unknown>" : it->second;
}
void Opened(HINTERNET h, const char* kind) {
    if (!h) return;
    watch.open[h] = kind;
    ++watch.opened;
}

decltype(&InternetOpenA) realOpen;
decltype(&InternetConnectA) realConnect;
decltype(&InternetCloseHandle) realClose;
decltype(&HttpOpenRequestA) realOpenRequest;
decltype(&HttpSendRequestA) realSend;
decltype(&InternetReadFile) realRead;
decltype(&HttpQueryInfoA) realQuery;
decltype(&InternetSetCookieA) realSetCookie;

HINTERNET WINAPI SpyOpen(LPCSTR agent, DWORD type, LPCSTR proxy, LPCSTR bypass, DWORD flags) {
    HINTERNET h = realOpen(agent, type, proxy, bypass, flags);
    Guard guard(watchLock);
    watch.calls.push_back(
        {"InternetOpenA", {Str(agent), Num(type), Str(proxy), Str(bypass), Num(flags)}});
    Opened(h, "internet");
    return h;
}
HINTERNET WINAPI SpyConnect(HINTERNET internet, LPCSTR server, INTERNET_PORT port, LPCSTR user,
                            LPCSTR password, DWORD service, DWORD flags, DWORD_PTR context) {
    HINTERNET h = realConnect(internet, server, port, user, password, service, flags, context);
    Guard guard(watchLock);
    watch.calls.push_back({"InternetConnectA",
                           {Handle(internet), Str(server), Num(port), Str(user), Str(password),
                            Num(service), Num(flags), Num(context)}});
    Opened(h, "connection");
    return h;
}
BOOL WINAPI SpyClose(HINTERNET h) {
    Guard guard(watchLock);
    watch.calls.push_back({"InternetCloseHandle", {Handle(h)}});
    watch.closed.push_back(Handle(h));
    watch.open.erase(h);
    return realClose(h);
}
HINTERNET WINAPI SpyOpenRequest(HINTERNET connection, LPCSTR verb, LPCSTR object, LPCSTR version,
                                LPCSTR referrer, LPCSTR* accept, DWORD flags, DWORD_PTR context) {
    HINTERNET h =
        realOpenRequest(connection, verb, object, version, referrer, accept, flags, context);
    Guard guard(watchLock);
    watch.calls.push_back({"HttpOpenRequestA",
                           {Handle(connection), Str(verb), Str(object), Str(version), Str(referrer),
                            accept ? "<types>" : "<null>", Num(flags), Num(context)}});
    Opened(h, "request");
    return h;
}
BOOL WINAPI SpySend(HINTERNET request, LPCSTR headers, DWORD length, LPVOID data,
                    DWORD dataLength) {
    {
        Guard guard(watchLock);
        watch.calls.push_back(
            {"HttpSendRequestA",
             {Handle(request), headers ? std::string(headers, length) : "<null>", Num(length),
              data ? std::string(static_cast<const char*>(data), dataLength) : "<null>",
              Num(dataLength)}});
    }
    return realSend(request, headers, length, data, dataLength);
}
BOOL WINAPI SpyRead(HINTERNET request, LPVOID buffer, DWORD size, LPDWORD read) {
    BOOL ok = realRead(request, buffer, size, read);
    Guard guard(watchLock);
    watch.calls.push_back({"InternetReadFile", {Handle(request), Num(size), Num(*read)}});
    return ok;
}
BOOL WINAPI SpyQuery(HINTERNET request, DWORD level, LPVOID buffer, LPDWORD size, LPDWORD index) {
    const DWORD given = *size;
    BOOL ok = realQuery(request, level, buffer, size, index);
    // What the call wrote ("<failed>" when it did not succeed).
    const std::string wrote = ok ? std::string(static_cast<const char*>(buffer)) : "<failed>";
    Guard guard(watchLock);
    watch.calls.push_back(
        {"HttpQueryInfoA",
         {Handle(request), Num(level), Num(given), index ? "<index>" : "<null>", wrote}});
    return ok;
}
BOOL lastCookieResult = FALSE;
BOOL WINAPI SpySetCookie(LPCSTR url, LPCSTR name, LPCSTR data) {
    Guard guard(watchLock);
    watch.calls.push_back({"InternetSetCookieA", {Str(url), Str(name), Str(data)}});
    lastCookieResult = realSetCookie(url, name, data);
    return lastCookieResult;
}

struct SpyEntry {
    const char* name;
    void** real;
    void* spy;
};
template <typename F> void** Slot(F& f) {
    return reinterpret_cast<void**>(&f);
}
const SpyEntry kSpies[] = {
    {"InternetOpenA", Slot(realOpen), reinterpret_cast<void*>(SpyOpen)},
    {"InternetConnectA", Slot(realConnect), reinterpret_cast<void*>(SpyConnect)},
    {"InternetCloseHandle", Slot(realClose), reinterpret_cast<void*>(SpyClose)},
    {"HttpOpenRequestA", Slot(realOpenRequest), reinterpret_cast<void*>(SpyOpenRequest)},
    {"HttpSendRequestA", Slot(realSend), reinterpret_cast<void*>(SpySend)},
    {"InternetReadFile", Slot(realRead), reinterpret_cast<void*>(SpyRead)},
    {"HttpQueryInfoA", Slot(realQuery), reinterpret_cast<void*>(SpyQuery)},
    {"InternetSetCookieA", Slot(realSetCookie), reinterpret_cast<void*>(SpySetCookie)},
};

void* WatchLoad(const char* name) {
    void* module = LoadLibraryA(name);
    if (module) watch.loaded.push_back(name);
    return module;
}
void* WatchFind(void* module, const char* exportName) {
    void* real = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), exportName));
    if (!real || reinterpret_cast<uintptr_t>(exportName) < 0x10000) return real;
    for (const SpyEntry& e : kSpies)
        if (std::strcmp(e.name, exportName) == 0) {
            *e.real = real;
            return e.spy;
        }
    return real;
}
void WatchUnload(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

void Start() {
    static const bool started = [] {
        st::ActiveLibraryLoader() = {WatchLoad, WatchFind, WatchUnload};
        st::Services.Notify(st::NotifyCode::StartRuntime);
        return true;
    }();
    (void)started;
}

void ResetWatch() {
    Guard guard(watchLock);
    watch.calls.clear();
    watch.closed.clear();
}

std::vector<Call> CallsOf(const char* name) {
    Guard guard(watchLock);
    std::vector<Call> out;
    for (const Call& c : watch.calls)
        if (c.name == name) out.push_back(c);
    return out;
}

// --- The scripted server -----------------------------------------------------

using scripted::Answer;
using scripted::Received;
using scripted::Script;

Answer Ok(const std::string& body, const std::string& headers = "") {
    return Answer().Send(scripted::Reply("200 OK", body, headers));
}

std::string Here(const std::string& rest, const char* host = "127.0.0.1") {
    return std::string(host) + ":" + std::to_string(scripted::Port("http")) + rest;
}

// --- Calling the routine ---------------------------------------------------------

struct Page {
    bool empty = true;    // the result was null
    std::string body;     // its bytes
    std::string headers;  // the headers variable afterwards
    std::string response; // the response-headers variable afterwards
};

std::string Take(st::TextValue t) {
    std::string s = t ? t : "";
    st::FreeMemory(t);
    return s;
}

Page Fetch(const std::string& address, const std::string& method = "",
           const std::string& proxy = "", const std::string& headers = "",
           const std::string& post = "") {
    Start();
    st::TextValue a = st::CopyText(address.c_str()), m = st::CopyText(method.c_str()),
                  p = st::CopyText(proxy.c_str()), h = st::CopyText(headers.c_str()),
                  d = st::CopyText(post.c_str()), r = nullptr;
    void* body = app::FetchPage(a, m, p, h, d, r);
    Page page;
    page.empty = body == nullptr;
    if (body)
        page.body.assign(reinterpret_cast<const char*>(st::ByteSetData(body)),
                         static_cast<size_t>(st::ByteSetLength(body)));
    st::FreeMemory(body);
    page.headers = Take(h);
    page.response = Take(r);
    for (void* v : {a, m, p, d})
        st::FreeMemory(v);
    return page;
}

const std::string kAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
const std::string kAccept =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
const std::string kLanguage = "Accept-Language: zh-cn\r\n";

// The default headers for an address, as the routine appends them.
std::string Defaults(const std::string& address) {
    return kAccept + "Referer: " + address + "\r\n" + kLanguage;
}

// The request as it reached the server: the request line, the lines WinINet
// puts first (host, its own length line for some methods, agent), then our
// headers as we passed them.
std::string Expected(const std::string& requestLine, const std::string& ours,
                     const std::string& hostPort, const std::string& body = "",
                     const std::string& winInetLength = "") {
    return requestLine + "\r\nHost: " + hostPort + "\r\n" + winInetLength +
           "User-Agent: " + kAgent + "\r\n" + ours + "\r\n" + body;
}

// Wine's WinINet sends "Content-Length: 0" for every method that is not
// exactly "GET" (so also for "get"), ahead of the agent line.
const std::string kWineZeroLength = "Content-Length: 0\r\n";

// What the last header query wrote, "<failed>" when it failed.
std::string LastQueryResult() {
    auto query = CallsOf("HttpQueryInfoA");
    return query.empty() ? "<not called>" : query.back().args[4];
}

// Without an answer the argument keeps its spaces, unless WinINet still
// reports a header block, which the argument then carries as written.
void CheckNoAnswerHeaders(const Page& page, const char* what) {
    const std::string wrote = LastQueryResult();
    CHECK(page.response == (wrote == "<failed>" ? std::string(1024, ' ') : wrote));
    CHECK(page.response.find("HTTP/") == std::string::npos);
    std::string shown;
    for (char c : wrote)
        shown += c == '\r'   ? std::string("\\r")
                 : c == '\n' ? std::string("\\n")
                             : std::string(1, c);
    MESSAGE("header query after " << std::string(what) << ": " << shown);
}

void CheckClosedInOrder() {
    // Each handle before the one it came from, and none left open.
    CHECK(watch.closed == std::vector<std::string>{"request", "connection", "internet"});
    CHECK(watch.open.empty());
}

} // namespace

TEST_CASE("An address splits into host, path and port") {
    Start();
    auto host = [](const char* address, bool keepPort = false) {
        st::TextValue a = const_cast<char*>(address);
        st::TextValue h = app::UrlHost(a, keepPort);
        return h ? Take(h) : std::string("<null>");
    };
    auto path = [](const char* address) {
        st::TextValue a = const_cast<char*>(address);
        return Take(app::UrlObjectName(a));
    };
    auto port = [](const char* address) {
        st::TextValue a = const_cast<char*>(address);
        return app::UrlPort(a);
    };
    CHECK(host("host/path?query") == "host");
    CHECK(path("host/path?query") == "/path?query");
    CHECK(port("host/path?query") == 80);
    CHECK(host("Host:8080/x") == "host");
    CHECK(host("Host:8080/x", true) == "host:8080");
    CHECK(path("Host:8080/x") == "/x");
    CHECK(port("Host:8080/x") == 8080);
    CHECK(host("http://Example.COM") == "example.com");
    CHECK(path("http://Example.COM") == "/");
    CHECK(path("host") == "/");
    // No host at all: the request can reach no server.
    CHECK(host("/abs") == "<null>");
    CHECK(path("/abs") == "/abs");
    CHECK(host("http:///x") == "<null>");
    // The scheme counts only at the start, in any letter case; a "http://"
    // in the query is part of the path.
    CHECK(host("host/p?u=http://other/y") == "host");
    CHECK(path("host/p?u=http://other/y") == "/p?u=http://other/y");
    CHECK(host("HTTP://Host/x") == "host");
    CHECK(path("HTTP://Host/x") == "/x");
    CHECK(port("HTTP://Host:81/x") == 81);
    // A host whose name also occurs inside the scheme.
    CHECK(path("http://h/x") == "/x");
    CHECK(path("http://t:81/x?y") == "/x?y");
    // Ports: digits after the colon, 0 (the default port) for anything else.
    CHECK(port("host:abc/x") == 0);
    CHECK(port("host:/x") == 0);
    CHECK(port("host:99999/x") == 99999);
    CHECK(port("host:\xA3\xB8\xA3\xB0/x") == 80); // full-width 80
}

TEST_CASE("A GET goes out with the caller's headers, then the defaults the caller left out") {
    const int http = scripted::Port("http");
    const std::string hostPort = "127.0.0.1:" + std::to_string(http);

    SUBCASE("an address without scheme") {
        Script({Ok("page one")});
        ResetWatch();
        const std::string address = Here("/path?query");
        Page page = Fetch(address);
        CHECK(page.body == "page one");
        CHECK(page.headers == Defaults(address));
        auto got = Received();
        REQUIRE(got.size() == 1);
        CHECK(got[0] == Expected("GET /path?query HTTP/1.1", Defaults(address), hostPort));
        // The calls as the routine makes them.
        auto open = CallsOf("InternetOpenA");
        REQUIRE(open.size() == 1);
        CHECK(open[0].args == std::vector<std::string>{kAgent, "1", "<null>", "<null>", "0"});
        auto connect = CallsOf("InternetConnectA");
        REQUIRE(connect.size() == 1);
        CHECK(connect[0].args == std::vector<std::string>{"internet", "127.0.0.1",
                                                          std::to_string(http), "", "", "3", "0",
                                                          "0"});
        auto request = CallsOf("HttpOpenRequestA");
        REQUIRE(request.size() == 1);
        CHECK(request[0].args == std::vector<std::string>{"connection", "<null>", "/path?query",
                                                          "HTTP/1.1", "<null>", "<null>",
                                                          "2147483648", "0"});
        auto sent = CallsOf("HttpSendRequestA");
        REQUIRE(sent.size() == 1);
        CHECK(sent[0].args == std::vector<std::string>{"request", Defaults(address),
                                                       std::to_string(Defaults(address).size()),
                                                       "<null>", "0"});
        auto query = CallsOf("HttpQueryInfoA");
        REQUIRE(query.size() == 1);
        CHECK(query[0].args ==
              std::vector<std::string>{"request", "22", "1024", "<null>", page.response});
        CheckClosedInOrder();
        // The response header block as received.
        CHECK(page.response == "HTTP/1.1 200 OK\r\nContent-Length: 8\r\nConnection: close\r\n\r\n");
    }
    SUBCASE("other forms: a scheme and a port (the Referer carries the whole address), no "
            "path (/), a http:// inside the query (part of the path), the scheme in upper case") {
        const struct {
            std::string address, method, requestLine, zeroLength;
        } forms[] = {
            {"http://" + Here("/x"), "GET", "GET /x HTTP/1.1", ""},
            {Here(""), "get", "get / HTTP/1.1", kWineZeroLength},
            {Here("/p?u=http://web.test/y"), "", "GET /p?u=http://web.test/y HTTP/1.1", ""},
            {"HTTP://" + Here("/X"), "", "GET /X HTTP/1.1", ""},
        };
        for (const auto& f : forms) {
            CAPTURE(f.address);
            Script({Ok("body of " + f.requestLine)});
            CHECK(Fetch(f.address, f.method).body == "body of " + f.requestLine);
            auto got = Received();
            REQUIRE(got.size() == 1);
            CHECK(got[0] ==
                  Expected(f.requestLine, Defaults(f.address), hostPort, "", f.zeroLength));
        }
    }
    SUBCASE("the caller's own Accept line, in lower case, replaces only the default Accept") {
        Script({Ok("a")});
        const std::string address = Here("/a");
        const std::string own = "X-Note: 1\r\naccept: text/html\r\n";
        const std::string all = own + "Referer: " + address + "\r\n" + kLanguage;
        Page page = Fetch(address, "", "", own);
        CHECK(page.headers == all);
        auto got = Received();
        REQUIRE(got.size() == 1);
        CHECK(got[0] == Expected("GET /a HTTP/1.1", all, hostPort));
    }
    SUBCASE("a caller's Referer and Accept-Language are kept as given") {
        Script({Ok("r")});
        const std::string own = "REFERER: elsewhere\r\nAccept-Language: en\r\n";
        Page page = Fetch(Here("/r"), "", "", own);
        CHECK(page.headers == own + kAccept);
    }
}

TEST_CASE("POST sends its data with type and length; other methods send nothing") {
    const std::string hostPort = "127.0.0.1:" + std::to_string(scripted::Port("http"));

    SUBCASE("post in lower case") {
        Script({Ok("posted")});
        ResetWatch();
        const std::string address = Here("/form");
        Page page = Fetch(address, "post", "", "", "a=1");
        CHECK(page.body == "posted");
        const std::string ours = Defaults(address) +
                                 "Content-Type: application/x-www-form-urlencoded\r\n"
                                 "Content-Length: 3\r\n";
        CHECK(page.headers == ours);
        auto got = Received();
        REQUIRE(got.size() == 1);
        CHECK(got[0] == Expected("post /form HTTP/1.1", ours, hostPort, "a=1"));
        auto request = CallsOf("HttpOpenRequestA");
        REQUIRE(request.size() == 1);
        CHECK(request[0].args[1] == "post");
        auto sent = CallsOf("HttpSendRequestA");
        REQUIRE(sent.size() == 1);
        CHECK(sent[0].args[3] == "a=1");
        CHECK(sent[0].args[4] == "3");
        CheckClosedInOrder();
    }
    SUBCASE("a POST without data has neither header") {
        Script({Ok("empty post")});
        const std::string address = Here("/form");
        Page page = Fetch(address, "POST");
        CHECK(page.body == "empty post");
        CHECK(page.headers == Defaults(address));
        auto got = Received();
        REQUIRE(got.size() == 1);
        CHECK(got[0] ==
              Expected("POST /form HTTP/1.1", Defaults(address), hostPort, "", kWineZeroLength));
    }
    SUBCASE("a caller's content type is kept; the length is always added") {
        Script({Ok("typed")});
        const std::string own = "content-type: text/plain\r\n";
        Page page = Fetch(Here("/t"), "Post", "", own, "hello");
        CHECK(page.headers == own + Defaults(Here("/t")) + "Content-Length: 5\r\n");
        auto got = Received();
        REQUIRE(got.size() == 1);
        CHECK(got[0].size() > 5);
        CHECK(got[0].substr(got[0].size() - 9) == "\r\n\r\nhello");
    }
    SUBCASE("PUT: nothing is sent, every handle closed") {
        Script({Ok("never")});
        ResetWatch();
        const std::string address = Here("/put");
        Page page = Fetch(address, "PUT", "", "", "data");
        CHECK(page.empty);
        CHECK(page.headers == Defaults(address)); // the defaults were already there
        CHECK(CallsOf("HttpSendRequestA").empty());
        CHECK(CallsOf("InternetReadFile").empty());
        CheckClosedInOrder();
        CHECK(Received().empty());
    }
}

TEST_CASE("Through a proxy the request goes to the proxy in absolute form") {
    Script({Ok("via proxy")});
    ResetWatch();
    const std::string proxy = "127.0.0.1:" + std::to_string(scripted::Port("http"));
    const std::string address = "web.test:8080/x?y=1";
    Page page = Fetch(address, "", proxy);
    CHECK(page.body == "via proxy");
    auto open = CallsOf("InternetOpenA");
    REQUIRE(open.size() == 1);
    CHECK(open[0].args == std::vector<std::string>{kAgent, "3", "http=" + proxy, "<null>", "0"});
    auto got = Received();
    REQUIRE(got.size() == 1);
    CHECK(got[0] ==
          Expected("GET http://web.test:8080/x?y=1 HTTP/1.1", Defaults(address), "web.test:8080"));
    CheckClosedInOrder();

    // A proxy of spaces alone is no proxy.
    Script({Ok("direct")});
    ResetWatch();
    CHECK(Fetch(Here("/d"), "", "  ").body == "direct");
    open = CallsOf("InternetOpenA");
    REQUIRE(open.size() == 1);
    CHECK(open[0].args[1] == "1");
}

TEST_CASE("The body comes whole, however it arrives") {
    SUBCASE("larger than one read") {
        std::string body;
        for (int i = 0; body.size() < 10000; ++i)
            body += "line " + std::to_string(i) + "\n";
        Script({Ok(body)});
        ResetWatch();
        Page page = Fetch(Here("/big"));
        CHECK(page.body == body);
        auto reads = CallsOf("InternetReadFile");
        CHECK(reads.size() >= 6); // 10,000 bytes in reads of at most 2,048, then the empty read
        for (const Call& r : reads)
            CHECK(r.args[1] == "2048");
        REQUIRE_FALSE(reads.empty());
        CHECK(reads.back().args[2] == "0");
    }
    SUBCASE("trickled by a slow server, without a length") {
        Answer slow;
        slow.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        std::string body;
        for (int i = 0; i < 6; ++i) {
            const std::string piece(700, static_cast<char>('a' + i));
            slow.Sleep(150).Send(piece);
            body += piece;
        }
        Script({slow});
        Page page = Fetch(Here("/slow"));
        CHECK(page.body == body);
    }
    SUBCASE("a zero byte: the text ends there, the bytes do not") {
        const std::string body("abc\0def", 7);
        Script({Ok(body)});
        CHECK(Fetch(Here("/zero")).body == body);
        Script({Ok(body)});
        st::TextValue a = st::CopyText(Here("/zero").c_str()), none = nullptr, h = nullptr,
                      r = nullptr;
        CHECK(Take(app::FetchPageText(a, none, none, h, none, r)) == "abc");
        for (void* v : {a, h, r})
            st::FreeMemory(v);
    }
    SUBCASE("an empty answer") {
        Script({Answer().Drop()});
        ResetWatch();
        Page page = Fetch(Here("/nothing"));
        CHECK(page.empty);
        CheckNoAnswerHeaders(page, "an empty answer");
        CheckClosedInOrder();
        MESSAGE("requests received for an empty answer: " << Received().size());
    }
    SUBCASE("a refused connection") {
        ResetWatch();
        Page page = Fetch("127.0.0.1:" + std::to_string(scripted::Port("refused")) + "/x");
        CHECK(page.empty);
        CheckNoAnswerHeaders(page, "a refused connection");
        CheckClosedInOrder();
    }
    SUBCASE("no host, or a port that does not exist") {
        for (const char* address : {"/x", "http:///x"}) {
            ResetWatch();
            CHECK(Fetch(address).empty);
            CHECK(watch.open.empty());
        }
        Script({Ok("wrong server")});
        ResetWatch();
        // 65536 more than the server's port: not the server's port modulo 65536.
        CHECK(Fetch("127.0.0.1:" + std::to_string(scripted::Port("http") + 65536) + "/x").empty);
        CHECK(watch.calls.empty());
        CHECK(Received().empty());
    }
}

TEST_CASE("Cookies the server sets go back with the next request to that host") {
    // localhost, not 127.0.0.1: the cookie store keeps these for the rest of
    // the run, and the other tests compare their requests byte for byte.
    SUBCASE("set, then sent back") {
        const std::string address = Here("/login", "localhost");
        Script({Ok("welcome", "Set-Cookie: session=abc123; path=/\r\nX-Set-Cookie: fake=1\r\n"),
                Ok("again")});
        ResetWatch();
        Page page = Fetch(address);
        CHECK(page.body == "welcome");
        auto cookies = CallsOf("InternetSetCookieA");
        REQUIRE(cookies.size() == 1); // the X- header is no cookie
        CHECK(cookies[0].args ==
              std::vector<std::string>{"http://localhost", "session", "abc123; path=/"});
        CHECK(page.response.find("Set-Cookie: session=abc123; path=/\r\n") != std::string::npos);

        CHECK(Fetch(Here("/next", "localhost")).body == "again");
        auto got = Received();
        REQUIRE(got.size() == 2);
        CHECK(got[0].find("Cookie:") == std::string::npos);
        CHECK(got[1].find("\r\nCookie: session=abc123\r\n") != std::string::npos);
    }
    SUBCASE("a cookie line without = passes an empty name and the whole line as data") {
        Script({Ok("flag", "set-cookie: flagonly\r\n")});
        ResetWatch();
        CHECK(Fetch(Here("/flag", "localhost")).body == "flag");
        auto cookies = CallsOf("InternetSetCookieA");
        REQUIRE(cookies.size() == 1);
        CHECK(cookies[0].args == std::vector<std::string>{"http://localhost", "", "flagonly"});
        MESSAGE("the cookie store answered " << lastCookieResult << " to a cookie without a name");
    }
    SUBCASE("a header block over 1,024 bytes: 1,024 spaces, no cookie, the body all the same") {
        Script({Ok("big headers",
                   "X-Padding: " + std::string(1100, 'p') + "\r\nSet-Cookie: big=1\r\n")});
        ResetWatch();
        Page big = Fetch(Here("/big-headers", "localhost"));
        CHECK(big.body == "big headers");
        CHECK(big.response == std::string(1024, ' '));
        CHECK(LastQueryResult() == "<failed>");
        CHECK(CallsOf("InternetSetCookieA").empty());
    }
}

namespace {

constexpr UINT kNestedFetch = WM_APP + 7;
int timerTicks = 0;
int quitAtTick = 0;              // the timer tick that closes the program, 0 for none
bool nestAfterFirstRead = false; // start the nested fetch once the outer one reads its body
std::string nestedBody = "<not run>";
bool fetching = false;

LRESULT CALLBACK ObserverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && fetching && ++timerTicks == quitAtTick) PostQuitMessage(0);
    // Only then has the outer request surely reached the server, which
    // answers in the order the requests arrive.
    if (message == WM_TIMER && nestAfterFirstRead && !CallsOf("InternetReadFile").empty()) {
        nestAfterFirstRead = false;
        PostMessageA(window, kNestedFetch, 0, 0);
    }
    if (message == kNestedFetch) {
        // A second fetch started while the first waits: it runs to its end here.
        Page inner = Fetch(Here("/inner"));
        nestedBody = inner.body;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A window of this thread that counts its timer messages during a fetch.
HWND ObserverWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ObserverProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "web_access_test_observer";
    RegisterClassA(&wc); // the second time it is already there
    return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance,
                           nullptr);
}

} // namespace

TEST_CASE("The window keeps processing messages while a slow page arrives") {
    Start();
    HWND window = ObserverWindow();
    REQUIRE(window);

    Answer slow;
    slow.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    // Pieces of one read each: a read waits until its buffer is full.
    for (int i = 0; i < 5; ++i)
        slow.Sleep(200).Send(std::string(2048, 'o'));
    Script({slow, Ok("inner page")});
    ResetWatch();
    SetTimer(window, 1, 20, nullptr);
    nestAfterFirstRead = true;
    fetching = true;
    Page outer = Fetch(Here("/outer"));
    fetching = false;
    KillTimer(window, 1);
    CHECK(outer.body == std::string(5 * 2048, 'o'));
    CHECK(nestedBody == "inner page");
    CHECK(timerTicks >= 3);
    MESSAGE("timer messages handled during a 1 s fetch: " << timerTicks);
    auto got = Received();
    REQUIRE(got.size() == 2);
    CHECK(got[0].rfind("GET /outer ", 0) == 0);
    CHECK(got[1].rfind("GET /inner ", 0) == 0);
    DestroyWindow(window);
}

namespace {

// Ends the test program when a fetch outlives its bound: a fetch that never
// returns would otherwise show only as the suite's timeout.
class Watchdog {
  public:
    Watchdog(DWORD milliseconds, const std::string& what)
        : done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), milliseconds_(milliseconds),
          what_(what) {
        thread_ = CreateThread(nullptr, 0, &Watch, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(done_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(done_);
    }

  private:
    static DWORD WINAPI Watch(LPVOID self) {
        auto* w = static_cast<Watchdog*>(self);
        if (WaitForSingleObject(w->done_, w->milliseconds_) == WAIT_OBJECT_0) return 0;
        std::fprintf(stderr, "a fetch did not end: %s\n", w->what_.c_str());
        std::fflush(stderr);
        ExitProcess(3);
    }
    HANDLE done_, thread_ = nullptr;
    DWORD milliseconds_;
    std::string what_;
};

} // namespace

TEST_CASE("A hostile server never holds a fetch, and the window keeps answering") {
    Start();
    HWND window = ObserverWindow();
    REQUIRE(window);
    // Short bounds keep the test short; the shipped ones only differ in size.
    constexpr DWORD kTimeout = 3000;
    app::SetFetchBounds({.receiveTimeout = kTimeout, .bodyBytes = 1024 * 1024});

    auto fetch = [&](const char* what, const Answer& answer, DWORD* elapsed = nullptr) {
        Script({answer});
        ResetWatch();
        timerTicks = 0;
        SetTimer(window, 1, 20, nullptr);
        fetching = true;
        const DWORD start = GetTickCount();
        Page page;
        {
            Watchdog dog(120000, what);
            page = Fetch(Here("/hostile/x", "localhost"));
        }
        if (elapsed) *elapsed = GetTickCount() - start;
        fetching = false;
        KillTimer(window, 1);
        return page;
    };
    const std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";

    // A 0x1A ends a line without being read: the cookie loop must step over it.
    Page page = fetch("0x1A", Ok("eof", "X-Odd: a\x1A"
                                        "b\r\nSet-Cookie: sub=1; path=/hostile\r\n"));
    CHECK(page.body == "eof");
    auto cookies = CallsOf("InternetSetCookieA");
    REQUIRE(cookies.size() == 1);
    CHECK(cookies[0].args[1] == "sub");

    static const char kNul[] = "X-Nul: a\0b\r\nSet-Cookie: nul=1; path=/hostile\r\n";
    page = fetch("NUL", Ok("nul", std::string(kNul, sizeof kNul - 1)));
    CHECK(page.body == "nul");

    // Far more than the 1,024-byte header buffer holds (more only makes
    // Wine's own header parsing slower, by the square of the count).
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += "Set-Cookie: c" + std::to_string(i) + "=v; path=/hostile\r\n";
    page = fetch("1,000 cookies", Ok("many", many));
    CHECK(page.body == "many");
    CHECK(page.response == std::string(1024, ' '));
    CHECK(CallsOf("InternetSetCookieA").empty());

    page = fetch("1 MiB of headers", Ok("huge", "X-Huge: " + std::string(1 << 20, 'h') + "\r\n"));
    MESSAGE("a 1 MiB header block gave a body of " << page.body.size() << " bytes");
    CHECK(CallsOf("InternetSetCookieA").empty());

    page =
        fetch("endless body", Answer().Send(head + "\r\n").Repeat(100000, std::string(65536, 'x')));
    CHECK(page.empty); // cut at the bound: a failed fetch
    CheckClosedInOrder();

    DWORD elapsed = 0;
    page = fetch("stalled", Answer().Send(head + "Content-Length: 10\r\n\r\npart").Sleep(60000),
                 &elapsed);
    MESSAGE("a stalled answer ended after " << elapsed << " ms with " << page.body.size()
                                            << " bytes");
    CHECK(elapsed >= kTimeout - 500);
    CHECK(elapsed < 30000);
    // The read waits on a thread of its own: the window answers meanwhile.
    CHECK(timerTicks >= 3);
    CheckClosedInOrder();

    app::SetFetchBounds({});
    DestroyWindow(window);
}

TEST_CASE("Closing the program while a read waits ends the fetch at once; the read ends alone") {
    Start();
    HWND window = ObserverWindow();
    REQUIRE(window);
    constexpr DWORD kTimeout = 1500; // the read left behind waits this long
    app::SetFetchBounds({.receiveTimeout = kTimeout, .bodyBytes = 1024 * 1024});
    Script({Answer()
                .Send("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 10\r\n\r\npart")
                .Sleep(60000)});
    ResetWatch();
    timerTicks = 0;
    quitAtTick = 5;
    SetTimer(window, 1, 20, nullptr);
    fetching = true;
    const DWORD start = GetTickCount();
    Page page = Fetch(Here("/closing"));
    const DWORD elapsed = GetTickCount() - start;
    fetching = false;
    quitAtTick = 0;
    KillTimer(window, 1);
    MESSAGE("the fetch gave up " << elapsed << " ms after it began");
    CHECK(page.empty);
    CHECK(elapsed < kTimeout - 500);
    // The end of the program is still on its way to the loop that owns it.
    MSG quit;
    REQUIRE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK(quit.wParam == 0);
    // Nothing after the read was called: no header query, no close.
    CHECK(CallsOf("HttpQueryInfoA").empty());
    CHECK(CallsOf("InternetCloseHandle").empty());

    // The read left behind ends at its timeout, on its own thread.
    const size_t readsBefore = CallsOf("InternetReadFile").size();
    const DWORD waitStart = GetTickCount();
    while (CallsOf("InternetReadFile").size() == readsBefore &&
           GetTickCount() - waitStart < 4 * kTimeout)
        Sleep(20);
    CHECK(CallsOf("InternetReadFile").size() == readsBefore + 1);
    {
        // The handles it held are the program's to drop at its end; here the
        // test drops them.
        Guard guard(watchLock);
        for (const char* kind : {"request", "connection", "internet"})
            for (auto it = watch.open.begin(); it != watch.open.end(); ++it)
                if (it->second == kind) {
                    realClose(it->first);
                    watch.open.erase(it);
                    break;
                }
    }
    CHECK(watch.open.empty());
    app::SetFetchBounds({});
    DestroyWindow(window);
}

namespace {
struct HandleCounts {
    DWORD system = 0; // GetProcessHandleCount (Wine keeps no count: 0)
    DWORD probed = 0; // handle values that GetHandleInformation accepts
};
HandleCounts CountHandles() {
    HandleCounts c;
    GetProcessHandleCount(GetCurrentProcess(), &c.system);
    for (uintptr_t v = 4; v < 0x10000; v += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) ++c.probed;
    }
    return c;
}
} // namespace

TEST_CASE("200 fetches leave no handle behind") {
    Script({Ok("small page")});
    for (int i = 0; i < 10; ++i)
        REQUIRE(Fetch(Here("/warm")).body == "small page");
    const HandleCounts before = CountHandles();
    const int openedBefore = watch.opened;
    ResetWatch();
    int ok = 0;
    for (int i = 0; i < 200; ++i)
        ok += Fetch(Here("/loop")).body == "small page";
    const HandleCounts after = CountHandles();
    CHECK(ok == 200);
    CHECK(watch.opened - openedBefore == 600);
    CHECK(watch.closed.size() == 600);
    CHECK(watch.open.empty());
    MESSAGE("process handles before/after 200 fetches: GetProcessHandleCount "
            << before.system << "/" << after.system << ", probed " << before.probed << "/"
            << after.probed);
    CHECK(before.probed > 0);
    CHECK(after.probed <= before.probed + 4);
    CHECK(after.system <= before.system + 4);
}

TEST_CASE("The declared library names reach the loader as written") {
    Start();
    bool mixed = false, lower = false;
    for (const std::string& name : watch.loaded) {
        mixed = mixed || name == "WinINet.dll";
        lower = lower || name == "wininet.dll";
    }
    CHECK(mixed);
    CHECK(lower);
}

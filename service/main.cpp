// speech-service: the speech tool's local synthesis endpoint.
#include "audio_cache.h"
#include "protocol.h"
#include "speech_server.h"
#include "synthesizer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr int kExitStartFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCannotListen = 3;

constexpr std::uint64_t kDefaultCacheBytes = 256ull << 20;

void Usage(std::FILE* to) {
    std::fputs(
        "usage: speech-service [--listen HOST:PORT] [--public-url URL] [--cache DIR]\n"
        "                      [--max-text BYTES] [--cache-max BYTES]\n"
        "                      [--max-connections N] [--max-waiting N]\n"
        "                      [--request-timeout SECONDS] [--quiet] [--version]\n"
        "  --listen     address to serve on (default 127.0.0.1:8925; port 0 picks one)\n"
        "  --public-url start of the MP3 address in pages (http://HOST:PORT), for\n"
        "               port forwarding and containers (default: the address reached)\n"
        "  --cache      directory of synthesised files\n"
        "               (default $XDG_CACHE_HOME/speech-service or ~/.cache/speech-service)\n"
        "  --max-text   longest text accepted, in bytes of UTF-8 (default 4096)\n"
        "  --cache-max  size cap of the cache directory, in bytes; K, M, G suffixes\n"
        "               (default 256M)\n"
        "  --max-connections  most connections served at once (default 4000)\n"
        "  --max-waiting  most connections waiting for one of those, shared\n"
        "               fairly between clients (default 1024)\n"
        "  --request-timeout  seconds a client has to send a request head, and the\n"
        "               longest silence on a connection (default 10)\n"
        "  --quiet      no per-request log lines\n"
        "  --version    print the version\n",
        to);
}

// A byte count with an optional K, M or G suffix; nullopt when it is not one
// or does not fit in 64 bits (never a wrapped-around value).
std::optional<std::uint64_t> ParseSize(std::string_view s) {
    unsigned shift = 0;
    if (!s.empty()) {
        switch (s.back()) {
        case 'K':
        case 'k':
            shift = 10;
            break;
        case 'M':
        case 'm':
            shift = 20;
            break;
        case 'G':
        case 'g':
            shift = 30;
            break;
        }
        if (shift != 0) s.remove_suffix(1);
    }
    if (s.empty()) return std::nullopt;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    if (value > (kMax >> shift)) return std::nullopt;
    return value << shift;
}

// "http://host:port" with nothing a page could be broken by; a trailing
// slash is dropped.
std::optional<std::string> ParsePublicUrl(std::string_view s) {
    while (!s.empty() && s.back() == '/')
        s.remove_suffix(1);
    std::size_t scheme = s.starts_with("http://") ? 7 : s.starts_with("https://") ? 8 : 0;
    if (scheme == 0 || s.size() == scheme) return std::nullopt;
    for (unsigned char c : s)
        if (c <= 0x20 || c >= 0x7F || c == '\'' || c == '"' || c == '<' || c == '>' || c == '\\' ||
            c == '?' || c == '#')
            return std::nullopt;
    return std::string(s);
}

// systemd's readiness protocol: one datagram to $NOTIFY_SOCKET, when set.
void NotifySystemd(const char* state) {
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (!path || (path[0] != '/' && path[0] != '@')) return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::size_t length = std::strlen(path);
    if (length >= sizeof address.sun_path) return;
    std::memcpy(address.sun_path, path, length);
    if (address.sun_path[0] == '@') address.sun_path[0] = '\0'; // abstract namespace
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    ::sendto(fd, state, std::strlen(state), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
             static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
    ::close(fd);
}

// Each connection, served or waiting, takes a descriptor: use all the hard
// limit allows, and shrink both counts to fit in what is left (a fifth of it
// for the waiting line, when it has to give).
void FitConnectionLimits(unsigned& served, std::size_t& waiting) {
    constexpr rlim_t kSpareDescriptors = 64;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    rlim_t room = limit.rlim_cur > kSpareDescriptors + 2 ? limit.rlim_cur - kSpareDescriptors : 2;
    if (served + waiting <= room) return;
    waiting = std::min<std::size_t>(waiting, room / 5);
    served = static_cast<unsigned>(std::min<rlim_t>(served, room - waiting));
}

std::optional<std::filesystem::path> DefaultCacheDir() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return std::filesystem::path(xdg) / "speech-service";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::filesystem::path(home) / ".cache" / "speech-service";
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = 8925;
    std::optional<std::filesystem::path> cacheDir;
    std::size_t maxText = speech::kDefaultMaxText;
    std::uint64_t cacheMax = kDefaultCacheBytes;
    bool quiet = false;
    std::string publicUrl;
    unsigned maxConnections = speech::ServerOptions{}.connectionLimit;
    std::size_t maxWaiting = speech::ServerOptions{}.waitingLimit;
    unsigned requestTimeout = speech::ServerOptions{}.idleTimeoutSeconds;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("speech-service %s\n", SPEECH_SERVICE_VERSION);
            return 0;
        } else if (arg == "--public-url") {
            auto v = value();
            auto url = v ? ParsePublicUrl(*v) : std::nullopt;
            if (!url) {
                std::fprintf(stderr, "speech-service: --public-url wants http://HOST[:PORT]\n");
                return kExitUsage;
            }
            publicUrl = *url;
        } else if (arg == "--max-connections") {
            auto v = value();
            auto n = v ? ParseSize(*v) : std::nullopt;
            if (!n || *n == 0 || *n > 1'000'000 ||
                !std::isdigit(static_cast<unsigned char>(v->back()))) {
                std::fprintf(stderr, "speech-service: --max-connections wants a count\n");
                return kExitUsage;
            }
            maxConnections = static_cast<unsigned>(*n);
        } else if (arg == "--max-waiting") {
            auto v = value();
            auto n = v ? speech::ParseInteger(*v) : std::nullopt;
            if (!n || *n < 0 || *n > 1'000'000) {
                std::fprintf(stderr, "speech-service: --max-waiting wants a count\n");
                return kExitUsage;
            }
            maxWaiting = static_cast<std::size_t>(*n);
        } else if (arg == "--request-timeout") {
            auto v = value();
            auto n = v ? speech::ParseInteger(*v) : std::nullopt;
            if (!n || *n < 1 || *n > 3600) {
                std::fprintf(stderr, "speech-service: --request-timeout wants 1..3600 seconds\n");
                return kExitUsage;
            }
            requestTimeout = static_cast<unsigned>(*n);
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--listen") {
            auto v = value();
            std::size_t colon = v ? v->rfind(':') : std::string::npos;
            auto p = colon != std::string::npos ? speech::ParseInteger(v->substr(colon + 1))
                                                : std::nullopt;
            if (!p || *p < 0 || *p > 65535 || colon == 0 || (*v)[colon + 1] == '-' ||
                (*v)[colon + 1] == '+') {
                std::fprintf(stderr, "speech-service: --listen wants HOST:PORT\n");
                return kExitUsage;
            }
            host = v->substr(0, colon);
            if (host.size() > 2 && host.front() == '[' && host.back() == ']')
                host = host.substr(1, host.size() - 2);
            port = *p;
        } else if (arg == "--cache") {
            auto v = value();
            if (!v || v->empty()) {
                std::fprintf(stderr, "speech-service: --cache wants a directory\n");
                return kExitUsage;
            }
            cacheDir = *v;
        } else if (arg == "--max-text") {
            auto v = value();
            auto n = v ? ParseSize(*v) : std::nullopt;
            if (!n || *n == 0 || *n > std::numeric_limits<std::size_t>::max()) {
                std::fprintf(stderr, "speech-service: --max-text wants a positive byte count\n");
                return kExitUsage;
            }
            maxText = static_cast<std::size_t>(*n);
        } else if (arg == "--cache-max") {
            auto v = value();
            auto n = v ? ParseSize(*v) : std::nullopt;
            if (!n || *n == 0) {
                std::fprintf(stderr, "speech-service: --cache-max wants a positive byte count\n");
                return kExitUsage;
            }
            cacheMax = *n;
        } else {
            std::fprintf(stderr, "speech-service: unknown argument '%s'\n", arg.c_str());
            Usage(stderr);
            return kExitUsage;
        }
    }
    if (!cacheDir) cacheDir = DefaultCacheDir();
    if (!cacheDir) {
        std::fprintf(stderr, "speech-service: neither XDG_CACHE_HOME nor HOME is set; "
                             "give --cache DIR\n");
        return kExitUsage;
    }

    // Signals are taken by a thread of their own (sigwait), never by a handler
    // that would have to call into the server. Blocked before any thread
    // starts. A hangup (the terminal went away) stops it the same way.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // A write over a file-size limit fails with EFBIG like any disk error.
    ::signal(SIGXFSZ, SIG_IGN);

    try {
        speech::AudioCache cache(*cacheDir, cacheMax);
        speech::Synthesizer synthesizer;
        speech::ServerOptions options{.maxTextBytes = maxText, .publicUrl = publicUrl};
        FitConnectionLimits(maxConnections, maxWaiting);
        options.connectionLimit = maxConnections;
        options.waitingLimit = maxWaiting;
        options.idleTimeoutSeconds = requestTimeout;
        options.requestDeadline = std::chrono::seconds(requestTimeout);
        if (quiet) options.log = nullptr;
        speech::SpeechServer server(cache, synthesizer, options);

        std::string bindError;
        int bound = server.Bind(host, port, &bindError);
        if (bound < 0) {
            std::fprintf(stderr, "speech-service: cannot listen on %s:%d: %s\n", host.c_str(), port,
                         bindError.c_str());
            return kExitCannotListen;
        }

        std::atomic<bool> finished{false};
        std::thread signalThread([&] {
            timespec tick{0, 100'000'000};
            while (!finished) {
                int sig = ::sigtimedwait(&stopSignals, nullptr, &tick);
                if (sig == SIGINT || sig == SIGTERM || sig == SIGHUP) {
                    NotifySystemd("STOPPING=1");
                    server.Stop();
                    return;
                }
            }
        });

        bool ok = server.Run([&] {
            std::printf("speech-service: listening on http://%s:%d/ (cache %s, %zu files)\n",
                        host.find(':') != std::string::npos ? ("[" + host + "]").c_str()
                                                            : host.c_str(),
                        bound, cache.Directory().c_str(), cache.FileCount());
            std::fflush(stdout);
            NotifySystemd("READY=1");
        });
        finished = true;
        signalThread.join();
        if (!ok) {
            std::fprintf(stderr, "speech-service: the HTTP server could not start\n");
            return kExitStartFailed;
        }
        std::fprintf(stderr, "speech-service: stopped\n");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "speech-service: %s\n", e.what());
        return kExitStartFailed;
    }
}

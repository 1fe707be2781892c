// speech-service: the speech tool's local synthesis endpoint.
#include "audio_cache.h"
#include "protocol.h"
#include "speech_server.h"
#include "synthesizer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

void usage(std::FILE* to) {
    std::fputs(
        "usage: speech-service [--listen HOST:PORT] [--cache DIR] [--max-text BYTES]\n"
        "                      [--cache-max BYTES] [--quiet]\n"
        "  --listen     address to serve on (default 127.0.0.1:8925; port 0 picks one)\n"
        "  --cache      directory of synthesised files\n"
        "               (default $XDG_CACHE_HOME/speech-service or ~/.cache/speech-service)\n"
        "  --max-text   longest text accepted, in bytes of UTF-8 (default 4096)\n"
        "  --cache-max  size cap of the cache directory, in bytes; K, M, G suffixes\n"
        "               (default 256M)\n"
        "  --quiet      no per-request log lines\n",
        to);
}

std::optional<std::uint64_t> parseSize(std::string_view s) {
    std::uint64_t scale = 1;
    if (!s.empty()) {
        switch (s.back()) {
        case 'K':
        case 'k':
            scale = 1ull << 10;
            break;
        case 'M':
        case 'm':
            scale = 1ull << 20;
            break;
        case 'G':
        case 'g':
            scale = 1ull << 30;
            break;
        }
        if (scale != 1) s.remove_suffix(1);
    }
    if (s.empty() || s.size() > 12) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value * scale;
}

std::optional<std::filesystem::path> defaultCacheDir() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return std::filesystem::path(xdg) / "speech-service";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::filesystem::path(home) / ".cache" / "speech-service";
    return std::nullopt;
}

// The HTTP library reports only that binding failed; a bind of our own finds out why.
std::string bindFailureReason(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* result = nullptr;
    int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &result);
    if (rc != 0) return ::gai_strerror(rc);
    std::string reason = "unknown error";
    int fd = ::socket(result->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        reason = std::strerror(errno);
    } else {
        int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, result->ai_addr, result->ai_addrlen) != 0 || ::listen(fd, 1) != 0)
            reason = std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(result);
    return reason;
}

} // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = 8925;
    std::optional<std::filesystem::path> cacheDir;
    std::size_t maxText = speech::kDefaultMaxText;
    std::uint64_t cacheMax = kDefaultCacheBytes;
    bool quiet = false;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--listen") {
            auto v = value();
            std::size_t colon = v ? v->rfind(':') : std::string::npos;
            auto p = colon != std::string::npos ? speech::parseInteger(v->substr(colon + 1))
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
            auto n = v ? parseSize(*v) : std::nullopt;
            if (!n || *n == 0) {
                std::fprintf(stderr, "speech-service: --max-text wants a positive byte count\n");
                return kExitUsage;
            }
            maxText = static_cast<std::size_t>(*n);
        } else if (arg == "--cache-max") {
            auto v = value();
            auto n = v ? parseSize(*v) : std::nullopt;
            if (!n || *n == 0) {
                std::fprintf(stderr, "speech-service: --cache-max wants a positive byte count\n");
                return kExitUsage;
            }
            cacheMax = *n;
        } else {
            std::fprintf(stderr, "speech-service: unknown argument '%s'\n", arg.c_str());
            usage(stderr);
            return kExitUsage;
        }
    }
    if (!cacheDir) cacheDir = defaultCacheDir();
    if (!cacheDir) {
        std::fprintf(stderr, "speech-service: neither XDG_CACHE_HOME nor HOME is set; "
                             "give --cache DIR\n");
        return kExitUsage;
    }

    // Signals are taken by a thread of their own (sigwait), never by a handler
    // that would have to call into the server. Blocked before any thread starts.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    try {
        speech::AudioCache cache(*cacheDir, cacheMax);
        speech::Synthesizer synthesizer;
        speech::ServerOptions options{maxText};
        if (quiet) options.log = nullptr;
        speech::SpeechServer server(cache, synthesizer, options);

        int bound = server.bind(host, port);
        if (bound < 0) {
            std::fprintf(stderr, "speech-service: cannot listen on %s:%d: %s\n", host.c_str(), port,
                         bindFailureReason(host, port).c_str());
            return kExitCannotListen;
        }

        std::atomic<bool> finished{false};
        std::thread signalThread([&] {
            // Polls briefly so that a signal arriving before the server loop is
            // up still stops it once it is.
            bool stopRequested = false;
            timespec tick{0, 100'000'000};
            while (!finished) {
                int sig = ::sigtimedwait(&stopSignals, nullptr, &tick);
                if (sig == SIGINT || sig == SIGTERM) stopRequested = true;
                if (stopRequested && server.isRunning()) {
                    server.stop();
                    return;
                }
            }
        });

        std::printf("speech-service: listening on http://%s:%d/ (cache %s, %zu files)\n",
                    host.find(':') != std::string::npos ? ("[" + host + "]").c_str() : host.c_str(),
                    bound, cache.directory().c_str(), cache.fileCount());
        std::fflush(stdout);

        bool ok = server.run();
        finished = true;
        signalThread.join();
        if (!ok) {
            std::fprintf(stderr, "speech-service: the server stopped unexpectedly\n");
            return kExitStartFailed;
        }
        std::fprintf(stderr, "speech-service: stopped\n");
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "speech-service: %s\n", e.what());
        return kExitStartFailed;
    }
}

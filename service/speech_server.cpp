#include "speech_server.h"

#include "content_key.h"
#include "protocol.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

namespace speech {

using Clock = std::chrono::steady_clock;

struct RequestContext {
    std::string target; // as the client sent it, escapes and all
    Clock::time_point start = Clock::now();
    std::string method = "-";
    std::string client = "-";
    bool headIn = false; // the library has called with the whole head
    bool started = false;
    int status = 0; // 0: never answered by us
    std::size_t bodyBytes = 0;
    const char* cache = "-";
    double synthesisMs = -1, storeMs = -1;
    std::shared_ptr<SynthesisJob> job;
    bool joinedJob = false; // waited on a synthesis another request started
};

// One text waiting for or going through eSpeak, and every request that wants it.
// Fields past `rate` are guarded by the server's queue mutex.
struct SynthesisJob {
    std::string key;
    std::string text;
    const Voice* voice;
    int rate;
    std::vector<MHD_Connection*> waiters;
    bool done = false;
    int status = 200;
    std::string error; // the client's part of a failure
    double synthesisMs = -1, storeMs = -1;
};

namespace {

constexpr int kListenBacklog = 1024;
// The library's own cap sits a little above ours, so that a connection we
// count as leaving but it has not closed yet never makes it refuse one.
constexpr unsigned kLibraryLimitSlack = 16;
// A connection handed to the library that it has not reported open after
// this long was refused by it; its slot is counted free again.
constexpr auto kHandOverLimbo = std::chrono::seconds(2);
// Out of descriptors: accepting rests this long so that connections can end.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
constexpr auto kAcceptTick = std::chrono::milliseconds(200);
constexpr auto kReaperTick = std::chrono::milliseconds(200);
// While others wait for a slot, a request head gets this long (or the
// request timeout, if shorter): a client that means it sends one at once.
constexpr auto kHeadGraceWhenFull = std::chrono::seconds(2);
// After the grace for syntheses, answers already queued get this long to go out.
constexpr auto kStopFlush = std::chrono::milliseconds(800);
constexpr const char* kRetryAfterSeconds = "5";
constexpr int kSynthesisNice = 10;
constexpr std::string_view kAudioPrefix = "/audio/";

const char* ReasonPhrase(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

const char* TerminationWord(int code) {
    switch (code) {
    case MHD_REQUEST_TERMINATED_COMPLETED_OK:
        return "done";
    case MHD_REQUEST_TERMINATED_TIMEOUT_REACHED:
        return "timeout";
    case MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN:
        return "shutdown";
    case MHD_REQUEST_TERMINATED_CLIENT_ABORT:
        return "client-abort";
    default:
        return "error";
    }
}

// Keeps log lines one line and readable whatever the client sent.
std::string Printable(std::string_view s, std::size_t limit) {
    if (s.empty()) return "-";
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c <= 0x20 || c >= 0x7F) {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (s.size() > limit) out += "...";
    return out;
}

std::string AddressText(const sockaddr* sa) {
    char host[INET6_ADDRSTRLEN] = "-";
    if (sa && sa->sa_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, host,
                    sizeof host);
    else if (sa && sa->sa_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, host,
                    sizeof host);
    return host;
}

// Whom a connection's turn in the line belongs to: its IPv4 address, or the
// /64 an IPv6 address is in (one host may hold a whole /64).
std::string ClientOf(const sockaddr_storage& ss) {
    if (ss.ss_family != AF_INET6) return AddressText(reinterpret_cast<const sockaddr*>(&ss));
    in6_addr a = reinterpret_cast<const sockaddr_in6&>(ss).sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&a)) return AddressText(reinterpret_cast<const sockaddr*>(&ss));
    std::memset(a.s6_addr + 8, 0, 8);
    char host[INET6_ADDRSTRLEN] = "-";
    ::inet_ntop(AF_INET6, &a, host, sizeof host);
    return std::string(host) + "/64";
}

int PortOf(const sockaddr_storage& ss) {
    if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(ss).sin_port);
    if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(ss).sin6_port);
    return -1;
}

int ConnectionFd(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    return info ? info->connect_fd : -1;
}

bool HasBody(MHD_Connection* connection) {
    const char* length =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    return (length && std::strcmp(length, "0") != 0) ||
           MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                       MHD_HTTP_HEADER_TRANSFER_ENCODING);
}

// libmicrohttpd's C callbacks, each handing over to the server.
void* onUri(void* cls, const char* uri, MHD_Connection* connection) {
    auto* ctx = new RequestContext;
    ctx->target = uri ? uri : "";
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info) ctx->client = AddressText(info->client_addr);
    (void)cls;
    return ctx;
}

MHD_Result onRequest(void* cls, MHD_Connection* connection, const char*, const char* method,
                     const char*, const char*, std::size_t* uploadSize, void** slot) {
    auto* ctx = static_cast<RequestContext*>(*slot);
    if (!ctx) return MHD_NO; // every request passes onUri first
    if (!ctx->headIn) {
        ctx->headIn = true;
        // Answered on this first call, the library would close the connection
        // after the answer. A request without a body is answered on the next
        // call, once it has been taken in whole, so the connection can serve
        // another. One with a body is answered now and the connection closed:
        // nothing here reads bodies.
        if (!HasBody(connection)) return MHD_YES;
    }
    // Answered already (a body may still be arriving): take it in and forget it.
    *uploadSize = 0;
    if (ctx->status != 0) return MHD_YES;
    return static_cast<SpeechServer*>(cls)->HandleRequest(connection, method, ctx) ? MHD_YES
                                                                                   : MHD_NO;
}

void onCompleted(void* cls, MHD_Connection* connection, void** slot,
                 MHD_RequestTerminationCode code) {
    auto* ctx = static_cast<RequestContext*>(*slot);
    *slot = nullptr;
    if (ctx) static_cast<SpeechServer*>(cls)->OnCompleted(connection, ctx, code);
}

void onConnection(void* cls, MHD_Connection* connection, void**,
                  MHD_ConnectionNotificationCode code) {
    static_cast<SpeechServer*>(cls)->OnConnection(connection,
                                                  code == MHD_CONNECTION_NOTIFY_STARTED);
}

struct LogTarget {
    std::FILE* log;
};

void onLibraryMessage(void* cls, const char* format, va_list args) {
    auto* target = static_cast<LogTarget*>(cls);
    if (!target->log) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r'))
        text[--n] = '\0';
    std::fprintf(target->log, "speech-service: http: %s\n", text);
    std::fflush(target->log);
}

LogTarget libraryLog{stderr};

std::string LogTime() {
    char when[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return when;
}

} // namespace

SpeechServer::SpeechServer(AudioCache& cache, Synthesizer& synthesizer, ServerOptions options)
    : cache_(cache), synthesizer_(synthesizer), options_(std::move(options)),
      line_(options_.waitingLimit) {
    while (!options_.publicUrl.empty() && options_.publicUrl.back() == '/')
        options_.publicUrl.pop_back();
}

SpeechServer::~SpeechServer() {
    Stop();
    if (daemon_) MHD_stop_daemon(daemon_);
    if (listenFd_ >= 0) ::close(listenFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

int SpeechServer::Bind(const std::string& host, int port, std::string* error) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* result = nullptr;
    int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &result);
    if (rc != 0) {
        *error = ::gai_strerror(rc);
        return -1;
    }
    int fd = ::socket(result->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool ok = fd >= 0;
    if (ok) {
        // SO_REUSEADDR only: SO_REUSEPORT would let a second service share
        // the port silently instead of reporting it taken.
        int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        ok = ::bind(fd, result->ai_addr, result->ai_addrlen) == 0 &&
             ::listen(fd, kListenBacklog) == 0;
    }
    if (!ok) *error = std::strerror(errno);
    ::freeaddrinfo(result);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (ok && ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        *error = std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    listenFd_ = fd;
    return PortOf(bound);
}

bool SpeechServer::Run(const std::function<void()>& onReady) {
    if (listenFd_ < 0) return false;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return false;
    libraryLog.log = options_.log;
    // The library never sees the listening socket: the accept thread hands
    // it connections as slots free.
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME |
                     MHD_USE_NO_LISTEN_SOCKET | MHD_USE_ERROR_LOG;
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &onRequest, this,
        // First, so that the library's messages about later options come here too.
        MHD_OPTION_EXTERNAL_LOGGER, &onLibraryMessage, &libraryLog, MHD_OPTION_CONNECTION_LIMIT,
        options_.connectionLimit + kLibraryLimitSlack, MHD_OPTION_CONNECTION_TIMEOUT,
        options_.idleTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, options_.headerBytesLimit,
        MHD_OPTION_URI_LOG_CALLBACK, &onUri, this, MHD_OPTION_NOTIFY_COMPLETED, &onCompleted, this,
        MHD_OPTION_NOTIFY_CONNECTION, &onConnection, this, MHD_OPTION_END);
    if (!daemon_) return false;
    synthesisThread_ = std::thread([this] { SynthesisLoop(); });
    reaperThread_ = std::thread([this] { ReaperLoop(); });
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    if (onReady) onReady();

    std::unique_lock stopLock(stopMutex_);
    stopChanged_.wait(stopLock, [this] { return stopRequested_; });
    stopLock.unlock();

    // No new connections from here on; those waiting for a slot are told so.
    acceptThread_.join();
    ::close(listenFd_);
    listenFd_ = -1;
    // Texts not started yet are answered "stopping"; the one in eSpeak may finish.
    std::vector<MHD_Connection*> toResume;
    {
        std::lock_guard lock(queueMutex_);
        queueClosed_ = true;
        for (auto& job : queue_) {
            job->done = true;
            job->status = 503;
            job->error = "the service is stopping";
            toResume.insert(toResume.end(), job->waiters.begin(), job->waiters.end());
            job->waiters.clear();
            pending_.erase(job->key);
        }
        queue_.clear();
        inFlight_ -= toResume.size();
        for (MHD_Connection* c : toResume)
            MHD_resume_connection(c);
    }
    queueChanged_.notify_all();
    auto graceEnd = Clock::now() + options_.stopGrace;
    {
        std::unique_lock lock(queueMutex_);
        queueChanged_.wait_until(lock, graceEnd, [this] { return inFlight_ == 0; });
        if (inFlight_ != 0) {
            // Still in eSpeak after the grace: its waiters get "stopping" too.
            synthesizer_.Cancel();
            for (auto& [key, job] : pending_) {
                job->done = true;
                job->status = 503;
                job->error = "the service is stopping";
                for (MHD_Connection* c : job->waiters)
                    MHD_resume_connection(c);
                inFlight_ -= job->waiters.size();
                job->waiters.clear();
            }
        }
    }
    // Let the answers just made go out, then drop whatever is left.
    auto flushEnd = Clock::now() + kStopFlush;
    while (Clock::now() < flushEnd) {
        bool busy = false;
        {
            std::lock_guard lock(connectionsMutex_);
            for (auto& [c, state] : connections_)
                busy = busy || state.busy;
        }
        if (!busy) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    synthesisThread_.join();
    reaperThread_.join();
    return true;
}

void SpeechServer::Stop() {
    {
        std::lock_guard lock(stopMutex_);
        stopRequested_ = true;
    }
    stopChanged_.notify_all();
    { std::lock_guard lock(queueMutex_); }
    queueChanged_.notify_all();
    Wake();
}

void SpeechServer::Wake() {
    if (wakeFd_ < 0) return;
    std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

bool SpeechServer::SlotFree() {
    std::lock_guard lock(connectionsMutex_);
    auto stale = Clock::now() - kHandOverLimbo;
    while (!handedOver_.empty() && handedOver_.front() < stale)
        handedOver_.pop_front();
    return connections_.size() + handedOver_.size() < options_.connectionLimit;
}

void SpeechServer::LetIn(WaitingConnection c) {
    {
        std::lock_guard lock(connectionsMutex_);
        handedOver_.push_back(Clock::now());
    }
    if (MHD_add_connection(daemon_, c.fd, reinterpret_cast<const sockaddr*>(&c.address),
                           c.addressLength) != MHD_YES) {
        // Refused (out of memory): the library has closed the socket.
        std::lock_guard lock(connectionsMutex_);
        if (!handedOver_.empty()) handedOver_.pop_back();
    }
}

void SpeechServer::TurnAway(WaitingConnection c, const char* why) {
    // Take in what the client has sent, so that the close does not reset the
    // connection before the client has read the answer.
    char scratch[4096];
    for (int i = 0; i < 16 && ::recv(c.fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0; ++i) {
    }
    std::string body = std::string("503 Service Unavailable: ") + why + "\n";
    std::string answer = "HTTP/1.1 503 Service Unavailable\r\n"
                         "Content-Type: text/plain; charset=utf-8\r\n"
                         "Content-Length: " +
                         std::to_string(body.size()) + "\r\nRetry-After: " + kRetryAfterSeconds +
                         "\r\nConnection: close\r\n\r\n" + body;
    (void)!::send(c.fd, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(c.fd, SHUT_WR);
    ::close(c.fd);
    if (!options_.log) return;
    char took[32];
    std::snprintf(took, sizeof took, "%.1fms",
                  std::chrono::duration<double, std::milli>(Clock::now() - c.arrived).count());
    std::string address = AddressText(reinterpret_cast<const sockaddr*>(&c.address));
    LogLine(LogTime() + " " + address + " - - 503 " + std::to_string(body.size()) + " " + took +
            " - turned-away (" + why + ")\n");
}

void SpeechServer::AcceptLoop() {
    auto restUntil = Clock::time_point{};
    for (;;) {
        {
            std::lock_guard lock(stopMutex_);
            if (stopRequested_) break;
        }
        auto now = Clock::now();
        auto timeout = kAcceptTick;
        if (auto oldest = line_.Oldest())
            timeout = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     *oldest + options_.requestDeadline - now) +
                                     std::chrono::milliseconds(1),
                                 std::chrono::milliseconds(0), timeout);
        bool resting = now < restUntil;
        pollfd fds[2] = {{wakeFd_, POLLIN, 0},
                         {listenFd_, static_cast<short>(resting ? 0 : POLLIN), 0}};
        ::poll(fds, 2, static_cast<int>(timeout.count()));
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            (void)!::read(wakeFd_, &count, sizeof count);
        }
        // A bounded batch per round, so that freed slots and deadlines are
        // seen to even under a flood of new connections.
        for (int batch = 0; batch < 256 && (fds[1].revents & POLLIN); ++batch) {
            WaitingConnection c;
            c.addressLength = sizeof c.address;
            c.fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&c.address), &c.addressLength,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (c.fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    if (!resting)
                        LogLine(std::string("speech-service: accept: ") + std::strerror(errno) +
                                "; pausing new connections\n");
                    restUntil = Clock::now() + kAcceptPause;
                }
                break; // EAGAIN: all taken
            }
            c.arrived = Clock::now();
            c.client = ClientOf(c.address);
            if (line_.Size() == 0 && SlotFree())
                LetIn(std::move(c));
            else if (auto out = line_.Push(std::move(c)))
                TurnAway(std::move(*out), "too many connections waiting");
            waiting_ = line_.Size();
        }
        // The count answers see is brought down before the connection goes
        // in: else its own answer, read against the old count, would close
        // the connection it asked to keep though no one waits any more.
        while (line_.Size() > 0 && SlotFree()) {
            WaitingConnection next = *line_.Pop();
            waiting_ = line_.Size();
            LetIn(std::move(next));
        }
        for (auto& c : line_.Expire(Clock::now() - options_.requestDeadline))
            TurnAway(std::move(c), "no connection free in time");
        waiting_ = line_.Size();
    }
    while (auto c = line_.Pop())
        TurnAway(std::move(*c), "the service is stopping");
    waiting_ = 0;
}

void SpeechServer::OnConnection(MHD_Connection* connection, bool opened) {
    {
        std::lock_guard lock(connectionsMutex_);
        if (opened) {
            if (!handedOver_.empty()) handedOver_.pop_front();
            connections_[connection] = {ConnectionFd(connection),
                                        Clock::now() + options_.requestDeadline, false, false};
        } else {
            connections_.erase(connection);
        }
    }
    if (!opened && waiting_ > 0) Wake(); // a slot for the next in line
}

void SpeechServer::ReaperLoop() {
    // A client that trickles its request head keeps resetting the library's
    // inactivity timer; this deadline cuts it off all the same. While others
    // wait for a slot, a kept-alive connection idle after its answer gives
    // its slot up at once, and a head gets a shorter time: slow senders
    // cannot sit on every slot for the whole timeout. The socket is only shut
    // down, never closed, so the library still owns and frees it.
    for (;;) {
        {
            std::unique_lock lock(stopMutex_);
            if (stopChanged_.wait_for(lock, kReaperTick, [this] { return stopRequested_; })) {
                lock.unlock();
                // Slow and idle connections go at once on stop.
                std::lock_guard connections(connectionsMutex_);
                for (auto& [c, state] : connections_)
                    if (!state.busy) ::shutdown(state.fd, SHUT_RDWR);
                return;
            }
        }
        auto now = Clock::now();
        auto cut = options_.requestDeadline -
                   std::min<Clock::duration>(options_.requestDeadline, kHeadGraceWhenFull);
        std::lock_guard lock(connectionsMutex_);
        // Read under the lock: a connection let in since is only in the map
        // once the count was brought down for it, so a count read before the
        // lock could be stale and cut off a connection that no one waits for.
        bool othersWait = waiting_ > 0;
        for (auto& [c, state] : connections_) {
            if (state.busy || state.fd < 0) continue;
            bool late = now > state.deadline;
            if (othersWait) late = late || state.answered || now > state.deadline - cut;
            if (late) ::shutdown(state.fd, SHUT_RDWR);
        }
    }
}

int SpeechServer::HandleRequest(MHD_Connection* connection, const char* method,
                                RequestContext* ctx) {
    if (!ctx->started) {
        ctx->started = true;
        ctx->method = method ? method : "";
        std::lock_guard lock(connectionsMutex_);
        auto it = connections_.find(connection);
        if (it != connections_.end()) it->second.busy = true;
    }
    if (ctx->job) {
        // Resumed: the synthesis this request waited on is over.
        std::shared_ptr<SynthesisJob> job = std::move(ctx->job);
        int status;
        std::string error;
        {
            std::lock_guard lock(queueMutex_);
            status = job->status;
            error = job->error;
            ctx->synthesisMs = job->synthesisMs;
            ctx->storeMs = job->storeMs;
        }
        if (status != 200) return AnswerError(connection, ctx, status, error);
        // Only the request that started the synthesis counts it as its miss.
        ctx->cache = ctx->joinedJob ? "hit" : "miss";
        if (ctx->joinedJob) ctx->synthesisMs = ctx->storeMs = -1;
        std::string url = AudioUrl(connection, job->key);
        return Answer(connection, ctx, 200, BuildPlayerPage(url, job->text),
                      "text/html; charset=utf-8",
                      {{"X-Cache", ctx->cache}, {"Cache-Control", "no-store"}});
    }

    bool head = ctx->method == MHD_HTTP_METHOD_HEAD;
    if (ctx->method != MHD_HTTP_METHOD_GET && !head) {
        ctx->status = 405;
        return Answer(connection, ctx, 405,
                      "405 Method Not Allowed: only GET and HEAD are served\n",
                      "text/plain; charset=utf-8", {{"Allow", "GET, HEAD"}});
    }
    int headers = MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr);
    if (headers < 0 || static_cast<unsigned>(headers) > options_.headerCountLimit)
        return AnswerError(connection, ctx, 431,
                           "more than " + std::to_string(options_.headerCountLimit) +
                               " header lines");

    std::string_view target = ctx->target;
    if (target.find('#') != std::string_view::npos)
        return AnswerError(connection, ctx, 400,
                           "a raw '#' in the request; percent-encode it in the text as %23");
    std::string_view path = target.substr(0, target.find('?'));
    if (path == kSynthesisPath) return AnswerSynthesis(connection, ctx, head);
    if (path.starts_with(kAudioPrefix))
        return AnswerAudio(connection, ctx, path.substr(kAudioPrefix.size()));
    if (path == "/readme.html")
        return Answer(connection, ctx, 200, ReadmePage(), "text/html; charset=utf-8");
    if (path == "/healthz") return AnswerHealth(connection, ctx);
    return AnswerError(connection, ctx, 404, "no such page or audio file");
}

int SpeechServer::AnswerSynthesis(MHD_Connection* connection, RequestContext* ctx, bool head) {
    std::string_view target = ctx->target;
    std::size_t q = target.find('?');
    std::string_view query =
        q == std::string_view::npos ? std::string_view{} : target.substr(q + 1);
    auto parsed = ParseSynthesisQuery(query, options_.maxTextBytes);
    if (auto* error = std::get_if<RequestError>(&parsed))
        return AnswerError(connection, ctx, error->status, error->message);
    auto& request = std::get<SynthesisRequest>(parsed);
    int rate = EspeakRateForSpeed(request.speed);
    std::string key = ContentKey(VoiceKeyName(*request.voice), rate, request.text);

    // The page depends only on the key and the text, so HEAD can be answered
    // without synthesising; X-Cache tells whether a GET would have to.
    bool cached = cache_.Refresh(key);
    if (cached || head) {
        ctx->cache = cached ? "hit" : "miss";
        return Answer(
            connection, ctx, 200, BuildPlayerPage(AudioUrl(connection, key), request.text),
            "text/html; charset=utf-8", {{"X-Cache", ctx->cache}, {"Cache-Control", "no-store"}});
    }

    std::lock_guard lock(queueMutex_);
    if (queueClosed_) return AnswerError(connection, ctx, 503, "the service is stopping");
    std::shared_ptr<SynthesisJob> job;
    if (auto it = pending_.find(key); it != pending_.end()) {
        job = it->second; // the same text is already on its way: wait for it
        ctx->joinedJob = true;
    } else {
        if (cache_.Refresh(key)) { // made while we looked
            ctx->cache = "hit";
            return Answer(
                connection, ctx, 200, BuildPlayerPage(AudioUrl(connection, key), request.text),
                "text/html; charset=utf-8", {{"X-Cache", "hit"}, {"Cache-Control", "no-store"}});
        }
        if (queue_.size() >= options_.synthesisQueueLimit)
            return Answer(connection, ctx, 503,
                          "503 Service Unavailable: too many texts waiting for synthesis\n",
                          "text/plain; charset=utf-8", {{"Retry-After", kRetryAfterSeconds}});
        job = std::make_shared<SynthesisJob>();
        job->key = key;
        job->text = std::move(request.text);
        job->voice = request.voice;
        job->rate = rate;
        pending_[key] = job;
        queue_.push_back(job);
        queueChanged_.notify_one();
    }
    job->waiters.push_back(connection);
    ++inFlight_;
    ctx->job = job;
    // Suspended under the queue lock, so the synthesis thread cannot resume
    // it before it is suspended.
    MHD_suspend_connection(connection);
    return MHD_YES;
}

void SpeechServer::SynthesisLoop() {
    // eSpeak may take a whole core for seconds; on a busy machine the thread
    // answering cached pages must still get its turn first.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kSynthesisNice);
    for (;;) {
        std::shared_ptr<SynthesisJob> job;
        {
            std::unique_lock lock(queueMutex_);
            queueChanged_.wait(lock, [this] { return queueClosed_ || !queue_.empty(); });
            if (queue_.empty()) return; // closed
            job = queue_.front();
            queue_.pop_front();
        }
        int status = 200;
        std::string error;
        double synthesisMs = -1, storeMs = -1;
        auto t0 = Clock::now();
        try {
            std::string mp3 = synthesizer_.SynthesizeMp3(job->text, *job->voice, job->rate);
            auto t1 = Clock::now();
            synthesisMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
            try {
                cache_.Store(job->key, mp3);
                std::lock_guard health(healthMutex_);
                cacheWriteFailure_.clear();
            } catch (const CacheWriteError& e) {
                // The log gets the path; the client and /healthz only the reason.
                LogLine(std::string("speech-service: cache write failed: ") + e.what() + "\n");
                status = 503;
                error = "the audio cache cannot be written (" + e.reason + ")";
                std::lock_guard health(healthMutex_);
                cacheWriteFailure_ = e.reason;
            }
            storeMs = std::chrono::duration<double, std::milli>(Clock::now() - t1).count();
        } catch (const std::exception& e) {
            LogLine(std::string("speech-service: synthesis failed: ") + e.what() + "\n");
            status = 500;
            error = "synthesis failed";
        }
        std::lock_guard lock(queueMutex_);
        job->done = true;
        if (job->status == 200) { // not already answered by a stop
            job->status = status;
            job->error = error;
        }
        job->synthesisMs = synthesisMs;
        job->storeMs = storeMs;
        for (MHD_Connection* c : job->waiters)
            MHD_resume_connection(c);
        inFlight_ -= job->waiters.size();
        job->waiters.clear();
        pending_.erase(job->key);
        queueChanged_.notify_all();
    }
}

int SpeechServer::AnswerAudio(MHD_Connection* connection, RequestContext* ctx,
                              std::string_view name) {
    if (!name.ends_with(".mp3") || !IsContentKey(name.substr(0, name.size() - 4)))
        return AnswerError(connection, ctx, 404, "no such audio file");
    auto bytes = cache_.Read(name.substr(0, name.size() - 4));
    if (!bytes) return AnswerError(connection, ctx, 404, "no such audio file");
    ctx->cache = "hit";
    // Named by content: while a file is cached its bytes do not change.
    return Answer(connection, ctx, 200, *bytes, "audio/mpeg",
                  {{"Cache-Control", "public, max-age=86400"}});
}

int SpeechServer::AnswerHealth(MHD_Connection* connection, RequestContext* ctx) {
    std::string failure;
    {
        std::lock_guard lock(healthMutex_);
        failure = cacheWriteFailure_;
    }
    if (failure.empty()) return Answer(connection, ctx, 200, "ok\n", "text/plain");
    return Answer(connection, ctx, 503, "cache write failing: " + failure + "\n",
                  "text/plain; charset=utf-8");
}

int SpeechServer::Answer(MHD_Connection* connection, RequestContext* ctx, int status,
                         const std::string& body, const char* contentType,
                         std::initializer_list<std::pair<const char*, std::string>> headers) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
    // Others wait for a slot: this connection gives its up after the answer
    // and queues again for the next request, so slots go round.
    if (waiting_ > 0) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    for (const auto& [name, value] : headers)
        MHD_add_response_header(response, name, value.c_str());
    ctx->status = status;
    ctx->bodyBytes = body.size();
    MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    return queued;
}

int SpeechServer::AnswerError(MHD_Connection* connection, RequestContext* ctx, int status,
                              const std::string& message) {
    return Answer(connection, ctx, status,
                  std::to_string(status) + " " + ReasonPhrase(status) + ": " + message + "\n",
                  "text/plain; charset=utf-8");
}

std::string SpeechServer::AudioUrl(MHD_Connection* connection, const std::string& key) const {
    std::string tail = std::string(kAudioPrefix) + AudioCache::FileName(key);
    if (!options_.publicUrl.empty()) return options_.publicUrl + tail;
    // The address the client reached us at: always an IP literal, never
    // anything taken from the request's headers.
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    int fd = ConnectionFd(connection);
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return "http://127.0.0.1" + tail;
    std::string host = AddressText(reinterpret_cast<sockaddr*>(&local));
    if (local.ss_family == AF_INET6) host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(PortOf(local)) + tail;
}

void SpeechServer::OnCompleted(MHD_Connection* connection, RequestContext* ctx, int termination) {
    std::unique_ptr<RequestContext> owned(ctx);
    if (options_.log) {
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - ctx->start).count();
        char took[32];
        std::snprintf(took, sizeof took, "%.1fms", ms);
        // Misses also say how the time split between synthesis and the cache write.
        char split[64] = "";
        if (ctx->synthesisMs >= 0)
            std::snprintf(split, sizeof split, " (synthesis %.1fms, store %.1fms)",
                          ctx->synthesisMs, ctx->storeMs);
        // The library answers some requests itself (a head over the size
        // limit: 431); the status it sent is logged all the same.
        unsigned sent = static_cast<unsigned>(ctx->status);
        if (sent == 0) {
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS);
            if (info) sent = info->http_status;
        }
        std::string status = sent ? std::to_string(sent) : "-";
        std::string line = LogTime() + " " + Printable(ctx->client, 64) + " " +
                           Printable(ctx->method, 16) + " " + Printable(ctx->target, 160) + " " +
                           status + " " + std::to_string(ctx->bodyBytes) + " " + took + " " +
                           ctx->cache + split;
        if (termination != MHD_REQUEST_TERMINATED_COMPLETED_OK)
            line += std::string(" ") + TerminationWord(termination);
        LogLine(line + "\n");
    }
    // The connection waits for its next request head from now.
    std::lock_guard lock(connectionsMutex_);
    if (auto it = connections_.find(connection); it != connections_.end()) {
        it->second.busy = false;
        it->second.answered = true;
        it->second.deadline = Clock::now() + options_.requestDeadline;
    }
}

void SpeechServer::LogLine(const std::string& line) {
    if (!options_.log) return;
    std::lock_guard lock(logMutex_);
    std::fwrite(line.data(), 1, line.size(), options_.log);
    std::fflush(options_.log);
}

} // namespace speech

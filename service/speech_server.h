// The HTTP side of the service: routes, answers, limits and the request log.
//
// Connections are served by libmicrohttpd from one epoll thread, so a
// connection that waits (idle, slow, or behind a synthesis) costs a socket
// and a little memory, never a thread. Syntheses run on a queue of their own;
// a request that needs one is suspended until its file is ready, so cached
// answers never wait behind eSpeak. Connections are accepted by a thread of
// our own: over the connection cap they wait in a line shared fairly between
// client addresses (see waiting_line.h) instead of being turned away.
#pragma once

#include "audio_cache.h"
#include "synthesizer.h"
#include "waiting_line.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct MHD_Daemon;
struct MHD_Connection;

namespace speech {

struct ServerOptions {
    std::size_t maxTextBytes;
    // Scheme, host and port the MP3 address in pages starts with
    // ("http://speech.example:8925"); empty: the address the client reached.
    std::string publicUrl;
    unsigned connectionLimit = 4000;
    // Connections over the cap waiting for a slot; beyond this the client
    // with the most waiting loses its newest (503).
    std::size_t waitingLimit = 1024;
    // A connection must have sent a whole request head within this time of
    // opening or of its previous answer; slow senders are cut off. Also the
    // longest a connection waits for a slot (then 503).
    std::chrono::seconds requestDeadline{10};
    // A connection with no traffic at all this long is closed.
    unsigned idleTimeoutSeconds = 10;
    std::size_t headerBytesLimit = 32 * 1024; // request line and headers
    unsigned headerCountLimit = 64;
    std::size_t synthesisQueueLimit = 256; // texts waiting for eSpeak
    // On stop, in-flight syntheses get this long to finish and be answered.
    std::chrono::milliseconds stopGrace{7000};
    std::FILE* log = stderr; // one line per request; nullptr for none
};

struct RequestContext;
struct SynthesisJob;

class SpeechServer {
  public:
    SpeechServer(AudioCache& cache, Synthesizer& synthesizer, ServerOptions options);
    ~SpeechServer();
    SpeechServer(const SpeechServer&) = delete;
    SpeechServer& operator=(const SpeechServer&) = delete;

    // Binds the listening socket; port 0 picks a free one. Returns the port,
    // or -1 with `error` set to the reason.
    int Bind(const std::string& host, int port, std::string* error);
    // Serves until Stop(); false when the server could not start.
    bool Run(const std::function<void()>& onReady = {});
    // Safe from any thread: stops accepting, lets in-flight syntheses finish
    // and be answered (bounded), drops the rest, and makes Run() return.
    void Stop();

    // What the request handlers need; public for the C callbacks only.
    int HandleRequest(MHD_Connection* connection, const char* method, RequestContext* ctx);
    void OnConnection(MHD_Connection* connection, bool opened);
    void OnCompleted(MHD_Connection* connection, RequestContext* ctx, int termination);

  private:
    int AnswerSynthesis(MHD_Connection* connection, RequestContext* ctx, bool head);
    int AnswerAudio(MHD_Connection* connection, RequestContext* ctx, std::string_view name);
    int AnswerHealth(MHD_Connection* connection, RequestContext* ctx);
    int Answer(MHD_Connection* connection, RequestContext* ctx, int status, const std::string& body,
               const char* contentType,
               std::initializer_list<std::pair<const char*, std::string>> headers = {});
    int AnswerError(MHD_Connection* connection, RequestContext* ctx, int status,
                    const std::string& message);
    std::string AudioUrl(MHD_Connection* connection, const std::string& key) const;
    void SynthesisLoop();
    void ReaperLoop();
    void AcceptLoop();
    bool SlotFree();
    void LetIn(WaitingConnection c);
    void TurnAway(WaitingConnection c, const char* why);
    void Wake();
    void LogLine(const std::string& line);

    AudioCache& cache_;
    Synthesizer& synthesizer_;
    ServerOptions options_;
    int listenFd_ = -1;
    MHD_Daemon* daemon_ = nullptr;

    // Stop request and its wait.
    std::mutex stopMutex_;
    std::condition_variable stopChanged_;
    bool stopRequested_ = false;

    // Synthesis queue: one job per distinct text, with every request waiting on it.
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<std::shared_ptr<SynthesisJob>> queue_;
    std::map<std::string, std::shared_ptr<SynthesisJob>> pending_; // by key
    bool queueClosed_ = false;
    std::size_t inFlight_ = 0; // requests suspended on a job
    std::thread synthesisThread_;

    // Connections and the deadline for their next request head.
    struct ConnectionState {
        int fd;
        std::chrono::steady_clock::time_point deadline;
        bool busy;     // a request is being answered: no head deadline
        bool answered; // has had an answer: idle between requests when not busy
    };
    std::mutex connectionsMutex_;
    std::map<MHD_Connection*, ConnectionState> connections_;
    // When each connection handed to the library but not yet reported open
    // was handed over: it holds a slot meanwhile.
    std::deque<std::chrono::steady_clock::time_point> handedOver_;
    std::thread reaperThread_;

    // Accepting, and the line of connections waiting for a slot (the accept
    // thread's alone; `waiting_` mirrors its size for the answering side).
    WaitingLine line_;
    std::atomic<std::size_t> waiting_{0};
    int wakeFd_ = -1; // eventfd: a slot freed, or stop
    std::thread acceptThread_;

    // The last cache write failure, shown by /healthz until a write succeeds.
    std::mutex healthMutex_;
    std::string cacheWriteFailure_;

    std::mutex logMutex_;
};

// The text of /readme.html.
std::string ReadmePage();

} // namespace speech

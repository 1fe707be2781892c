// The HTTP side of the service: routes, answers and the request log.
#pragma once

#include "audio_cache.h"
#include "synthesizer.h"

#include <httplib.h>

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>

namespace speech {

struct ServerOptions {
    std::size_t maxTextBytes;
    std::size_t workerThreads = 24;
    std::FILE* log = stderr; // one line per request; nullptr for none
};

class SpeechServer {
  public:
    SpeechServer(AudioCache& cache, Synthesizer& synthesizer, ServerOptions options);

    // Binds the listening socket; port 0 picks a free one. Returns the port,
    // or -1 when the address cannot be bound.
    int bind(const std::string& host, int port);
    // Serves until stop(); false when listening failed.
    bool run();
    void stop() { http_.stop(); }
    bool isRunning() const { return http_.is_running(); }

  private:
    void handleSynthesis(const httplib::Request& req, httplib::Response& res);
    void handleAudio(const httplib::Request& req, httplib::Response& res);
    void logRequest(const httplib::Request& req, const httplib::Response& res);

    AudioCache& cache_;
    Synthesizer& synthesizer_;
    ServerOptions options_;
    httplib::Server http_;
    std::mutex synthesisMutex_; // covers look-up, synthesis and store together
};

// The text of /readme.html.
std::string readmePage();

} // namespace speech

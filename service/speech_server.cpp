#include "speech_server.h"

#include "content_key.h"
#include "protocol.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <ctime>
#include <mutex>

namespace speech {

namespace {

using Clock = std::chrono::steady_clock;

// Requests run start to end on one worker thread; the logger reads this to
// time them. Zero for answers the library writes without routing (e.g. 414).
thread_local Clock::time_point requestStart{};
thread_local const char* requestCache = "-";
thread_local double synthesisMs = -1, storeMs = -1;

std::mutex logMutex;

const char* reasonPhrase(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 500:
        return "Internal Server Error";
    default:
        return "Error";
    }
}

void plainError(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(std::to_string(status) + " " + reasonPhrase(status) + ": " + message + "\n",
                    "text/plain; charset=utf-8");
}

// Keeps log lines one line and readable whatever the client sent.
std::string printable(std::string_view s, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < s.size() && i < limit; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c >= 0x7F) {
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

std::string hostForUrl(const std::string& addr) {
    return addr.find(':') != std::string::npos ? "[" + addr + "]" : addr;
}

} // namespace

SpeechServer::SpeechServer(AudioCache& cache, Synthesizer& synthesizer, ServerOptions options)
    : cache_(cache), synthesizer_(synthesizer), options_(options) {
    std::size_t threads = options_.workerThreads;
    http_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };

    // The library's default also sets SO_REUSEPORT, which would let a second
    // service share the port silently instead of reporting it taken.
    http_.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http_.set_tcp_nodelay(true);
    http_.set_keep_alive_max_count(1000);
    http_.set_keep_alive_timeout(2);
    http_.set_read_timeout(5);
    http_.set_write_timeout(10);
    http_.set_payload_max_length(64 * 1024);

    http_.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        requestStart = Clock::now();
        requestCache = "-";
        synthesisMs = storeMs = -1;
        if (req.method != "GET" && req.method != "HEAD") {
            res.set_header("Allow", "GET, HEAD");
            plainError(res, 405, "only GET and HEAD are served");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Errors the library answers itself (no route, request line too long)
    // get a body too; answers of our own already carry one.
    http_.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&,
                                                                    httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        std::string message = res.status == 404   ? "no such page or audio file"
                              : res.status == 414 ? "request line longer than the server accepts"
                                                  : "request not understood";
        plainError(res, res.status, message);
        return httplib::Server::HandlerResponse::Handled;
    }));
    http_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
            std::string what = "internal error";
            try {
                if (ep) std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            plainError(res, 500, what);
        });
    http_.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        logRequest(req, res);
    });

    http_.Get(
        std::string(kSynthesisPath),
        [this](const httplib::Request& req, httplib::Response& res) { handleSynthesis(req, res); });
    http_.Get(R"(/audio/([^/]*))", [this](const httplib::Request& req, httplib::Response& res) {
        handleAudio(req, res);
    });
    http_.Get("/readme.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(readmePage(), "text/html; charset=utf-8");
    });
    http_.Get("/healthz", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("ok\n", "text/plain");
    });
}

int SpeechServer::bind(const std::string& host, int port) {
    if (port == 0) return http_.bind_to_any_port(host);
    return http_.bind_to_port(host, port) ? port : -1;
}

bool SpeechServer::run() {
    return http_.listen_after_bind();
}

void SpeechServer::handleSynthesis(const httplib::Request& req, httplib::Response& res) {
    // The library's own query parsing takes '+' for a space and lets bad
    // escapes through; the raw target is decoded here instead.
    std::string_view target = req.target;
    std::size_t q = target.find('?');
    std::string_view query =
        q == std::string_view::npos ? std::string_view{} : target.substr(q + 1);
    if (std::size_t hash = query.find('#'); hash != std::string_view::npos)
        query = query.substr(0, hash);

    auto parsed = parseSynthesisQuery(query, options_.maxTextBytes);
    if (auto* error = std::get_if<RequestError>(&parsed)) {
        plainError(res, error->status, error->message);
        return;
    }
    auto& request = std::get<SynthesisRequest>(parsed);
    int rate = espeakRateForSpeed(request.speed);
    std::string key = contentKey(VoiceKeyName(*request.voice), rate, request.text);

    requestCache = "hit";
    if (!cache_.refresh(key)) {
        // Serialised: a second request for the same text waits here and then
        // finds the first one's file instead of synthesising it again.
        std::lock_guard lock(synthesisMutex_);
        if (!cache_.refresh(key)) {
            requestCache = "miss";
            auto t0 = Clock::now();
            std::string mp3 = synthesizer_.synthesizeMp3(request.text, *request.voice, rate);
            auto t1 = Clock::now();
            cache_.store(key, mp3);
            synthesisMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
            storeMs = std::chrono::duration<double, std::milli>(Clock::now() - t1).count();
        }
    }

    // The address the client reached us at: always an IP literal, never
    // anything taken from the request's headers.
    std::string url = "http://" + hostForUrl(req.local_addr) + ":" +
                      std::to_string(req.local_port) + "/audio/" + AudioCache::fileName(key);
    res.set_header("X-Cache", requestCache);
    res.set_header("Cache-Control", "no-store");
    res.set_content(buildPlayerPage(url, request.text), "text/html; charset=utf-8");
}

void SpeechServer::handleAudio(const httplib::Request& req, httplib::Response& res) {
    std::string name = req.matches[1];
    std::string_view key = name;
    if (!key.ends_with(".mp3") || !isContentKey(key.substr(0, key.size() - 4))) {
        plainError(res, 404, "no such audio file");
        return;
    }
    key.remove_suffix(4);
    auto bytes = cache_.read(key);
    if (!bytes) {
        plainError(res, 404, "no such audio file");
        return;
    }
    requestCache = "hit";
    // Named by content: while a file is cached its bytes do not change.
    res.set_header("Cache-Control", "public, max-age=86400");
    res.set_content(std::move(*bytes), "audio/mpeg");
}

void SpeechServer::logRequest(const httplib::Request& req, const httplib::Response& res) {
    if (!options_.log) return;
    char when[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);

    char took[32] = "-";
    if (requestStart != Clock::time_point{}) {
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - requestStart).count();
        std::snprintf(took, sizeof took, "%.1fms", ms);
    }
    // Misses also say how the time split between synthesis and the cache write.
    char split[64] = "";
    if (synthesisMs >= 0)
        std::snprintf(split, sizeof split, " (synthesis %.1fms, store %.1fms)", synthesisMs,
                      storeMs);
    auto field = [](const std::string& s, std::size_t limit) {
        return s.empty() ? std::string("-") : printable(s, limit);
    };
    std::string line = std::string(when) + " " + field(req.remote_addr, 64) + " " +
                       field(req.method, 16) + " " + field(req.target, 160) + " " +
                       std::to_string(res.status) + " " + std::to_string(res.body.size()) + " " +
                       took + " " + requestCache + split + "\n";
    requestStart = {};
    requestCache = "-";
    synthesisMs = storeMs = -1;
    std::lock_guard lock(logMutex);
    std::fwrite(line.data(), 1, line.size(), options_.log);
    std::fflush(options_.log);
}

std::string readmePage() {
    return R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><title>SpeechTool 语音合成</title></head>
<body>
<h1>SpeechTool 语音合成</h1>
<p>在编辑框中输入中文（可夹杂数字和英文字母），按“语音合成”，程序把生成的 MP3
保存到程序目录下的“音频文件”文件夹；“播放”播放它，“另存为”把它保存到别处。</p>
<p>Type Chinese text (digits and Latin letters may be mixed in) into the edit box and press
“语音合成”: the tool stores the MP3 it gets in the folder “音频文件” beside the program;
“播放” plays it and “另存为” saves a copy elsewhere.</p>
<h2>本地语音服务 / The local speech service</h2>
<p>This page comes from <code>speech-service</code>, the small speech service that ships with
the tool and runs on this machine, so synthesis works without any internet access. It speaks
Mandarin with eSpeak NG and encodes MP3 (mono, 22,050 Hz, 48 kbit/s) with LAME.</p>
<ul>
<li><code>GET /bin/makeColorPlusGuest.jsp?sex=201&amp;speed=0&amp;ment=TEXT</code>: TEXT is
UTF-8, percent-encoded. The answer is a page naming the MP3 it made.
<code>sex</code>: 201 default voice, 202 female, 203 lower male, 204 higher female.
<code>speed</code>: -5 (slow) to 5 (fast), 0 normal.</li>
<li><code>GET /audio/KEY.mp3</code>: a synthesised file; the same text, voice and speed always
give the same KEY.</li>
<li><code>GET /healthz</code>: answers <code>ok</code> while the service runs.</li>
</ul>
<p>Files are kept in a cache directory of limited size; the least recently used are removed
first.</p>
</body></html>
)";
}

} // namespace speech

// Load generator for scripts/bench-service.sh (not a test): times requests
// against a running speech-service on a loopback port.
//   service_load_client PORT synth TEXT...        one cache-missing page per text
//                                                 (@N: a generated text of N characters)
//   service_load_client PORT latency N TARGET     N sequential requests, one connection
//   service_load_client PORT throughput C SECONDS TARGET
//   service_load_client PORT distinct N [FIRST]   N new texts (numbered from FIRST), page and MP3
//   service_load_client PORT audio TARGET         prints the MP3 path the page names
#include "test_support.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using speech::test::ChineseText;
using speech::test::MsSince;
using speech::test::PageTarget;

// The MP3 path a page names; empty when it names none.
std::string AudioPath(const httplib::Result& page) {
    auto address =
        page && page->status == 200 ? speech::test::AddressInPage(page->body) : std::nullopt;
    std::size_t at = address ? address->find("/audio/") : std::string::npos;
    return at == std::string::npos ? std::string() : address->substr(at);
}

httplib::Client MakeClient(int port) {
    httplib::Client c("127.0.0.1", port);
    c.set_url_encode(false);
    c.set_keep_alive(true);
    c.set_read_timeout(120, 0);
    return c;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0
                     : v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: service_load_client PORT synth|latency|throughput|distinct ...\n");
        return 2;
    }
    int port = std::atoi(argv[1]);
    std::string mode = argv[2];

    if (mode == "synth" && argc >= 4) {
        // Each text must be new to the service: its page then includes synthesis.
        std::vector<double> times;
        for (int i = 3; i < argc; ++i) {
            auto c = MakeClient(port);
            std::string text = argv[i][0] == '@' ? ChineseText(std::atoi(argv[i] + 1), i) : argv[i];
            auto t = Clock::now();
            auto r = c.Get(PageTarget(text));
            double ms = MsSince(t);
            if (!r || r->status != 200 || r->get_header_value("X-Cache") != "miss") {
                std::fprintf(stderr, "synth: request %d was not a synthesised answer\n", i - 2);
                return 1;
            }
            times.push_back(ms);
            // The service encodes at a constant 48 kbit/s: bytes give the length.
            double seconds = 0;
            if (auto mp3 = c.Get(AudioPath(r)); mp3 && mp3->status == 200)
                seconds = double(mp3->body.size()) * 8 / 48000;
            std::printf("synth %zu bytes of text: %.1f ms, audio %.1f s\n", text.size(), ms,
                        seconds);
        }
        std::printf("synth median %.1f ms, max %.1f ms over %zu texts\n", Percentile(times, 0.5),
                    Percentile(times, 1.0), times.size());
        return 0;
    }
    if (mode == "audio" && argc == 4) {
        auto c = MakeClient(port);
        std::string path = AudioPath(c.Get(argv[3]));
        if (path.empty()) {
            std::fprintf(stderr, "audio: no address in the page\n");
            return 1;
        }
        std::printf("%s\n", path.c_str());
        return 0;
    }
    if (mode == "latency" && argc == 5) {
        int n = std::atoi(argv[3]);
        std::string target = argv[4];
        auto c = MakeClient(port);
        std::vector<double> times;
        for (int i = 0; i < n; ++i) {
            auto t = Clock::now();
            auto r = c.Get(target);
            times.push_back(MsSince(t));
            if (!r || r->status != 200) {
                std::fprintf(stderr, "latency: request failed\n");
                return 1;
            }
        }
        std::printf("latency over %d requests: median %.3f ms, p90 %.3f ms, max %.3f ms\n", n,
                    Percentile(times, 0.5), Percentile(times, 0.9), Percentile(times, 1.0));
        return 0;
    }
    if (mode == "throughput" && argc == 6) {
        int clients = std::atoi(argv[3]);
        double seconds = std::atof(argv[4]);
        std::string target = argv[5];
        std::atomic<long> done{0}, failed{0};
        auto end = Clock::now() + std::chrono::duration<double>(seconds);
        auto start = Clock::now();
        std::vector<std::thread> threads;
        for (int i = 0; i < clients; ++i)
            threads.emplace_back([&] {
                auto c = MakeClient(port);
                while (Clock::now() < end) {
                    auto r = c.Get(target);
                    if (r && r->status == 200)
                        ++done;
                    else
                        ++failed;
                }
            });
        for (auto& t : threads)
            t.join();
        double elapsed = MsSince(start) / 1000;
        std::printf("throughput with %d clients: %.0f requests/s (%ld ok, %ld failed in %.2f s)\n",
                    clients, double(done) / elapsed, done.load(), failed.load(), elapsed);
        return failed == 0 ? 0 : 1;
    }
    if (mode == "distinct" && (argc == 4 || argc == 5)) {
        int n = std::atoi(argv[3]);
        int first = argc == 5 ? std::atoi(argv[4]) : 0;
        auto c = MakeClient(port);
        std::vector<double> times;
        long failed = 0;
        for (int i = 0; i < n; ++i) {
            std::string text = ChineseText(20 + (first + i) % 30, 1000000 + first + i);
            auto t = Clock::now();
            std::string path = AudioPath(c.Get(PageTarget(text)));
            bool ok = !path.empty();
            if (ok) {
                auto audio = c.Get(path);
                ok = audio && audio->status == 200 && audio->body.size() > 0;
            }
            times.push_back(MsSince(t));
            if (!ok) ++failed;
        }
        std::printf("distinct: %d texts, %ld failed, page+MP3 median %.1f ms, max %.1f ms\n", n,
                    failed, Percentile(times, 0.5), Percentile(times, 1.0));
        return failed == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "service_load_client: bad arguments\n");
    return 2;
}

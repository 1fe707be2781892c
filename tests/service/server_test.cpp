// The service as the tool and the end-to-end tests see it: a process on a
// loopback port, spoken to over HTTP.
#include "test_support.h"

#include <doctest.h>
#include <httplib.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <vector>

using namespace speech;
namespace fs = std::filesystem;

namespace {

const std::string kPage(test::kPagePath);
using test::PageTarget;

std::unique_ptr<httplib::Client> Client(int port) {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", port);
    c->set_url_encode(false); // targets are sent exactly as the tests build them
    c->set_read_timeout(30, 0);
    return c;
}

// What the tool does: fetch the page, cut out the address, fetch the MP3.
struct Fetched {
    std::string address;
    std::string cache;
    std::string mp3;
};

Fetched FetchSpeech(int port, std::string_view text) {
    auto c = Client(port);
    auto page = c->Get(PageTarget(text));
    REQUIRE(page);
    REQUIRE_MESSAGE(page->status == 200, page->body);
    auto address = test::AddressInPage(page->body);
    REQUIRE(address);
    std::string prefix = "http://127.0.0.1:" + std::to_string(port);
    REQUIRE(address->starts_with(prefix + "/audio/"));
    auto audio = c->Get(address->substr(prefix.size()));
    REQUIRE(audio);
    REQUIRE(audio->status == 200);
    return {*address, page->get_header_value("X-Cache"), audio->body};
}

std::set<std::string> CacheListing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

int StatusOf(httplib::Client& c, const std::string& method, const std::string& target) {
    httplib::Request req;
    req.method = method;
    req.path = target;
    auto res = c.send(req);
    return res ? res->status : -1;
}

} // namespace

TEST_CASE("the tool's request gives a page, the page an MP3, the same request the same file") {
    test::TempDir tmp;
    test::ServerProcess server(tmp.Path() / "cache");
    auto c = Client(server.Port());

    auto page = c->Get(PageTarget("你好，世界 123 abc"));
    REQUIRE(page);
    CHECK(page->status == 200);
    CHECK(page->get_header_value("Content-Type").starts_with("text/html"));
    CHECK(page->get_header_value("X-Cache") == "miss");
    auto address = test::AddressInPage(page->body);
    REQUIRE(address);
    for (char ch : *address)
        CHECK(static_cast<unsigned char>(ch) < 0x80);
    std::string prefix = "http://127.0.0.1:" + std::to_string(server.Port()) + "/audio/";
    REQUIRE(address->starts_with(prefix));
    CHECK(address->size() == prefix.size() + 32 + 4);

    auto audio = c->Get(address->substr(address->find("/audio/")));
    REQUIRE(audio);
    CHECK(audio->status == 200);
    CHECK(audio->get_header_value("Content-Type") == "audio/mpeg");
    CHECK(audio->get_header_value("Content-Length") == std::to_string(audio->body.size()));
    CHECK(test::SpeechSeconds(audio->body, tmp.Path()) >= 0.5);

    // Again: same address, answered from the cache, identical bytes.
    auto again = FetchSpeech(server.Port(), "你好，世界 123 abc");
    CHECK(again.address == *address);
    CHECK(again.cache == "hit");
    CHECK(again.mp3 == audio->body);

    // A file removed from the cache behind the service's back is made again.
    fs::remove(tmp.Path() / "cache" / address->substr(address->find("/audio/") + 7));
    auto remade = FetchSpeech(server.Port(), "你好，世界 123 abc");
    CHECK(remade.cache == "miss");
    CHECK(remade.address == *address);
    CHECK(test::SpeechSeconds(remade.mp3, tmp.Path()) >= 0.5);

    auto head = c->Head(address->substr(address->find("/audio/")));
    REQUIRE(head);
    CHECK(head->status == 200);
    CHECK(head->body.empty());
    CHECK(head->get_header_value("Content-Length") == std::to_string(remade.mp3.size()));

    auto readme = c->Get("/readme.html");
    REQUIRE(readme);
    CHECK(readme->status == 200);
    CHECK(readme->get_header_value("Content-Type") == "text/html; charset=utf-8");
    // The page the tool's hyperlink opens: both languages, the charset also in
    // the page for a browser that opens it from a file, every option named.
    CHECK(readme->body.find("<meta charset=\"utf-8\">") != std::string::npos);
    CHECK(readme->body.find("本地语音服务") != std::string::npos);
    CHECK(readme->body.find("The local speech service") != std::string::npos);
    for (const char* option :
         {"--listen", "--public-url", "--cache", "--cache-max", "--max-text", "--max-connections",
          "--max-waiting", "--request-timeout", "--quiet", "--version"})
        CHECK(readme->body.find(option) != std::string::npos);
    auto health = c->Get("/healthz");
    REQUIRE(health);
    CHECK(health->status == 200);

    CHECK(server.Stop() == 0);
}

TEST_CASE("bad input gets a clear status and changes nothing") {
    test::TempDir tmp;
    fs::path cache = tmp.Path() / "cache";
    test::ServerProcess server(cache);
    FetchSpeech(server.Port(), "好"); // so that there is a real key to aim at
    auto before = CacheListing(cache);
    std::string key = [&] {
        for (const auto& n : before)
            if (n.ends_with(".mp3")) return n.substr(0, 32);
        return std::string();
    }();
    REQUIRE(key.size() == 32);

    // The query's own error cases are the parser's tests; here, that its
    // statuses reach the client, and the routing.
    const std::map<std::string, int> cases = {
        {kPage + "?sex=201&speed=0&ment=%E4%BD%ZZ", 400}, // bad escape
        {kPage + "?sex=201&speed=0&ment=" + std::string(4097, 'a'), 413},
        {"/", 404},
        {"/index.html", 404},
        {"/audio/", 404},
        {"/audio", 404},
        {"/audio/" + key, 404},
        {"/audio/" + key + ".MP3", 404},
        {"/audio/0123456789abcdef0123456789abcdef.mp3", 404},
        {"/audio/../.lock", 404},
        {"/audio/%2e%2e%2f.lock", 404},
        {"/audio/.lock", 404},
        {"/audio/../../../../etc/passwd", 404},
        {"/bin/", 404},
    };
    auto c = Client(server.Port());
    for (const auto& [target, status] : cases) {
        CAPTURE(target.substr(0, 120));
        CHECK(StatusOf(*c, "GET", target) == status);
    }
    for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS"}) {
        CAPTURE(method);
        CHECK(StatusOf(*c, method, "/audio/" + key + ".mp3") == 405);
        CHECK(StatusOf(*c, method, PageTarget("你好")) == 405);
    }
    // Longer than the request head may be.
    CHECK(StatusOf(*c, "GET", PageTarget(std::string(40000, 'x'))) == 414);

    auto answer = c->Get(kPage + "?sex=201&speed=0&ment=%FF");
    REQUIRE(answer);
    CHECK(answer->body.find("UTF-8") != std::string::npos);
    CHECK(CacheListing(cache) == before);
    // Still serving after all that.
    CHECK(FetchSpeech(server.Port(), "好").cache == "hit");
}

TEST_CASE("20 concurrent clients, half cached texts and half new ones each asked for twice at "
          "once: all answered right, each new text synthesised once") {
    test::TempDir tmp;
    fs::path cache = tmp.Path() / "cache";
    test::ServerProcess server(cache);
    std::vector<std::string> cachedTexts, newTexts;
    for (int i = 0; i < 10; ++i)
        cachedTexts.push_back("缓存的句子第" + std::to_string(i) + "号");
    for (int i = 0; i < 5; ++i)
        newTexts.push_back("新的句子第" + std::to_string(i) + "号，马上合成");
    std::map<std::string, Fetched> primed;
    for (const auto& t : cachedTexts)
        primed[t] = FetchSpeech(server.Port(), t);

    std::vector<Fetched> results(20);
    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 20; ++i) {
        clients.emplace_back([&, i] {
            const std::string& text = i % 2 ? cachedTexts[i / 2] : newTexts[i / 2 % 5];
            try {
                // doctest assertions are not thread-safe: failures are counted here
                auto c = Client(server.Port());
                auto page = c->Get(PageTarget(text));
                auto address =
                    page && page->status == 200 ? test::AddressInPage(page->body) : std::nullopt;
                if (!address) throw std::runtime_error("no page");
                auto audio = c->Get(address->substr(address->find("/audio/")));
                if (!audio || audio->status != 200) throw std::runtime_error("no audio");
                results[i] = {*address, page->get_header_value("X-Cache"), audio->body};
            } catch (...) {
                ++failures;
            }
        });
    }
    for (auto& t : clients)
        t.join();
    REQUIRE(failures == 0);

    std::set<std::string> addresses;
    std::map<std::string, int> misses; // by address
    for (int i = 0; i < 20; ++i) {
        CAPTURE(i);
        const Fetched& r = results[i];
        addresses.insert(r.address);
        if (i % 2) {
            const Fetched& p = primed[cachedTexts[i / 2]];
            CHECK(r.cache == "hit");
            CHECK(r.address == p.address);
            CHECK(r.mp3 == p.mp3);
        } else {
            // Concurrently synthesised audio is speech, not noise or silence;
            // the second asker of a text waits for the first one's file.
            misses[r.address] += r.cache == "miss";
            if (i >= 10) CHECK(r.mp3 == results[i - 10].mp3);
            CHECK(test::SpeechSeconds(r.mp3, tmp.Path()) >= 0.5);
        }
    }
    CHECK(addresses.size() == 15);
    for (const auto& [address, count] : misses) {
        CAPTURE(address);
        CHECK(count == 1);
    }
    std::size_t files = 0;
    for (const auto& n : CacheListing(cache))
        files += n.ends_with(".mp3");
    CHECK(files == 15);
}

TEST_CASE("--cache-max caps the cache: the least recently used file goes") {
    test::TempDir tmp;
    fs::path cache = tmp.Path() / "cache";
    test::ServerProcess server(cache, {"--cache-max", "100K"});
    std::vector<Fetched> fetched;
    for (int i = 0; i < 12; ++i)
        fetched.push_back(FetchSpeech(server.Port(), "这是第" + std::to_string(i) +
                                                         "个比较长的测试句子，用来填满缓存目录。"));
    std::uint64_t total = 0;
    for (const auto& e : fs::directory_iterator(cache))
        if (e.path().extension() == ".mp3") total += e.file_size();
    CHECK(total <= 100 * 1024);
    auto c = Client(server.Port());
    const std::string& first = fetched.front().address;
    CHECK(c->Get(first.substr(first.find("/audio/")))->status == 404);
    const std::string& last = fetched.back().address;
    CHECK(c->Get(last.substr(last.find("/audio/")))->status == 200);
}

TEST_CASE("start-up failures are reported with their own exit status") {
    test::TempDir tmp;
    test::ServerProcess running(tmp.Path() / "cache");

    auto [taken, takenMessage] =
        test::RunServiceToExit({"--listen", "127.0.0.1:" + std::to_string(running.Port()),
                                "--cache", (tmp.Path() / "other").string()},
                               tmp.Path());
    CHECK(taken == 3);
    CHECK(takenMessage.find("cannot listen on 127.0.0.1:" + std::to_string(running.Port())) !=
          std::string::npos);
    CHECK(takenMessage.find("in use") != std::string::npos);

    auto [shared, sharedMessage] = test::RunServiceToExit(
        {"--listen", "127.0.0.1:0", "--cache", (tmp.Path() / "cache").string()}, tmp.Path());
    CHECK(shared == 1);
    CHECK(sharedMessage.find("in use by another speech-service") != std::string::npos);

    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--listen", "nowhere"},
                                               {"--listen", "127.0.0.1:99999"},
                                               {"--max-text", "lots"},
                                               {"--cache-max", "0"},
                                               // 2^64 + 2^30: must not wrap to 1 GiB
                                               {"--cache-max", "17179869185G"},
                                               {"--max-text", "99999999999999999999"},
                                               {"--public-url", "ftp://x"},
                                               {"--public-url", "http://a'b"},
                                               {"--max-connections", "0"},
                                               {"--max-waiting", "-1"},
                                               {"--bogus"}}) {
        CAPTURE(args[0]);
        CHECK(test::RunServiceToExit(args, tmp.Path()).first == 2);
    }
    // The running service was not disturbed, and stops on SIGINT as on SIGTERM.
    CHECK(Client(running.Port())->Get("/healthz")->status == 200);
    CHECK(running.Stop(SIGINT) == 0);
    CHECK(running.Log().find("stopped") != std::string::npos);
}

TEST_CASE("--public-url names the MP3 address in pages, --max-text limits UTF-8 bytes; --version "
          "answers") {
    test::TempDir tmp;
    test::ServerProcess server(tmp.Path() / "cache",
                               {"--public-url", "http://speech.test:9000/", "--max-text", "30"});
    auto c = Client(server.Port());
    auto page = c->Get(PageTarget("一二三四五六七八九十")); // 30 bytes
    REQUIRE(page);
    CHECK(page->status == 200);
    auto address = test::AddressInPage(page->body);
    REQUIRE(address);
    CHECK(address->starts_with("http://speech.test:9000/audio/"));
    // The file itself is still there under the path the address names.
    auto audio = c->Get(address->substr(address->find("/audio/")));
    CHECK(audio->status == 200);
    CHECK(c->Get(PageTarget("一二三四五六七八九十a"))->status == 413);

    auto [status, output] = test::RunServiceToExit({"--version"}, tmp.Path());
    CHECK(status == 0);
}

TEST_CASE("systemd hears READY=1 once the service listens and STOPPING=1 at a stop") {
    test::TempDir tmp;
    std::string path = (tmp.Path() / "notify").string();
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    REQUIRE(path.size() < sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size());
    REQUIRE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    timeval bound{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    auto receive = [&] {
        char buf[256];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    };
    ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    test::ServerProcess server(tmp.Path() / "cache");
    ::unsetenv("NOTIFY_SOCKET");
    CHECK(receive() == "READY=1");
    CHECK(server.Stop() == 0);
    CHECK(receive() == "STOPPING=1");
    ::close(fd);
}

#include "test_support.h"

#include "frame_header.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace speech::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::string& stdoutPath, int stdoutFd,
            const std::string& stderrPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

// Waits for the child's exit for at most `limit`; its exit status, or
// nullopt when it is still running then.
std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(limit.count()));
        ::close(pidfd);
    }
    int status = 0;
    // Without pidfd (old kernels) this degrades to short bounded polling.
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
}

} // namespace

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "speech-service-test.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::optional<std::vector<FrameHeader>> WalkFrames(std::string_view mp3) {
    std::vector<FrameHeader> frames;
    while (!mp3.empty()) {
        // Read with the player's own header code: the files are made for it.
        const auto* p = reinterpret_cast<const std::uint8_t*>(mp3.data());
        mp3::FrameHeader h;
        if (!mp3::ReadFrameHeader(p, mp3.size(), &h)) return std::nullopt;
        int length = mp3::FrameLength(h, p, mp3.size());
        if (length <= 0) return std::nullopt;
        FrameHeader f{.mpegVersion = h.versionBit      ? 1
                                     : h.syncKind == 2 ? 25
                                                       : 2,
                      .layer = mp3::Layer(h),
                      .bitrateKbps = mp3::BitrateKbps(h),
                      .sampleRate = mp3::SampleRateHz(h),
                      .mono = mp3::Channels(h) == 1,
                      .length =
                          static_cast<std::size_t>(length + mp3::PaddingBytes(h) * h.padding)};
        if (f.length > mp3.size()) return std::nullopt;
        frames.push_back(f);
        mp3.remove_prefix(f.length);
    }
    return frames;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::int16_t> DecodeMp3(std::string_view mp3, const fs::path& scratch) {
    static int counter = 0;
    fs::path in = scratch / ("decode-" + std::to_string(++counter) + ".mp3");
    fs::path out = in;
    out.replace_extension(".raw");
    std::ofstream(in, std::ios::binary).write(mp3.data(), static_cast<std::streamsize>(mp3.size()));
    pid_t pid = Spawn({MPG123_EXECUTABLE, "-q", "-s", "--mono", in.string()}, out.string(), -1,
                      (scratch / "mpg123.err").string());
    auto status = WaitExit(pid, 30s);
    if (!status) {
        ::kill(pid, SIGKILL);
        WaitExit(pid, 5s);
        throw std::runtime_error("mpg123 did not finish");
    }
    if (*status != 0)
        throw std::runtime_error("mpg123 failed: " + ReadFile(scratch / "mpg123.err"));
    std::string raw = ReadFile(out);
    std::vector<std::int16_t> pcm(raw.size() / 2);
    std::memcpy(pcm.data(), raw.data(), pcm.size() * 2);
    return pcm;
}

double Rms(const std::vector<std::int16_t>& pcm) {
    if (pcm.empty()) return 0;
    double sum = 0;
    for (std::int16_t s : pcm)
        sum += double(s) * s;
    return std::sqrt(sum / double(pcm.size()));
}

std::optional<double> SpeechSeconds(std::string_view mp3, const fs::path& scratch) {
    if (!WalkFrames(mp3)) return std::nullopt;
    auto pcm = DecodeMp3(mp3, scratch);
    if (Rms(pcm) <= 300) return std::nullopt;
    return double(pcm.size()) / 22050;
}

std::optional<std::string> AddressInPage(std::string_view page) {
    constexpr std::string_view left = "Products/MediaPlayer/' src='";
    constexpr std::string_view right = "' width='0' height='0' autostart";
    std::size_t a = page.find(left), b = page.find(right);
    if (a == std::string_view::npos || b == std::string_view::npos) return std::nullopt;
    a += left.size();
    if (b < a) return std::string();
    return std::string(page.substr(a, b - a));
}

std::string PercentEncode(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string PageTarget(std::string_view text, std::string_view extra) {
    return std::string(kPagePath) + "?" + std::string(extra) + "ment=" + PercentEncode(text);
}

std::string ChineseText(int n, int seed) {
    static const char* words[] = {"天", "气", "很", "好", "我", "们", "去", "公", "园", "散",
                                  "步", "今", "年", "春", "节", "回", "家", "看", "望", "父",
                                  "母", "学", "习", "工", "作", "生", "活", "朋", "友", "快"};
    std::string s = std::to_string(seed) + "号";
    unsigned x = static_cast<unsigned>(seed) * 2654435761u + 12345u;
    for (int i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s += (i % 12 == 11) ? "，" : words[(x >> 16) % 30];
    }
    return s;
}

double MsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

ServerProcess::ServerProcess(const fs::path& cacheDir, std::vector<std::string> extraArgs) {
    logPath_ = cacheDir.parent_path() / (cacheDir.filename().string() + ".log");
    std::vector<std::string> argv = {SPEECH_SERVICE_EXECUTABLE, "--listen", "127.0.0.1:0",
                                     "--cache", cacheDir.string()};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = Spawn(argv, {}, fds[1], logPath_.string());
    ::close(fds[1]);

    // The service prints its address once it is bound; wait for that line.
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    const std::string prefix = "listening on http://127.0.0.1:";
    while (out.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[256];
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    std::size_t at = out.find(prefix);
    if (at != std::string::npos) port_ = std::atoi(out.c_str() + at + prefix.size());
    if (port_ <= 0) {
        Stop();
        throw std::runtime_error("speech-service did not start: " + Log());
    }
}

int ServerProcess::Stop(int signal) {
    if (pid_ < 0) return -1;
    ::kill(pid_, signal);
    auto status = WaitExit(pid_, 15s);
    if (!status) {
        ::kill(pid_, SIGKILL);
        WaitExit(pid_, 5s);
    }
    pid_ = -1;
    return status.value_or(-1);
}

ServerProcess::~ServerProcess() {
    Stop();
}

std::pair<int, std::string> RunServiceToExit(const std::vector<std::string>& args,
                                             const fs::path& scratch) {
    std::vector<std::string> argv = {SPEECH_SERVICE_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    fs::path err = scratch / "run.err";
    pid_t pid = Spawn(argv, "/dev/null", -1, err.string());
    auto status = WaitExit(pid, 20s);
    if (!status) {
        ::kill(pid, SIGKILL);
        WaitExit(pid, 5s);
        return {-1, ReadFile(err)};
    }
    return {*status, ReadFile(err)};
}

} // namespace speech::test

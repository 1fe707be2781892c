// Helpers shared by the speech service tests: scratch directories, MP3 frame
// inspection, the reference decoder, and a service process under test.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace speech::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

struct FrameHeader {
    int mpegVersion; // 1, 2 (or 25 for 2.5)
    int layer;
    int bitrateKbps;
    int sampleRate;
    bool mono;
    std::size_t length;
};

// Walks the file frame by frame from its first byte; nullopt when anything
// but a complete frame is found (a tag, junk, a truncated tail).
std::optional<std::vector<FrameHeader>> WalkFrames(std::string_view mp3);

// Decodes with the reference decoder to signed 16-bit mono PCM.
std::vector<std::int16_t> DecodeMp3(std::string_view mp3, const std::filesystem::path& scratch);

double Rms(const std::vector<std::int16_t>& pcm);

// Seconds of speech in the file: nullopt unless it is clean frames from the
// first byte that decode to sound (not digital silence, not a click).
std::optional<double> SpeechSeconds(std::string_view mp3, const std::filesystem::path& scratch);

// The tool's way of cutting the address out of the page: the text after the
// first left marker up to the first right marker, both searched from the start.
std::optional<std::string> AddressInPage(std::string_view page);

// Percent-encodes every byte that is not an unreserved URL character, as the tool does.
std::string PercentEncode(std::string_view text);

// The tool's request for a text: the page path and its query.
inline constexpr std::string_view kPagePath = "/bin/makeColorPlusGuest.jsp";
std::string PageTarget(std::string_view text, std::string_view extra = "sex=201&speed=0&");

// A Chinese text of n characters, different for each seed.
std::string ChineseText(int n, int seed);

double MsSince(std::chrono::steady_clock::time_point t);

std::string ReadFile(const std::filesystem::path& path);

// A speech-service process on a free loopback port with its own cache.
class ServerProcess {
  public:
    explicit ServerProcess(const std::filesystem::path& cacheDir,
                           std::vector<std::string> extraArgs = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    // Sends the signal, then waits (bounded); the exit status, or -1 when it
    // had to be killed.
    int Stop(int signal = SIGTERM);
    std::string Log() const { return ReadFile(logPath_); }

  private:
    pid_t pid_ = -1;
    int port_ = -1;
    std::filesystem::path logPath_;
};

// Runs the service with the arguments to completion (bounded); returns the
// exit status and what it wrote on stderr.
std::pair<int, std::string> RunServiceToExit(const std::vector<std::string>& args,
                                             const std::filesystem::path& scratch);

} // namespace speech::test

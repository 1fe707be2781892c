#include "player_support.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include <doctest.h>

#include "audio_decoder.h"
#include "file_source.h"
#include "frame_stream.h"

namespace playertest {

std::string Fixture(const char* name) {
    return std::string(PLAYER_FIXTURES) + "/" + name;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
    }
    return bytes;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::vector<uint8_t> ReferencePcm(const std::string& path) {
    std::vector<uint8_t> pcm;
    mp3::OpenFile file;
    if (mp3::OpenMp3File(path.c_str(), &file) != mp3::kOk) return pcm;
    mp3::FileInput in(file.file);
    mp3::FrameStream stream(in);
    auto decoder = std::make_unique<mp3::AudioDecoder>();
    if (stream.FindStream() == mp3::kOk && stream.SetUpDecoder(*decoder) == mp3::kOk) {
        static int16_t out[mp3::AudioDecoder::kMaxOutputBytes / 2];
        int produced = 0;
        while (stream.Step(*decoder, out, &produced) == mp3::kOk) {
            const auto* p = reinterpret_cast<const uint8_t*>(out);
            pcm.insert(pcm.end(), p, p + produced);
        }
    }
    std::fclose(file.file);
    return pcm;
}

bool SamePcm(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
    if (got == want) return true;
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        ++i;
    MESSAGE("captured " << got.size() << " bytes, reference " << want.size()
                        << ", first difference at " << i);
    return false;
}

std::string FileList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        list += name;
        list += '\0';
    }
    list += '\0';
    return list;
}

bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void Watchdog(const char* what, std::chrono::seconds bound, const std::function<void()>& body) {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread guard([&] {
        std::unique_lock<std::mutex> held(lock);
        if (!finished.wait_for(held, bound, [&] { return done; })) {
            std::fprintf(stderr, "watchdog: \"%s\" did not finish within %d s\n", what,
                         int(bound.count()));
            std::fflush(stderr);
            std::_Exit(3);
        }
    });
    // A failed REQUIRE leaves body by an exception: the guard is stopped first (a
    // thread left running would end the program) and the failure goes on.
    std::exception_ptr failure;
    try {
        body();
    } catch (...) {
        failure = std::current_exception();
    }
    {
        std::lock_guard<std::mutex> held(lock);
        done = true;
    }
    finished.notify_all();
    guard.join();
    if (failure) std::rethrow_exception(failure);
}

int Scaled(int count) {
    // In the emulated test machine every thread switch costs a great deal: a
    // tenth still crosses every path the full count does.
    if (!std::getenv("SPEECHTOOL_IN_VM")) return count;
    const int scaled = count / 10;
    return scaled > 0 ? scaled : 1;
}

} // namespace playertest

// Long runs of the player on the system's wave-out device, outside the default
// test suite (scripts/soak-player.sh, scripts/bench-player.sh):
//   player_bench soak FILE.mp3 [CYCLES]  create/play/replace/remove cycles; the
//                                        handle and thread counts and private
//                                        bytes must stay flat (exit 1 if not)
//   player_bench bench FILE.mp3          CPU use while playing, and the time from
//                                        the play command to the first block
//                                        handed to the device
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <map>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "playback/mp3_player.h"
#include "process_usage.h"
#include "runtime_player.h"

namespace {

struct Usage {
    DWORD handles = 0;
    int threads = 0;
    SIZE_T privateBytes = 0;
};

Usage Measure() {
    Usage u;
    u.handles = test_support::KernelHandles();
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 t{};
    t.dwSize = sizeof t;
    for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t))
        u.threads += t.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snap);
    u.privateBytes = test_support::PrivateBytes();
    return u;
}

void PlayCommand(int32_t loops, const char* file) {
    playertest::PlayFiles(loops, {file});
}

const char* Where() {
    return std::getenv("SPEECHTOOL_IN_VM") ? "emulated (QEMU test machine, Wine)" : "Wine";
}

int Soak(const char* file, int cycles) {
    Usage first{};
    for (int i = 1; i <= cycles; ++i) {
        PlayCommand(1, file); // create and play
        Sleep(DWORD(i % 7) * 5);
        PlayCommand(1, file); // replace while playing
        Sleep(DWORD(i % 5) * 5);
        PlayCommand(0, file); // remove
        if (i == 20) first = Measure();
        if (i == 20 || i % 50 == 0 || i == cycles) {
            const Usage u = Measure();
            std::printf("cycle %d: %lu handles, %d threads, %lu KiB private\n", i,
                        static_cast<unsigned long>(u.handles), u.threads,
                        static_cast<unsigned long>(u.privateBytes / 1024));
        }
    }
    const Usage last = Measure();
    const bool flat = last.handles <= first.handles + 8 && last.threads <= first.threads + 1 &&
                      last.privateBytes <= first.privateBytes + 2 * 1024 * 1024;
    std::printf("soak (%s): %s from cycle 20 to %d\n", Where(), flat ? "flat" : "GROWING", cycles);
    return flat ? 0 : 1;
}

// The system's device, noting when the first block is written.
std::atomic<LONGLONG> firstWrite{0};
std::unique_ptr<mp3::WaveOutDevice> (*systemDevice)() = nullptr;

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

class TimedDevice : public mp3::WaveOutDevice {
  public:
    TimedDevice() : inner_(systemDevice()) {}
    int Open(const mp3::StreamFormat& f, int n, DoneFn done, void* context) override {
        return inner_->Open(f, n, done, context);
    }
    int Prepare(int h, uint8_t* data, uint32_t length) override {
        return inner_->Prepare(h, data, length);
    }
    int Write(int h) override {
        LONGLONG zero = 0;
        firstWrite.compare_exchange_strong(zero, Now());
        return inner_->Write(h);
    }
    int Unprepare(int h) override { return inner_->Unprepare(h); }
    int Pause() override { return inner_->Pause(); }
    int Restart() override { return inner_->Restart(); }
    int Reset() override { return inner_->Reset(); }
    int Close() override { return inner_->Close(); }

  private:
    std::unique_ptr<mp3::WaveOutDevice> inner_;
};

// Seconds from a play command to the first block at the device.
double FirstBlockDelay(const char* file) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    firstWrite = 0;
    const LONGLONG start = Now();
    PlayCommand(1, file);
    for (int waited = 0; firstWrite == 0 && waited < 5000; waited += 1)
        Sleep(1);
    PlayCommand(0, file);
    return firstWrite == 0 ? -1 : double(firstWrite - start) / double(frequency.QuadPart);
}

// CPU time per thread of this process, told apart by where a thread starts: in this
// program's image (the player's threads, the bench's own main thread) or in a
// system library (Wine's audio driver threads, which the device open starts).
class ThreadTimes {
  public:
    ThreadTimes() {
        const auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleW(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        imageStart_ = uintptr_t(base);
        imageEnd_ = imageStart_ + nt->OptionalHeader.SizeOfImage;
        query_ = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    }
    ~ThreadTimes() {
        for (auto& [id, t] : threads_)
            CloseHandle(t.handle);
    }
    // Takes in the threads alive now (with findNew) and the times of every thread
    // seen so far. Under Wine an ended thread's times read as zero: the largest
    // value seen is kept.
    void Sample(bool findNew = true) {
        if (findNew) FindNew();
        for (auto& [id, t] : threads_) {
            FILETIME created, ended, kernel, user;
            if (!GetThreadTimes(t.handle, &created, &ended, &kernel, &user)) continue;
            t.seconds = std::max(t.seconds, (Ticks(kernel) + Ticks(user)) / 1e7);
        }
    }
    void FindNew() {
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        THREADENTRY32 e{};
        e.dwSize = sizeof e;
        for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e)) {
            if (e.th32OwnerProcessID != GetCurrentProcessId() || threads_.count(e.th32ThreadID))
                continue;
            Thread t;
            t.handle = OpenThread(THREAD_QUERY_INFORMATION, FALSE, e.th32ThreadID);
            if (!t.handle) continue;
            uintptr_t start = 0;
            // 9: the thread's start address.
            if (query_) query_(t.handle, 9, &start, sizeof start, nullptr);
            // Threads of this program start in its image or, made through the C
            // run-time's thread start, in msvcrt.
            HMODULE module = nullptr;
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCWSTR>(start), &module);
            t.ours = (start >= imageStart_ && start < imageEnd_) ||
                     (module && module == GetModuleHandleW(L"msvcrt.dll"));
            if (std::getenv("PLAYER_BENCH_THREADS")) {
                wchar_t name[MAX_PATH] = L"?";
                if (module) GetModuleFileNameW(module, name, MAX_PATH);
                std::printf("thread %lu starts at %p in %ls\n", e.th32ThreadID,
                            reinterpret_cast<void*>(start), name);
            }
            t.main = e.th32ThreadID == GetCurrentThreadId();
            threads_[e.th32ThreadID] = t;
        }
        CloseHandle(snap);
    }
    // Seconds of CPU since the first sample: the player's threads, the main thread,
    // the others; and how many threads of each kind took part.
    struct Split {
        double player = 0, main = 0, system = 0;
        int playerThreads = 0, systemThreads = 0;
    };
    Split Since(const std::map<DWORD, double>& before) const {
        Split s;
        for (const auto& [id, t] : threads_) {
            const auto b = before.find(id);
            const double used = t.seconds - (b == before.end() ? 0.0 : b->second);
            if (t.main) {
                s.main += used;
            } else if (t.ours) {
                s.player += used;
                s.playerThreads += used > 0 || b == before.end();
            } else {
                s.system += used;
                s.systemThreads += used > 0;
            }
        }
        return s;
    }
    void Print(const std::map<DWORD, double>& before) const {
        for (const auto& [id, t] : threads_) {
            const auto b = before.find(id);
            std::printf("thread %lu (%s): %.3f s\n", id,
                        t.main ? "main" : (t.ours ? "player" : "system"),
                        t.seconds - (b == before.end() ? 0.0 : b->second));
        }
    }
    std::map<DWORD, double> Now() const {
        std::map<DWORD, double> m;
        for (const auto& [id, t] : threads_)
            m[id] = t.seconds;
        return m;
    }

  private:
    using QueryFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    struct Thread {
        HANDLE handle = nullptr;
        bool ours = false, main = false;
        double seconds = 0;
    };
    static double Ticks(const FILETIME& f) {
        return double((ULONGLONG(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    }
    uintptr_t imageStart_ = 0, imageEnd_ = 0;
    QueryFn query_ = nullptr;
    std::map<DWORD, Thread> threads_;
};

// The wave-out device of the bench takes blocks as fast as they come (ALSA's
// null plugin has no clock), so CPU use while playing is the CPU time spent
// per second of audio, not per second of wall time.
int Bench(const char* file, double audioSeconds) {
    systemDevice = mp3::Platform().newDevice;
    mp3::Platform().newDevice = [] { return std::unique_ptr<mp3::WaveOutDevice>(new TimedDevice); };
    FILETIME created, ended, kernel0, user0, kernel1, user1;
    ThreadTimes threads;
    threads.Sample();
    const std::map<DWORD, double> before = threads.Now();
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const LONGLONG wallStart = Now();
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel0, &user0);
    PlayCommand(1, file);
    // Looking for threads (a snapshot of the system's) costs CPU time of its own, in
    // the main thread: the chain's threads start with the play command and the
    // driver's with the device, so two looks early on find them; after that only
    // their times are read, twice a second.
    for (int waited = 0; playertest::RuntimePlayState() != 0; waited += 50) {
        Sleep(50);
        if (waited == 300 || waited == 1000) {
            threads.Sample(true);
        } else if (waited % 500 == 0) {
            threads.Sample(false);
        }
    }
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel1, &user1);
    const double wall = double(Now() - wallStart) / double(frequency.QuadPart);
    threads.Sample();
    const ThreadTimes::Split split = threads.Since(before);
    if (std::getenv("PLAYER_BENCH_THREADS")) threads.Print(before);
    auto ticks = [](const FILETIME& f) {
        return (ULONGLONG(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    const double cpu = double(ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 1e7;
    if (firstWrite == 0) {
        std::printf("bench (%s): no block reached the device\n", Where());
        return 1;
    }
    double delays[7];
    for (double& d : delays)
        if ((d = FirstBlockDelay(file)) < 0) {
            std::printf("bench (%s): a play gave the device no block\n", Where());
            return 1;
        }
    std::sort(std::begin(delays), std::end(delays));
    std::printf("bench (%s): %.1f s of audio took %.3f s of CPU: %.2f %% of a core while playing "
                "(target < 1 %%); first block after %.1f ms median, %.1f ms at most of %zu plays "
                "(target < 50 ms)\n",
                Where(), audioSeconds, cpu, 100 * cpu / audioSeconds, delays[3] * 1000,
                delays[6] * 1000, std::size(delays));
    std::printf("bench (%s): by thread: the player's %d threads %.3f s (%.2f %% of a core per "
                "second of audio), the system's %d audio threads %.3f s (%.2f %%), the bench's "
                "main thread %.3f s; played in %.1f s\n",
                Where(), split.playerThreads, split.player, 100 * split.player / audioSeconds,
                split.systemThreads, split.system, 100 * split.system / audioSeconds, split.main,
                wall);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: player_bench soak FILE.mp3 [CYCLES] | bench FILE.mp3 SECONDS\n");
        return 2;
    }
    testing::StartRuntimeOnce();
    int rc = std::strcmp(argv[1], "soak") == 0 ? Soak(argv[2], argc > 3 ? std::atoi(argv[3]) : 200)
                                               : Bench(argv[2], argc > 3 ? std::atof(argv[3]) : 0);
    st::ShutDown(0);
    return rc;
}

// The player: plays a list of files, one playback chain per file, on an event
// thread of its own that moves to the next file when a chain ends.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "chain_element.h"
#include "frame_decoder.h"
#include "wave_out_device.h"
#include "wave_renderer.h"

namespace mp3 {

// What a chain needs of the system: a wave-out device and a way to post progress.
struct PlaybackPlatform {
    std::unique_ptr<WaveOutDevice> (*newDevice)();
    PostProgressFn postProgress;
};
// The platform every new chain uses (the system's wave-out on Windows).
PlaybackPlatform& Platform();

class Mp3Player : public ChainEvents {
  public:
    enum State : int { kPaused = 1, kPlaying = 2, kStopped = 3 };
    // A pass over a looping list in which no file played waits this long before
    // the next one, so that a list of unplayable files does not spin.
    static constexpr int kIdlePassMs = 200;

    // files: names one after the other, each NUL-terminated, closed by an extra NUL.
    // Null when the event thread cannot be made.
    static Mp3Player* Create(const char* files, int32_t loops);
    ~Mp3Player() override;

    void NewPlay(void* window, int32_t startPercent);
    int32_t PlayState();
    void SetPauseState(bool pause);
    void PostEvent(int code, uint64_t generation) override;

  private:
    struct Event {
        int code;
        uint64_t generation;
    };

    Mp3Player() = default;
    static void EventMain(void* self) { static_cast<Mp3Player*>(self)->EventLoop(); }
    void EventLoop();
    // Handles one end event; false when the player has nothing more to play.
    bool HandleEnd(const Event& event, std::unique_lock<std::mutex>& held);
    void NewPlayLocked(void* window, int32_t startPercent);
    void DestroyChain();

    // One lock for every use of the playing state: the controlling thread and the
    // event thread. Chain threads never take it.
    std::mutex lock_;
    std::condition_variable quitSignal_;
    std::mutex queueLock_;
    std::deque<Event> events_;
    Semaphore eventSignal_;
    std::atomic<bool> quit_{false};
    PlayerThread thread_;

    State state_ = kStopped;
    int32_t loopsLeft_ = 0;
    std::vector<char> files_;
    size_t current_ = 0;
    void* notifyWindow_ = nullptr;
    std::unique_ptr<WaveRenderer> chain_;
    uint64_t generation_ = 0;
    bool endHandled_ = false; // one end event per chain generation
    bool playedThisPass_ = false;
};

} // namespace mp3

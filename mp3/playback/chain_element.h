// What the three stages of a playback chain share: a thread, a wake-up and a
// resume semaphore, pause and quit flags, the ring the stage produces and the one
// it consumes, and the way back to the player.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "stream_ring.h"

namespace mp3 {

// The codes of the events a chain sends its player.
enum PlayerEventCode : int {
    kOutputFinished = 12, // every sample of the file has been played
    kElementFailed = 77,  // a stage stopped on an error
};

// Chain stages report the end of their file here, stamped with the chain's
// generation so that the player can tell a late event of an old chain.
class ChainEvents {
  public:
    virtual ~ChainEvents() = default;
    virtual void PostEvent(int code, uint64_t generation) = 0;
};

class Semaphore {
  public:
    void Release();
    void Acquire();
    // Acquire with a bound: false when the time ran out first.
    bool AcquireFor(std::chrono::milliseconds bound);

  private:
    std::mutex lock_;
    std::condition_variable released_;
    long count_ = 0;
};

class PlayerThread {
  public:
    PlayerThread() = default;
    PlayerThread(const PlayerThread&) = delete;
    PlayerThread& operator=(const PlayerThread&) = delete;
    ~PlayerThread() { Join(); }

    // Starts routine(argument) at once; false when no thread can be made.
    bool Create(void (*routine)(void*), void* argument);
    void Join();
    bool Started() const { return thread_.joinable(); }

  private:
    std::thread thread_;
};

class ChainElement {
  public:
    ChainElement(ChainEvents* player, uint64_t generation)
        : player_(player), generation_(generation) {}
    virtual ~ChainElement() = default;
    ChainElement(const ChainElement&) = delete;
    ChainElement& operator=(const ChainElement&) = delete;

    virtual void Pause();
    // Also starts the stage: its thread waits for the first resume or wake-up.
    virtual void Resume();
    void Wake();
    void SetPeerRing(StreamRing* ring);
    void ReportFailure();
    // Waits for a wake-up; true when the stage is to quit.
    bool WaitForWakeUp();
    // Waits while paused; true when the stage is to quit.
    bool WaitWhilePaused();
    // The first step of every teardown, before any join: the thread leaves every
    // wait and every ring call it is in or comes to.
    virtual void Stop();

    bool Quitting() const { return quit_.load(); }
    bool Paused() const { return paused_.load(); }

  protected:
    Semaphore wake_;
    Semaphore resume_;
    std::mutex lock_;
    ChainEvents* player_;
    uint64_t generation_;
    std::unique_ptr<StreamRing> ownRing_;
    StreamRing* peerRing_ = nullptr;
    std::atomic<bool> paused_{false};
    std::atomic<bool> quit_{false};
};

} // namespace mp3

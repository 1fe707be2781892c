#include "chain_element.h"

#include <system_error>

namespace mp3 {

void Semaphore::Release() {
    {
        std::lock_guard<std::mutex> held(lock_);
        ++count_;
    }
    released_.notify_one();
}

void Semaphore::Acquire() {
    std::unique_lock<std::mutex> held(lock_);
    released_.wait(held, [this] { return count_ > 0; });
    --count_;
}

bool Semaphore::AcquireFor(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> held(lock_);
    if (!released_.wait_for(held, bound, [this] { return count_ > 0; })) return false;
    --count_;
    return true;
}

bool PlayerThread::Create(void (*routine)(void*), void* argument) {
    try {
        thread_ = std::thread(routine, argument);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void PlayerThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void ChainElement::Pause() {
    {
        std::lock_guard<std::mutex> held(lock_);
        paused_ = true;
    }
    wake_.Release();
}

void ChainElement::Resume() {
    {
        std::lock_guard<std::mutex> held(lock_);
        paused_ = false;
    }
    resume_.Release();
}

void ChainElement::Wake() {
    wake_.Release();
}

void ChainElement::SetPeerRing(StreamRing* ring) {
    std::lock_guard<std::mutex> held(lock_);
    peerRing_ = ring;
}

void ChainElement::ReportFailure() {
    if (player_) player_->PostEvent(kElementFailed, generation_);
}

bool ChainElement::WaitForWakeUp() {
    // Quit is checked before and after: Stop releases each semaphore once, and a
    // thread that comes to a wait after that must not sleep on it.
    if (quit_) return true;
    wake_.Acquire();
    return quit_;
}

bool ChainElement::WaitWhilePaused() {
    while (paused_ && !quit_)
        resume_.Acquire();
    return quit_;
}

void ChainElement::Stop() {
    {
        std::lock_guard<std::mutex> held(lock_);
        quit_ = true;
        paused_ = false;
        if (ownRing_) ownRing_->Close();
        if (peerRing_) peerRing_->Close();
    }
    wake_.Release();
    resume_.Release();
}

} // namespace mp3

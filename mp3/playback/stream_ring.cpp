#include "stream_ring.h"

#include <algorithm>
#include <thread> // std::chrono's clocks and durations (all of <chrono> has text a GBK build cannot hold)
#include <cstring>
#include <thread>

namespace mp3 {

namespace {
constexpr auto kIdlePoll = std::chrono::milliseconds(10);
}

StreamRing::StreamRing(size_t size, size_t overflow)
    : overflow_(overflow), size_(size), storage_(size + overflow) {}

int StreamRing::BeginWrite(uint8_t** data, size_t n) {
    std::lock_guard<std::mutex> held(lock_);
    if (closing_) return kRingClosing;
    size_t space;
    if (stored_ == size_) {
        space = 0;
    } else if (write_ >= read_) {
        // Past the end the run goes on in the overflow area, which EndWrite copies to
        // the ring's start: it may not reach the unread bytes there (an empty ring
        // included, whose read index is where the next data starts).
        space = size_ - write_ + std::min(read_, overflow_);
    } else {
        space = read_ - write_;
    }
    if (space < n) return kRingNoSpace;
    *data = storage_.data() + write_;
    pendingWrite_ = n;
    writePending_ = true;
    return kRingOk;
}

int StreamRing::EndWrite(size_t n) {
    std::lock_guard<std::mutex> held(lock_);
    if (closing_) return kRingClosing;
    n = std::min(n, writePending_ ? pendingWrite_ : 0);
    if (write_ + n > size_)
        std::memcpy(storage_.data(), storage_.data() + size_, write_ + n - size_);
    write_ = (write_ + n) % size_;
    stored_ += n;
    totalWritten_ += n;
    writePending_ = false;
    pendingWrite_ = 0;
    return kRingOk;
}

int StreamRing::BeginReadLocked(const uint8_t** data, size_t n) {
    if (stored_ < n) return endOfStream_ ? kRingEnded : kRingShort;
    const size_t toEnd = size_ - read_;
    if (n > toEnd && overflow_ > 0) {
        // Join the wrapped part behind the ring's end.
        const size_t wrapped = n - toEnd;
        if (wrapped > overflow_) return kRingOverflowTooSmall;
        std::memcpy(storage_.data() + size_, storage_.data(), wrapped);
    }
    *data = storage_.data() + read_;
    pendingRead_ = n;
    readPending_ = true;
    return kRingOk;
}

int StreamRing::BeginRead(const uint8_t** data, size_t n) {
    std::lock_guard<std::mutex> held(lock_);
    if (closing_) return kRingClosing;
    return BeginReadLocked(data, n);
}

int StreamRing::EndRead(size_t n) {
    std::lock_guard<std::mutex> held(lock_);
    if (closing_) return kRingClosing;
    n = std::min(n, stored_);
    read_ = (read_ + n) % size_;
    stored_ -= n;
    totalRead_ += n;
    readPending_ = false;
    pendingRead_ = 0;
    return kRingOk;
}

bool StreamRing::WaitUntilIdle(std::unique_lock<std::mutex>& held) {
    while (!closing_ && (readPending_ || writePending_)) {
        held.unlock();
        std::this_thread::sleep_for(kIdlePoll);
        held.lock();
    }
    return !closing_;
}

int StreamRing::Reset() {
    std::unique_lock<std::mutex> held(lock_);
    if (!WaitUntilIdle(held)) return kRingClosing;
    read_ = write_ = stored_ = 0;
    totalRead_ = totalWritten_;
    endOfStream_ = false;
    return kRingOk;
}

int StreamRing::Resize(size_t size, size_t overflow) {
    std::unique_lock<std::mutex> held(lock_);
    if (closing_) return kRingClosing;
    if (size < stored_ || size == 0) return kRingNoSpace;
    if (read_ != 0) return kRingNotAtStart;
    if (!WaitUntilIdle(held)) return kRingClosing;
    if (read_ != 0) return kRingNotAtStart;
    std::vector<uint8_t> bigger(size + overflow);
    std::memcpy(bigger.data(), storage_.data(), stored_);
    storage_.swap(bigger);
    size_ = size;
    overflow_ = overflow;
    write_ = stored_ % size_;
    return kRingOk;
}

void StreamRing::SetEndOfStream() {
    std::lock_guard<std::mutex> held(lock_);
    endOfStream_ = true;
}

bool StreamRing::EndOfStream() {
    std::lock_guard<std::mutex> held(lock_);
    return endOfStream_;
}

void StreamRing::Close() {
    std::lock_guard<std::mutex> held(lock_);
    closing_ = true;
}

bool StreamRing::Closing() {
    std::lock_guard<std::mutex> held(lock_);
    return closing_;
}

size_t StreamRing::Stored() {
    std::lock_guard<std::mutex> held(lock_);
    return stored_;
}

size_t StreamRing::Free() {
    std::lock_guard<std::mutex> held(lock_);
    return size_ - stored_;
}

size_t StreamRing::Size() {
    std::lock_guard<std::mutex> held(lock_);
    return size_;
}

int EventRing::QueueEvent(std::unique_ptr<ChainEvent> event) {
    std::unique_lock<std::mutex> held(lock_);
    if (!WaitUntilIdleForWrite(held)) return kRingClosing;
    events_.push_back({totalWritten_, std::move(event)});
    return kRingOk;
}

bool EventRing::WaitUntilIdleForWrite(std::unique_lock<std::mutex>& held) {
    // Only the producer's own reservation matters here; the consumer may read on.
    while (!closing_ && writePending_) {
        held.unlock();
        std::this_thread::sleep_for(kIdlePoll);
        held.lock();
    }
    return !closing_;
}

int EventRing::BeginRead(const uint8_t** data, size_t n) {
    std::lock_guard<std::mutex> held(lock_);
    if (closing_) return kRingClosing;
    // An event in the way comes before any shortage: the data behind it may never come.
    if (!events_.empty() && events_.front().position < totalRead_ + n) return kRingEventDue;
    return BeginReadLocked(data, n);
}

std::unique_ptr<ChainEvent> EventRing::TakeEvent() {
    std::lock_guard<std::mutex> held(lock_);
    if (events_.empty()) return nullptr;
    std::unique_ptr<ChainEvent> event = std::move(events_.front().event);
    events_.pop_front();
    return event;
}

} // namespace mp3

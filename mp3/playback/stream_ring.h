// The byte rings that join the stages of a playback chain: one producer, one
// consumer, data copied outside the lock between begin and end of a read or write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace mp3 {

enum RingCode : int {
    kRingOk = 0,
    kRingOverflowTooSmall = 2, // a wrapping run longer than the overflow area
    kRingNoSpace = 7,
    kRingNotAtStart = 16, // resize needs the read index at 0
    kRingShort = 24,
    kRingClosing = 28,
    kRingEventDue = 29,
    kRingEnded = 33,
};

class StreamRing {
  public:
    // size bytes of ring with an overflow area of overflow bytes behind it, so that
    // a run crossing the end can be handed out as one contiguous block.
    StreamRing(size_t size, size_t overflow);
    virtual ~StreamRing() = default;
    StreamRing(const StreamRing&) = delete;
    StreamRing& operator=(const StreamRing&) = delete;

    // n bytes of contiguous space at the write index (pending until EndWrite).
    int BeginWrite(uint8_t** data, size_t n);
    // Commits n bytes of the pending write; EndWrite(0) gives the space back.
    int EndWrite(size_t n);
    // n bytes at the read index (pending until EndRead). Without an overflow area
    // a run that crosses the end is only counted, not joined: the caller wraps.
    virtual int BeginRead(const uint8_t** data, size_t n);
    // Consumes n bytes of the pending read; EndRead(0) consumes nothing.
    int EndRead(size_t n);
    // Empties the ring and clears the end-of-stream mark, once nothing is pending.
    int Reset();
    // New size and overflow area, keeping the stored bytes; needs the read index
    // at 0 and nothing pending.
    int Resize(size_t size, size_t overflow);
    void SetEndOfStream();
    bool EndOfStream();
    // From now on every operation answers kRingClosing, and waits inside the ring end.
    void Close();
    bool Closing();

    size_t Stored();
    // Size() - Stored(), under one lock.
    size_t Free();
    size_t Size();
    // Start of the ring storage, for a consumer that wraps itself.
    uint8_t* Storage() { return storage_.data(); }

  protected:
    // Waits until neither a read nor a write is pending; false when closing.
    bool WaitUntilIdle(std::unique_lock<std::mutex>& held);
    int BeginReadLocked(const uint8_t** data, size_t n);

    std::mutex lock_;
    bool closing_ = false;
    size_t stored_ = 0;
    size_t overflow_;
    size_t size_;
    size_t read_ = 0;
    size_t write_ = 0;
    bool endOfStream_ = false;
    size_t pendingWrite_ = 0;
    size_t pendingRead_ = 0;
    bool writePending_ = false;
    bool readPending_ = false;
    // Bytes ever written and read: an event's place is a count, not an index, so a
    // full ring and an empty one cannot be mistaken for each other.
    uint64_t totalWritten_ = 0;
    uint64_t totalRead_ = 0;
    std::vector<uint8_t> storage_;
};

// What travels in an event ring beside the data.
struct ChainEvent {
    enum Type : int { kStreamFormat = 0, kEndOfStream = 3 };
    explicit ChainEvent(int t) : type(t) {}
    virtual ~ChainEvent() = default;
    int type;
};

// The PCM layout of one stream; one block is the PCM of one frame.
struct StreamFormat : ChainEvent {
    StreamFormat() : ChainEvent(kStreamFormat) {}
    int bitsPerSample = 16;
    int channels = 0;
    int sampleRate = 0;
    int blockBytes = 0;
    int samplesPerFrame = 0;
};

// A ring whose events are due when the reader reaches the place they were queued at.
class EventRing : public StreamRing {
  public:
    using StreamRing::StreamRing;
    // Queues the event at the current write position, once no write is pending.
    int QueueEvent(std::unique_ptr<ChainEvent> event);
    // kRingEventDue when an event lies at the read position or within the next n bytes.
    int BeginRead(const uint8_t** data, size_t n) override;
    // The first queued event, or null.
    std::unique_ptr<ChainEvent> TakeEvent();

  private:
    bool WaitUntilIdleForWrite(std::unique_lock<std::mutex>& held);

    struct Queued {
        uint64_t position;
        std::unique_ptr<ChainEvent> event;
    };
    std::deque<Queued> events_;
};

} // namespace mp3

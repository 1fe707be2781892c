#include "wave_renderer.h"

#include <thread> // std::chrono's clocks and durations (all of <chrono> has text a GBK build cannot hold)
#include <thread>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace mp3 {

namespace {

constexpr auto kIdleStep = std::chrono::milliseconds(1);
// The device says nothing when it is done with a block but through its callback,
// which may not wait or wake a thread of ours: played blocks are looked for at
// intervals. With every header written the device holds seconds of sound, so a
// block's length (26 ms at 44.1 kHz stereo) is often enough; the waits end early
// for a pause or the chain's end (both wake the renderer).
constexpr auto kHeaderPoll = std::chrono::milliseconds(25);
constexpr auto kDrainPoll = std::chrono::milliseconds(10);
constexpr auto kClosePoll = std::chrono::milliseconds(100);
constexpr size_t kDecoderWakeShare = 8; // of the output ring free before the decoder goes on
constexpr int kErrNoThread = 26;
// WriteBlock's answer when a pause came while it waited for a free header: the
// block stays fetched and is written after the resume.
constexpr int kNotWritten = -1;

} // namespace

// Guards the header marks, which the device's callback also changes. A critical
// section: the callback may not wait on a kernel object, and it is held only for
// reading and writing marks, never across a device call.
#ifdef _WIN32
class WaveRenderer::HeaderLock {
  public:
    HeaderLock() { InitializeCriticalSection(&section_); }
    ~HeaderLock() { DeleteCriticalSection(&section_); }
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

  private:
    CRITICAL_SECTION section_;
};
#else
class WaveRenderer::HeaderLock : public std::mutex {};
#endif

WaveRenderer::WaveRenderer(ChainEvents* player, uint64_t generation,
                           std::unique_ptr<WaveOutDevice> device, void* window, PostProgressFn post)
    : ChainElement(player, generation), source_(std::make_unique<FileSource>(player, generation)),
      decoder_(std::make_unique<FrameDecoder>(player, generation, window, post)),
      device_(std::move(device)), headerLock_(std::make_unique<HeaderLock>()) {}

WaveRenderer::~WaveRenderer() {
    // Every stage leaves its waits and rings before anything is joined: a stage
    // blocked on another one's ring or semaphore would otherwise hold the join.
    Stop();
    decoder_->Stop();
    source_->Stop();
    thread_.Join();
    CloseDevice();
    decoder_->Join();
    source_->Join();
    decoder_.reset();
    source_.reset();
}

int WaveRenderer::Open(const char* name) {
    std::lock_guard<std::mutex> held(lock_);
    source_->SetName(name);
    source_->SetConsumer(decoder_.get());
    decoder_->SetSource(source_.get());
    decoder_->SetRenderer(this);
    StreamRing* input = nullptr;
    int rc = source_->Prepare(&input);
    if (rc == kOk) rc = decoder_->Attach(input, &output_);
    if (rc != kOk) return rc;
    peerRing_ = output_;
    if (!thread_.Create(RendererMain, this)) {
        ReportFailure();
        return kErrNoThread;
    }
    return kOk;
}

void WaveRenderer::Pause() {
    ChainElement::Pause();
    std::lock_guard<std::mutex> held(lock_);
    if (handleValid_) device_->Pause();
}

void WaveRenderer::Resume() {
    {
        std::lock_guard<std::mutex> held(lock_);
        if (handleValid_) device_->Restart();
    }
    ChainElement::Resume();
}

int32_t WaveRenderer::Mark(int header) {
    std::lock_guard<HeaderLock> held(*headerLock_);
    return marks_[size_t(header)];
}

void WaveRenderer::SetMark(int header, int32_t mark) {
    std::lock_guard<HeaderLock> held(*headerLock_);
    marks_[size_t(header)] = mark;
}

void WaveRenderer::OnDone(void* self, int header) {
    auto* renderer = static_cast<WaveRenderer*>(self);
    std::lock_guard<HeaderLock> held(*renderer->headerLock_);
    if (header < 0 || size_t(header) >= renderer->marks_.size()) return;
    int32_t& mark = renderer->marks_[size_t(header)];
    if (mark > 0) mark = -mark;
}

int WaveRenderer::OpenDevice(const StreamFormat& format) {
    std::lock_guard<std::mutex> held(lock_);
    blockBytes_ = size_t(format.blockBytes);
    headerCount_ = int(output_->Size() / blockBytes_) - 1;
    {
        std::lock_guard<HeaderLock> marks(*headerLock_);
        marks_.assign(size_t(headerCount_), 0);
    }
    const int rc = device_ ? device_->Open(format, headerCount_, OnDone, this) : -1;
    handleValid_ = rc == 0;
    deviceOpen_ = true;
    return rc;
}

int WaveRenderer::FetchBlock(uint8_t** block) {
    const uint8_t* start;
    const int rc = output_->BeginRead(&start, held_ + blockBytes_);
    if (rc != kRingOk) return rc;
    // Only a look: the held blocks stay in the ring until the device is done.
    output_->EndRead(0);
    const size_t ringSize = output_->Size();
    const size_t offset = (size_t(start - output_->Storage()) + held_) % ringSize;
    *block = output_->Storage() + offset;
    held_ += blockBytes_;
    return kRingOk;
}

int WaveRenderer::TakeBack(bool wantFree) {
    for (;;) {
        int found = -1;
        {
            std::lock_guard<HeaderLock> held(*headerLock_);
            for (size_t i = 0; i < marks_.size(); ++i) {
                if (marks_[i] == -nextTakeBack_) {
                    found = int(i);
                    break;
                }
            }
        }
        if (found < 0) break;
        device_->Unprepare(found);
        output_->EndRead(blockBytes_);
        held_ -= blockBytes_;
        SetMark(found, 0);
        ++nextTakeBack_;
    }
    if (!wantFree) return -1;
    std::lock_guard<HeaderLock> held(*headerLock_);
    for (size_t i = 0; i < marks_.size(); ++i) {
        if (marks_[i] == 0) {
            // Marked before the write: the device may finish it inside the write.
            marks_[i] = nextSequence_++;
            return int(i);
        }
    }
    return -1;
}

int WaveRenderer::WriteBlock(uint8_t* block) {
    int header;
    while ((header = TakeBack(true)) < 0) {
        if (quit_) return kRingClosing;
        if (paused_) return kNotWritten;
        wake_.AcquireFor(kHeaderPoll);
    }
    int rc = device_->Prepare(header, block, uint32_t(blockBytes_));
    if (rc == 0) {
        rc = device_->Write(header);
        if (rc != 0) device_->Unprepare(header);
    }
    if (rc != 0) {
        // Nothing of this header reaches the device: no mark may wait for it.
        SetMark(header, 0);
        return kErrDeviceFailed;
    }
    return kRingOk;
}

bool WaveRenderer::WaitUntilPlayed() {
    while (!quit_ && !paused_) {
        TakeBack(false);
        int queued = 0;
        {
            std::lock_guard<HeaderLock> held(*headerLock_);
            for (int32_t mark : marks_)
                queued += mark != 0;
        }
        if (queued == 0) return true;
        wake_.AcquireFor(kDrainPoll);
    }
    return false;
}

void WaveRenderer::RenderLoop() {
    // The chain starts with the renderer's first resume.
    if (quit_) return;
    resume_.Acquire();
    uint8_t* fetched = nullptr; // fetched and counted as held, not yet written
    bool draining = false;      // the end of the stream came: waiting for the device
    while (!quit_) {
        if (WaitWhilePaused()) break;
        if (draining) {
            // A pause cuts the wait short; after the resume it goes on.
            if (!WaitUntilPlayed()) continue;
            player_->PostEvent(kOutputFinished, generation_);
            return;
        }
        if (!deviceOpen_) {
            std::unique_ptr<ChainEvent> event = output_->TakeEvent();
            if (!event) {
                decoder_->Wake();
                std::this_thread::sleep_for(kIdleStep);
            } else if (event->type == ChainEvent::kStreamFormat &&
                       OpenDevice(static_cast<const StreamFormat&>(*event)) != 0) {
                ReportFailure();
                return;
            }
            continue;
        }
        if (!fetched) {
            const int rc = FetchBlock(&fetched);
            if (rc == kRingShort) {
                decoder_->Wake();
                TakeBack(false);
                std::this_thread::sleep_for(kIdleStep);
                continue;
            }
            if (rc == kRingEventDue) {
                std::unique_ptr<ChainEvent> event = output_->TakeEvent();
                if (event && event->type == ChainEvent::kEndOfStream) draining = true;
                continue;
            }
            if (rc == kRingClosing) break;
            if (rc != kRingOk) {
                ReportFailure();
                return;
            }
        }
        const int rc = WriteBlock(fetched);
        if (rc == kNotWritten) continue;
        if (rc == kRingClosing) break;
        if (rc != kRingOk) {
            ReportFailure();
            return;
        }
        fetched = nullptr;
        // The decoder waits only for a full ring: wake it once an eighth of the ring
        // is free, to decode a run of frames, rather than for every block. (When
        // the renderer runs short of blocks it wakes the decoder whatever is free.)
        if (output_->Free() >= output_->Size() / kDecoderWakeShare) decoder_->Wake();
    }
}

void WaveRenderer::CloseDevice() {
    if (!handleValid_) return;
    device_->Reset();
    // After the reset every written header comes back, possibly on another thread
    // a little later: wait for them, within a bound.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kResetWaitMs);
    for (;;) {
        bool queued = false;
        {
            std::lock_guard<HeaderLock> held(*headerLock_);
            for (int32_t mark : marks_)
                queued = queued || mark > 0;
        }
        if (!queued || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(kIdleStep);
    }
    for (size_t i = 0; i < marks_.size(); ++i) {
        if (Mark(int(i)) != 0) {
            device_->Unprepare(int(i));
            SetMark(int(i), 0);
        }
    }
    for (int tries = 0; tries < kCloseRetries; ++tries) {
        if (device_->Close() != WaveOutDevice::kStillPlaying) break;
        std::this_thread::sleep_for(kClosePoll);
    }
    handleValid_ = false;
    deviceOpen_ = false;
}

} // namespace mp3

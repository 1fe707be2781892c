#include "fake_wave_out.h"

#include <thread> // std::chrono's clocks and durations (all of <chrono> has text a GBK build cannot hold)
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>

#include "playback/mp3_player.h"

namespace playertest {

void DeviceLog::Clear(const DeviceScript& s) {
    std::lock_guard<std::mutex> held(lock);
    script = s;
    captures.clear();
    progress.clear();
    maxAlive = alive.load();
}

std::vector<std::shared_ptr<Capture>> DeviceLog::Captures() {
    std::lock_guard<std::mutex> held(lock);
    return captures;
}

std::vector<int> DeviceLog::Progress(void* window) {
    std::lock_guard<std::mutex> held(lock);
    std::vector<int> values;
    for (auto& [w, percent] : progress)
        if (w == window) values.push_back(percent);
    return values;
}

DeviceLog& Log() {
    static DeviceLog log;
    return log;
}

namespace {

struct Header {
    uint8_t* data = nullptr;
    uint32_t length = 0;
    bool prepared = false;
};

class FakeWaveOut : public mp3::WaveOutDevice {
  public:
    FakeWaveOut() {
        {
            std::lock_guard<std::mutex> held(Log().lock);
            script_ = Log().script;
        }
        const int now = ++Log().alive;
        for (int seen = Log().maxAlive;
             now > seen && !Log().maxAlive.compare_exchange_weak(seen, now);) {
        }
    }
    ~FakeWaveOut() override {
        {
            std::lock_guard<std::mutex> held(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
        --Log().alive;
    }

    int Open(const mp3::StreamFormat& format, int headerCount, DoneFn done,
             void* context) override {
        if (script_.failOpen) return 2; // MMSYSERR_BADDEVICEID
        capture_ = std::make_shared<Capture>();
        capture_->format = format;
        capture_->headers = headerCount;
        {
            std::lock_guard<std::mutex> held(Log().lock);
            Log().captures.push_back(capture_);
        }
        headers_.assign(size_t(headerCount), Header{});
        done_ = done;
        context_ = context;
        thread_ = std::thread([this] { Run(); });
        return 0;
    }
    int Prepare(int header, uint8_t* data, uint32_t length) override {
        if (prepares_++ == script_.failPrepareAt) return 11; // MMSYSERR_INVALPARAM
        Header& h = headers_.at(size_t(header));
        h = {data, length, true};
        return 0;
    }
    int Write(int header) override {
        if (writes_++ == script_.failWriteAt) return 11;
        std::unique_lock<std::mutex> held(lock_);
        if (script_.doneInsideWrite && !paused_) {
            Play(header);
            held.unlock();
            done_(context_, header);
            return 0;
        }
        queue_.push_back(header);
        held.unlock();
        wake_.notify_all();
        return 0;
    }
    int Unprepare(int header) override {
        std::lock_guard<std::mutex> held(lock_);
        // As the system's device: a header it has not given back stays prepared.
        if (std::count(queue_.begin(), queue_.end(), header) ||
            std::count(late_.begin(), late_.end(), header)) {
            ++capture_->heldUnprepares;
            return 33; // WAVERR_STILLPLAYING
        }
        headers_.at(size_t(header)).prepared = false;
        return 0;
    }
    int Pause() override {
        std::lock_guard<std::mutex> held(lock_);
        paused_ = true;
        return 0;
    }
    int Restart() override {
        {
            std::lock_guard<std::mutex> held(lock_);
            paused_ = false;
        }
        wake_.notify_all();
        return 0;
    }
    int Reset() override {
        std::deque<int> dropped;
        {
            std::lock_guard<std::mutex> held(lock_);
            dropped.swap(queue_);
            if (!script_.doneInsideReset) {
                late_ = std::move(dropped);
                lateAt_ = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(script_.resetLateMs);
            }
        }
        for (int header : dropped)
            done_(context_, header);
        wake_.notify_all();
        return 0;
    }
    int Close() override {
        ++capture_->closeCalls;
        std::lock_guard<std::mutex> held(lock_);
        if (stillPlaying_ < script_.closeStillPlaying || !queue_.empty() || !late_.empty()) {
            ++stillPlaying_;
            return kStillPlaying;
        }
        capture_->closed = true;
        return 0;
    }

  private:
    // Called with lock_ held.
    void Play(int header) {
        const Header& h = headers_.at(size_t(header));
        capture_->pcm.insert(capture_->pcm.end(), h.data, h.data + h.length);
        capture_->played = capture_->pcm.size();
    }

    void Run() {
        std::unique_lock<std::mutex> held(lock_);
        for (;;) {
            wake_.wait_for(held, std::chrono::milliseconds(2), [this] {
                return stop_ || !late_.empty() || (!paused_ && !queue_.empty());
            });
            if (stop_) return;
            if (!late_.empty()) {
                if (std::chrono::steady_clock::now() < lateAt_) continue;
                std::deque<int> late;
                late.swap(late_);
                held.unlock();
                for (int header : late)
                    done_(context_, header);
                held.lock();
                continue;
            }
            if (paused_ || queue_.empty()) continue;
            const size_t take = script_.swapDoneOrder && queue_.size() >= 2 ? 2 : 1;
            std::vector<int> blocks(queue_.begin(), queue_.begin() + ptrdiff_t(take));
            // Copied under the lock: once Reset has returned, no block is touched.
            for (int header : blocks)
                Play(header);
            held.unlock();
            if (script_.blockMicros > 0)
                std::this_thread::sleep_for(
                    std::chrono::microseconds(script_.blockMicros * int(take)));
            held.lock();
            // Reset may have taken them meanwhile; it has reported them itself.
            if (queue_.size() < take || queue_.front() != blocks.front()) continue;
            queue_.erase(queue_.begin(), queue_.begin() + ptrdiff_t(take));
            held.unlock();
            if (take == 2) std::swap(blocks[0], blocks[1]);
            for (int header : blocks)
                done_(context_, header);
            held.lock();
        }
    }

    DeviceScript script_;
    std::shared_ptr<Capture> capture_;
    std::vector<Header> headers_;
    DoneFn done_ = nullptr;
    void* context_ = nullptr;
    int prepares_ = 0;
    int writes_ = 0;
    int stillPlaying_ = 0;

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<int> queue_;
    std::deque<int> late_;
    std::chrono::steady_clock::time_point lateAt_;
    bool paused_ = false;
    bool stop_ = false;
    std::thread thread_;
};

std::unique_ptr<mp3::WaveOutDevice> NewFake() {
    return std::make_unique<FakeWaveOut>();
}

void RecordProgress(void* window, int percent) {
    std::lock_guard<std::mutex> held(Log().lock);
    Log().progress.emplace_back(window, percent);
}

} // namespace

void UseFakePlatform() {
    mp3::Platform() = {.newDevice = NewFake, .postProgress = RecordProgress};
}

} // namespace playertest

#include "mp3_player.h"

#include <cstring>
#include <new>

#include "player_entries.h"

namespace mp3 {

#ifdef _WIN32
PlaybackPlatform SystemPlaybackPlatform(); // system_wave_out.cpp
#endif

PlaybackPlatform& Platform() {
#ifdef _WIN32
    static PlaybackPlatform platform = SystemPlaybackPlatform();
#else
    static PlaybackPlatform platform = {nullptr, nullptr};
#endif
    return platform;
}

namespace {

constexpr int kDonePercent = 100;

// Size of a file list up to and including its closing NUL.
size_t ListSize(const char* files) {
    size_t i = 0;
    while (files[i] != 0)
        i += std::strlen(files + i) + 1;
    return i + 1;
}

} // namespace

Mp3Player* Mp3Player::Create(const char* files, int32_t loops) {
    auto* player = new (std::nothrow) Mp3Player;
    if (!player) return nullptr;
    player->loopsLeft_ = loops < 0 ? 0 : loops;
    const size_t size = files ? ListSize(files) : 1;
    if (size > 1) {
        player->files_.assign(files, files + size);
        if (!player->thread_.Create(EventMain, player)) {
            delete player;
            return nullptr;
        }
    }
    return player;
}

Mp3Player::~Mp3Player() {
    {
        std::lock_guard<std::mutex> held(lock_);
        quit_ = true;
    }
    quitSignal_.notify_all();
    eventSignal_.Release();
    // Not under the player lock: the event thread takes it to finish what it is doing.
    thread_.Join();
    std::lock_guard<std::mutex> held(lock_);
    DestroyChain();
}

void Mp3Player::DestroyChain() {
    chain_.reset();
    state_ = kStopped;
}

void Mp3Player::NewPlay(void* window, int32_t startPercent) {
    std::lock_guard<std::mutex> held(lock_);
    NewPlayLocked(window, startPercent);
}

void Mp3Player::NewPlayLocked(void* window, int32_t startPercent) {
    if (state_ == kPlaying) {
        chain_->Pause();
        DestroyChain();
    }
    if (files_.empty() || files_[current_] == 0) {
        notifyWindow_ = nullptr;
        return;
    }
    if (!chain_) {
        ++generation_;
        endHandled_ = false;
        PlaybackPlatform& platform = Platform();
        chain_ = std::make_unique<WaveRenderer>(this, generation_,
                                                platform.newDevice ? platform.newDevice() : nullptr,
                                                window, platform.postProgress);
        // The window stays even when the file cannot be opened: the failing stage
        // has reported it, the event thread moves on to the next file, and that
        // file's progress still goes where the caller asked.
        notifyWindow_ = window;
        if (chain_->Open(&files_[current_]) != kOk) {
            chain_.reset();
            return;
        }
    }
    notifyWindow_ = window;
    if (startPercent != 0) chain_->SetStartPosition(startPercent);
    chain_->Resume();
    state_ = kPlaying;
}

int32_t Mp3Player::PlayState() {
    std::lock_guard<std::mutex> held(lock_);
    return state_ == kPlaying ? 1 : state_ == kPaused ? -1 : 0;
}

void Mp3Player::SetPauseState(bool pause) {
    std::lock_guard<std::mutex> held(lock_);
    if (pause && state_ == kPlaying) {
        chain_->Pause();
        state_ = kPaused;
    } else if (!pause && state_ == kPaused) {
        chain_->Resume();
        state_ = kPlaying;
    }
}

void Mp3Player::PostEvent(int code, uint64_t generation) {
    {
        std::lock_guard<std::mutex> held(queueLock_);
        events_.push_back({code, generation});
    }
    eventSignal_.Release();
}

void Mp3Player::EventLoop() {
    while (!quit_) {
        Event event;
        bool taken = false;
        {
            std::lock_guard<std::mutex> held(queueLock_);
            if (!events_.empty()) {
                event = events_.front();
                events_.pop_front();
                taken = true;
            }
        }
        if (!taken) {
            eventSignal_.Acquire();
            continue;
        }
        std::unique_lock<std::mutex> held(lock_);
        if (quit_ || !HandleEnd(event, held)) break;
    }
}

bool Mp3Player::HandleEnd(const Event& event, std::unique_lock<std::mutex>& held) {
    if (event.code != kOutputFinished && event.code != kElementFailed) return true;
    // A late event of a chain that is gone, or a second one of the same chain.
    if (event.generation != generation_ || endHandled_) return true;
    endHandled_ = true;
    DestroyChain();
    if (notifyWindow_ && Platform().postProgress)
        Platform().postProgress(notifyWindow_, kDonePercent);
    if (event.code == kOutputFinished) playedThisPass_ = true;
    current_ += std::strlen(&files_[current_]) + 1;
    if (files_[current_] == 0) {
        current_ = 0;
        if (loopsLeft_ > 0) {
            if (--loopsLeft_ == 0) {
                quit_ = true;
                return false;
            }
        } else if (!playedThisPass_) {
            const uint64_t before = generation_;
            quitSignal_.wait_for(held, std::chrono::milliseconds(kIdlePassMs),
                                 [this] { return quit_.load(); });
            if (quit_) return false;
            // The controlling thread started something meanwhile: leave it playing.
            if (generation_ != before) return true;
        }
        playedThisPass_ = false;
    }
    NewPlayLocked(notifyWindow_, 0);
    return true;
}

namespace {

void* CreatePlayer(const char* files, int32_t loops) {
    return Mp3Player::Create(files, loops);
}

void NewPlay(void* handle, void* window, int32_t startPercent) {
    if (handle) static_cast<Mp3Player*>(handle)->NewPlay(window, startPercent);
}

void Play(void* handle) {
    NewPlay(handle, nullptr, 0);
}

int32_t GetPlayState(void* handle) {
    return handle ? static_cast<Mp3Player*>(handle)->PlayState() : 0;
}

void SetPauseState(void* handle, int32_t pause) {
    if (handle) static_cast<Mp3Player*>(handle)->SetPauseState(pause != 0);
}

void RemovePlayer(void* handle) {
    delete static_cast<Mp3Player*>(handle);
}

struct EntryPoint {
    const char* name;
    void* address;
};

// In the order the lookup compares them.
const EntryPoint kEntryPoints[] = {
    {.name = "Play", .address = reinterpret_cast<void*>(static_cast<PlayFn>(Play))},
    {.name = "NewPlay", .address = reinterpret_cast<void*>(static_cast<NewPlayFn>(NewPlay))},
    {.name = "GetPlayState",
     .address = reinterpret_cast<void*>(static_cast<GetPlayStateFn>(GetPlayState))},
    {.name = "CreatePlayer",
     .address = reinterpret_cast<void*>(static_cast<CreatePlayerFn>(CreatePlayer))},
    {.name = "RemovePlayer",
     .address = reinterpret_cast<void*>(static_cast<RemovePlayerFn>(RemovePlayer))},
    {.name = "SetPauseState",
     .address = reinterpret_cast<void*>(static_cast<SetPauseStateFn>(SetPauseState))},
};

} // namespace

int32_t PlayerInitialise() {
    return 1;
}

void* PlayerLookup(const char* name) {
    if (!name) return nullptr;
    for (const EntryPoint& entry : kEntryPoints)
        if (std::strcmp(entry.name, name) == 0) return entry.address;
    return nullptr;
}

void PlayerShutdown() {}

} // namespace mp3

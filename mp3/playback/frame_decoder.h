// The middle stage of a playback chain: finds the stream in the input ring and
// decodes it frame by frame into PCM blocks in the output ring, with the same
// stream code and decoder that mp3decode runs.
#pragma once

#include <memory>

#include "../audio_decoder.h"
#include "../frame_stream.h"
#include "../input_window.h"
#include "chain_element.h"
#include "file_source.h"

namespace mp3 {

// Posts a progress percentage to a notification window (which may have gone).
using PostProgressFn = void (*)(void* window, int percent);

class FrameDecoder : public ChainElement {
  public:
    static constexpr size_t kFirstOutputRingSize = 64512;
    static constexpr size_t kOutputRingTarget = 524288;
    static constexpr int kErrNotLinked = 15;
    static constexpr int kErrNoThread = 1003;

    FrameDecoder(ChainEvents* player, uint64_t generation, void* window, PostProgressFn post);
    ~FrameDecoder() override;

    void SetSource(FileSource* source) { source_ = source; }
    void SetRenderer(ChainElement* renderer) { renderer_ = renderer; }
    // Keeps the input ring, creates the output ring and starts the decoding thread.
    // A thread that cannot be made is reported here and returned (kErrNoThread).
    int Attach(StreamRing* input, EventRing** output);
    // Taken when the thread starts, so it has no effect on a running decoder.
    void SetStartPosition(int percent) { startPercent_ = percent; }
    void Join() { thread_.Join(); }

  private:
    // The stream code's view of the input ring: waits for data by waking the
    // source and sleeping on this stage's wake-up semaphore.
    class RingInput : public InputWindow {
      public:
        explicit RingInput(FrameDecoder& owner) : owner_(owner) {}
        int Read(size_t n, const uint8_t** data, size_t* size) override;
        void Consume(size_t n) override;
        // Ends a read still pending (a window looked at but not used).
        void Release();

      private:
        FrameDecoder& owner_;
        bool pending_ = false;
    };

    static void DecoderMain(void* self) { static_cast<FrameDecoder*>(self)->DecodeLoop(); }
    void DecodeLoop();
    int SetUpOutput(FrameStream& stream);
    void PostProgress(FrameStream& stream);
    EventRing& Output() { return *static_cast<EventRing*>(ownRing_.get()); }

    FileSource* source_ = nullptr;
    ChainElement* renderer_ = nullptr;
    void* window_;
    PostProgressFn post_;
    std::atomic<int> startPercent_{0};
    int blockBytes_ = 0;
    std::unique_ptr<AudioDecoder> decoder_;
    RingInput input_{*this};
    PlayerThread thread_;
};

} // namespace mp3

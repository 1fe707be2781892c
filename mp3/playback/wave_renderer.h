// The last stage of a playback chain: hands the PCM blocks of the output ring to
// the wave-out device, takes them back in order once played, and reports the
// end of the file. The renderer owns the chain: destroying it takes the whole
// chain down.
#pragma once

#include <memory>
#include <vector>

#include "chain_element.h"
#include "file_source.h"
#include "frame_decoder.h"
#include "wave_out_device.h"

namespace mp3 {

class WaveRenderer : public ChainElement {
  public:
    // Bounds of the device teardown: a device that never lets go must not hold
    // the player for ever.
    static constexpr int kCloseRetries = 50;      // 100 ms apart
    static constexpr int kResetWaitMs = 2000;     // for callbacks still in flight
    static constexpr int kErrDeviceFailed = 1004; // prepare or write refused

    WaveRenderer(ChainEvents* player, uint64_t generation, std::unique_ptr<WaveOutDevice> device,
                 void* window, PostProgressFn post);
    ~WaveRenderer() override;

    // Builds the chain for one file: names the source, prepares it, attaches the
    // decoder, starts the renderer's thread (which waits for the first resume).
    int Open(const char* name);
    void Pause() override;
    void Resume() override;
    // Handed to the decoder before the chain starts.
    void SetStartPosition(int percent) { decoder_->SetStartPosition(percent); }

  private:
    class HeaderLock;

    static void RendererMain(void* self) { static_cast<WaveRenderer*>(self)->RenderLoop(); }
    static void OnDone(void* self, int header);
    void RenderLoop();
    int OpenDevice(const StreamFormat& format);
    // Fetches the block after the held ones: 0, or a ring code.
    int FetchBlock(uint8_t** block);
    int WriteBlock(uint8_t* block);
    // Takes back played headers strictly in the order they were written. With
    // wantFree, also claims the first free header (-1 when there is none).
    int TakeBack(bool wantFree);
    // True once the device has played every written header; false when pause or
    // quit cut the wait short.
    bool WaitUntilPlayed();
    void CloseDevice();
    int32_t Mark(int header);
    void SetMark(int header, int32_t mark);

    std::unique_ptr<FileSource> source_;
    std::unique_ptr<FrameDecoder> decoder_;
    std::unique_ptr<WaveOutDevice> device_;
    std::unique_ptr<HeaderLock> headerLock_;
    EventRing* output_ = nullptr;
    PlayerThread thread_;

    // Header marks: 0 free, s > 0 the s-th block written since the device opened,
    // -s played and not yet taken back.
    std::vector<int32_t> marks_;
    std::atomic<int> headerCount_{0};
    size_t blockBytes_ = 0;
    size_t held_ = 0; // bytes fetched from the ring and not yet taken back
    int32_t nextSequence_ = 1;
    int32_t nextTakeBack_ = 1;
    std::atomic<bool> deviceOpen_{false};
    bool handleValid_ = false; // the device was opened and not yet closed
};

} // namespace mp3

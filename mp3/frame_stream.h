// The stream side of the frame decoder stage: finding the stream in the input,
// resynchronising after a bad frame, measuring, seeking by percent, progress, and
// the per-frame step that hands one frame at a time to the AudioDecoder.
#pragma once

#include <cstdint>
#include <optional>

#include "audio_decoder.h"
#include "frame_header.h"
#include "input_window.h"

namespace mp3 {

class FrameStream {
  public:
    static constexpr size_t kSearchWindow = 4323;
    static constexpr size_t kFrameWindow = 1441;
    static constexpr int kMaxTries = 32;

    explicit FrameStream(InputWindow& input) : input_(input) {}

    // Finds three consistent headers (Layer II or III) at the read position. 0 on
    // success, with the bytes before the first header consumed; kErrNoStream after
    // 32 tries; kErrEndOfStream, kErrClosing or ring codes as the input reports them.
    int FindStream();
    // Skips to the next sync pattern at position 2 or later of a fresh window.
    int Resynchronize();
    // Total frames from the "Xing" frame count or the playable size.
    void Measure(int64_t playableSize);
    // Starting at p percent: sets the frames decoded and returns the byte offset from
    // the start of the file at which the source must go on.
    int64_t SeekPercent(int percent);
    // DecodeInit with the first header and the frame length: 0 or kErrDecoderRefused.
    int SetUpDecoder(AudioDecoder& decoder);
    // Decodes the next frame into out (AudioDecoder::kMaxOutputBytes). 0 with
    // *produced bytes; kErrEndOfStream when the input has no further frame.
    int Step(AudioDecoder& decoder, int16_t* out, int* produced);
    // The percentage to post now, or -1 when it has not changed since the last one.
    int Progress();

    const FrameHeader& First() const { return first_; }
    int FrameLength() const { return frameLength_; }
    int Bitrate() const { return bitrate_; }
    const std::optional<VbrInfo>& Vbr() const { return vbr_; }
    int64_t TotalFrames() const { return totalFrames_; }
    int64_t FramesDecoded() const { return framesDecoded_; }
    int64_t PlayableSize() const { return playableSize_; }

  private:
    bool ScanHeaders(const uint8_t* p, size_t n, bool ended, size_t* firstOffset);

    InputWindow& input_;
    FrameHeader first_;
    int frameLength_ = -1;
    int bitrate_ = 0;
    int64_t playableSize_ = 0;
    std::optional<VbrInfo> vbr_;
    int64_t totalFrames_ = -1;
    int64_t framesDecoded_ = 0;
    int lastPercent_ = -1;
};

} // namespace mp3

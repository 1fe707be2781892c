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
    // Two whole frames of the longest kind and the third header (the player's input
    // ring hands out up to 8,192 contiguous bytes).
    static constexpr size_t kSearchWindow = 2 * kMaxFrameBytes + 4;
    static constexpr size_t kFrameWindow = kMaxFrameBytes;
    static constexpr int kMaxTries = 32;

    explicit FrameStream(InputWindow& input) : input_(input) {}

    // Finds three consistent headers (Layer II or III) at the read position. 0 on
    // success, with the bytes before the first header consumed; kErrNoStream after
    // 32 tries; kErrEndOfStream, kErrClosing or ring codes as the input reports them.
    // When one of those headers is a two-channel one the output is two-channel.
    int FindStream();
    // Skips to the next sync pattern after the read position.
    int Resynchronize();
    // The output layout: 1 or 2 channels. Two whenever the stream holds a
    // two-channel frame (mono frames are then written to both channels); a caller
    // that can look over the whole stream (StreamChannels) sets it before SetUpDecoder.
    void SetOutputChannels(int channels) { outputChannels_ = channels; }
    int OutputChannels() const { return outputChannels_; }
    // Total frames from the "Xing" frame count or the playable size.
    void Measure(int64_t playableSize);
    // Starting at p percent: sets the frames decoded and returns the byte offset from
    // the start of the file at which the source must go on.
    int64_t SeekPercent(int percent);
    // DecodeInit with the first header, the frame length and the output layout: 0 or
    // kErrDecoderRefused.
    int SetUpDecoder(AudioDecoder& decoder);
    // Decodes the next frame into out (AudioDecoder::kMaxOutputBytes). 0 with
    // *produced bytes; kErrEndOfStream when the input has no further frame. Junk
    // before a frame is skipped; the decoder keeps its filterbank state across it
    // and only its bit reservoir starts over.
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
    int outputChannels_ = 1;
};

// Walks the frames of the stream set up by `first` and frameLength from the input's
// read position to its end: 2 as soon as one is a two-channel frame, else 1. Bytes
// between frames are passed over.
int StreamChannels(InputWindow& input, const FrameHeader& first, int frameLength);

} // namespace mp3

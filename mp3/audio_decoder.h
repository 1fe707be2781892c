// The frame decoder: one MPEG audio Layer II or Layer III frame to 16-bit PCM.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame_header.h"
#include "layer3.h"
#include "synthesis.h"

namespace mp3 {

struct DecodeResult {
    int32_t consumed; // bytes of input used; 0: no decodable frame at the pointer
    int32_t produced; // bytes of PCM written
};

// Conversion codes of DecodeInit: channels as the first frame has them, or always
// two channels (a stream that mixes mono and two-channel frames).
enum : int { kConvertAsCoded = 0, kConvertStereo = 1 };

// What one frame needs while it is decoded and never after: kept apart from the
// decoder's state (DecodeFrame has it on its stack), so that a decoder per stream
// costs only its state. Cache-line aligned, like the state's arrays: a 32-bit Windows
// stack is only 4-byte aligned, and vectors read from arrays at odd offsets would
// straddle cache lines four times as often.
struct alignas(64) DecoderScratch {
    union {
        struct {
            int32_t quantized[576];
            float spectrum[2][576];
            float hybrid[2][1152]; // per channel, 18 slots of 32 subband samples per granule
        } layer3;
        struct {
            float layer2[2][36][32]; // 36 slots of 32 subband samples per channel
            int32_t layer2Codes[2][36][32];
        };
    };
    int16_t pcm[2][1152]; // one channel's samples before interleaving
};

class AudioDecoder {
  public:
    static constexpr int kMaxOutputBytes = 1152 * 2 * 2;
    static constexpr int kReservoirBytes = 8192;

    AudioDecoder();

    // Sets the decoder up for the stream whose first header is given. frameLength is
    // the length without padding (used for free format). The player passes reduction
    // 0, transform 0 and frequency limit 24000; conversion is kConvertAsCoded or
    // kConvertStereo. Returns 1 when the stream can be decoded, 0 when refused.
    int DecodeInit(const FrameHeader& first, int frameLength, int reduction = 0, int transform = 0,
                   int conversion = kConvertAsCoded, int frequencyLimit = 24000);

    // channels, output values per frame, sample rate, bits per sample (16),
    // frame length as given to DecodeInit, type (0).
    void DecodeInfo(int32_t info[6]) const;

    // Decodes the frame at frame[0..available) into out (little-endian interleaved
    // 16-bit, in the set-up channel layout). A frame that does not fit in the
    // available bytes, or does not belong to the stream, consumes nothing.
    DecodeResult DecodeFrame(const uint8_t* frame, size_t available, int16_t* out);

    // After a gap in the input: the bit reservoir starts over, the filterbank keeps
    // its state.
    void ResetReservoir() { reservoirSize_ = 0; }

  private:
    DecodeResult DecodeLayer2(const FrameHeader& h, const uint8_t* frame, int length, int16_t* out,
                              DecoderScratch& scratch);
    DecodeResult DecodeLayer3(const FrameHeader& h, const uint8_t* frame, int length, int16_t* out,
                              DecoderScratch& scratch);
    void DecodeGranule(const FrameHeader& h, const layer3::SideInfo& si, int gr, BitReader& br,
                       DecoderScratch& scratch);
    void SilentGranule(int frameChannels, int gr, DecoderScratch& scratch);
    // Synthesises `slots` slots of 32 subband samples per frame channel from
    // subbands[ch] (slot-major) into out, in the set-up layout.
    void Synthesize(int frameChannels, float* const subbands[2], int slots, int16_t* out,
                    DecoderScratch& scratch);

    // Set-up
    FrameHeader first_;
    int layer_ = 0;
    bool mpeg1_ = false;
    bool mpeg25_ = false;
    int channels_ = 0;
    int sampleRate_ = 0;
    int samplesPerFrame_ = 0;
    int frameLength_ = 0;
    int sbLimit_ = 32;
    layer3::Bands bands_{};

    // Layer III state carried from frame to frame
    uint8_t reservoir_[kReservoirBytes + kBitReaderSlack] = {};
    int reservoirSize_ = 0;
    layer3::ScaleFactors scaleFactors_[2];
    alignas(64) float overlap_[2][576] = {};
    SynthesisFilter synthesis_[2];
};

} // namespace mp3

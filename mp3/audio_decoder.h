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

class AudioDecoder {
  public:
    static constexpr int kMaxOutputBytes = 1152 * 2 * 2;
    static constexpr int kReservoirBytes = 8192;

    AudioDecoder();

    // Sets the decoder up for the stream whose first header is given. frameLength is
    // the length without padding (used for free format). The player passes reduction
    // 0, transform 0, conversion 0 and frequency limit 24000; nothing else is
    // supported. Returns 1 when the stream can be decoded, 0 when refused.
    int DecodeInit(const FrameHeader& first, int frameLength, int reduction = 0, int transform = 0,
                   int conversion = 0, int frequencyLimit = 24000);

    // channels, output values per frame, sample rate, bits per sample (16),
    // frame length as given to DecodeInit, type (0).
    void DecodeInfo(int32_t info[6]) const;

    // Decodes the frame at frame[0..available) into out (little-endian interleaved
    // 16-bit, in the set-up channel layout). A frame that does not fit in the
    // available bytes, or does not belong to the stream, consumes nothing.
    DecodeResult DecodeFrame(const uint8_t* frame, size_t available, int16_t* out);

  private:
    DecodeResult DecodeLayer2(const FrameHeader& h, const uint8_t* frame, int length, int16_t* out);
    DecodeResult DecodeLayer3(const FrameHeader& h, const uint8_t* frame, int length, int16_t* out);
    void DecodeGranule(const FrameHeader& h, const layer3::SideInfo& si, int gr, BitReader& br);
    void Output(int frameChannels, int samples, int16_t* out) const;

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

    // Layer III state
    uint8_t reservoir_[kReservoirBytes + 8] = {};
    int reservoirSize_ = 0;
    layer3::ScaleFactors scaleFactors_[2];
    float overlap_[2][576] = {};
    SynthesisFilter synthesis_[2];

    // Work areas
    int32_t quantized_[576] = {};
    float spectrum_[2][576] = {};
    int spectrumLines_[2] = {};
    float hybrid_[576] = {};
    float pcm_[2][1152] = {};
    float subbands_[2][36][32] = {};
};

// Float sample to 16 bits: rounded to nearest, clamped to -32768..32767.
int16_t ToPcm16(float v);

} // namespace mp3

// MPEG audio frame headers, frame lengths and the "Xing" VBR header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mp3 {

struct FrameHeader {
    int syncKind = 0;   // 1: 12-bit sync (MPEG-1/2), 2: 11-bit sync (MPEG-2.5), 0: none
    int versionBit = 0; // 1 = MPEG-1
    int layerCode = 0;  // 1 = Layer III, 2 = Layer II, 3 = Layer I
    int protectionBit = 1;
    int bitrateIndex = 0;
    int sampleRateIndex = 0;
    int padding = 0;
    int privateBit = 0;
    int mode = 0; // 3 = single channel
    int modeExtension = 0;
    int copyright = 0;
    int original = 0;
    int emphasis = 0;
};

enum { kModeStereo = 0, kModeJointStereo = 1, kModeDualChannel = 2, kModeSingleChannel = 3 };

// The longest legal frame: free-format Layer III at 640 kbit/s and 32 kHz, padded.
constexpr int kMaxFrameBytes = 2881;

// Splits the four bytes at p. False when they are not a frame header: no sync,
// the reserved version, layer code 0, bitrate index 15 or sample-rate index 3.
bool ReadFrameHeader(const uint8_t* p, size_t available, FrameHeader* header);

// Whether header h belongs to the stream whose first header is `first`: what fixes a
// stream (layer, version, sample rate, free format or not) agrees. The channel mode
// may change from frame to frame.
bool BelongsToStream(const FrameHeader& first, const FrameHeader& h);

int Layer(const FrameHeader& h);    // 1, 2 or 3
int Channels(const FrameHeader& h); // 1 or 2
int SampleRateHz(const FrameHeader& h);
int BitrateKbps(const FrameHeader& h); // 0 for free format
int SamplesPerFrame(const FrameHeader& h);
int PaddingBytes(const FrameHeader& h); // what the padding bit adds (4 for Layer I)
// Frame length in bytes without padding from the bitrate index; 0 for free
// format, negative for the reserved sample rate.
int FrameLengthFromBitrate(const FrameHeader& h);
// Bitrate in bit/s of a frame of the given length (without padding).
int BitrateFromLength(const FrameHeader& h, int length);

// Free format: the distance at which the first two header bytes repeat through the
// window (at least once), between 24 and kMaxFrameBytes, without padding. -1: none.
int FindFreeFormatLength(const uint8_t* p, size_t available);

// Frame length without padding: from the bitrate, or searched for free format in
// at most 10,000 bytes. -1 when there is none.
int FrameLength(const FrameHeader& h, const uint8_t* p, size_t available);

enum { kXingFrames = 1, kXingBytes = 2, kXingToc = 4, kXingQuality = 8 };

struct VbrInfo {
    int versionBit = 0;
    int sampleRate = 0;
    uint32_t flags = 0;
    uint32_t frames = 0;
    uint32_t bytes = 0;
    uint8_t toc[100] = {};
    int quality = -1;
};

// Reads a "Xing" header in the frame at p (whose header is h). False when absent.
bool ReadVbrInfo(const uint8_t* p, size_t available, const FrameHeader& h, VbrInfo* info);

} // namespace mp3

// Layer II: bit allocation, scale factors and grouped samples to subband samples.
#pragma once

#include <cstdint>

#include "bit_reader.h"
#include "frame_header.h"

namespace mp3::layer2 {

// The allocation table (index into data::kLayer2Tables) that the standard assigns
// to this header, or -1 for a combination it forbids. MPEG-2 and 2.5 use the
// low-sampling-frequency table at every bitrate.
int SelectTable(const FrameHeader& h);

// Reads one frame's audio data (br positioned after the header and CRC) and writes
// 36 slots of 32 subband samples per channel, full scale +-32768, subbands at and
// above min(table limit, sbLimit) zero. codes is room for the sample codes.
void DecodeSamples(BitReader& br, const FrameHeader& h, int table, int sbLimit,
                   float samples[2][36][32], int32_t codes[2][36][32]);

} // namespace mp3::layer2

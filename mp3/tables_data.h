// The constant tables of MPEG audio Layers II and III, as published (see
// tables_data.cpp, generated from the table files by scripts/gen-mp3-tables.py).
#pragma once

#include <cstdint>

namespace mp3::data {

// One Huffman code word. Big-value tables: value = x * 16 + y. Quadruple tables:
// value = v * 8 + w * 4 + x * 2 + y. code holds len bits, first bit most significant.
struct HuffCode {
    uint8_t value;
    uint8_t len;
    uint32_t code;
};

struct HuffTable {
    int xmax; // values run 0..xmax-1 (0 for the tables without code words)
    int linbits;
    const HuffCode* codes;
    int count;
};

extern const HuffTable kBigValueTables[32];
extern const HuffTable kCount1Tables[2];

// Rows: 44100 48000 32000 22050 24000 16000 11025 12000 8000 Hz.
extern const int16_t kSfbLong[9][23];
extern const int16_t kSfbShort[9][14];

extern const uint8_t kPretab[22];
extern const uint8_t kSlen[16][2];
extern const uint8_t kPartitionBands[6][3][4];
extern const double kAliasCoefficients[8];
extern const int16_t kBitrates[2][3][16]; // [mpeg1, mpeg2/2.5][layer 1..3 - 1][index]
extern const int32_t kSampleRates[3][3];  // [mpeg1, mpeg2, mpeg2.5][index]
extern const uint8_t kScfsiBands[5];
extern const uint8_t kJointStereoBound[4];
extern const int32_t kSynthesisWindow65536[512]; // D[i] * 65536, exact

struct Layer2Class {
    int steps;
    bool grouped;
    int bits;
    double c;
    double d;
};
struct Layer2Subband {
    uint8_t nbal;
    uint8_t classIndex[16]; // by allocation value; [0] unused
};
struct Layer2Table {
    const char* name;
    int sblimit;
    Layer2Subband subbands[32];
};
struct Layer2Select {
    int table;
    int version; // 1 = MPEG-1, 2 = MPEG-2
    int rate;
    int kbpsPerChannel; // 0 free format, -1 any
};

extern const Layer2Class kLayer2Classes[17];
extern const Layer2Table kLayer2Tables[5];
extern const Layer2Select kLayer2Selects[];
extern const int kLayer2SelectCount;

} // namespace mp3::data

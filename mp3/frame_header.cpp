#include "frame_header.h"

#include "tables_data.h"

namespace mp3 {

namespace {

// Sample rates in units of 50 Hz for frame lengths, by version bit; the reserved
// index gives a negative length so that such a header is never a frame.
const int kRate50[2][4] = {{441, 480, 320, -999}, {882, 960, 640, -999}};

int VersionRow(const FrameHeader& h) {
    return h.versionBit ? 0 : 1;
}

} // namespace

bool ReadFrameHeader(const uint8_t* p, size_t available, FrameHeader* h) {
    if (available < 4 || p[0] != 0xFF) return false;
    FrameHeader r;
    int nibble = p[1] >> 4;
    if (nibble == 0xF) {
        r.syncKind = 1;
    } else if (nibble == 0xE && !(p[1] & 0x08)) {
        r.syncKind = 2;
    } else {
        return false;
    }
    r.versionBit = (p[1] >> 3) & 1;
    r.layerCode = (p[1] >> 1) & 3;
    r.protectionBit = p[1] & 1;
    r.bitrateIndex = p[2] >> 4;
    r.sampleRateIndex = (p[2] >> 2) & 3;
    r.padding = (p[2] >> 1) & 1;
    r.privateBit = p[2] & 1;
    r.mode = p[3] >> 6;
    r.modeExtension = (p[3] >> 4) & 3;
    r.copyright = (p[3] >> 3) & 1;
    r.original = (p[3] >> 2) & 1;
    r.emphasis = p[3] & 3;
    if (r.layerCode == 0 || r.bitrateIndex == 15 || r.sampleRateIndex == 3) return false;
    *h = r;
    return true;
}

bool BelongsToStream(const FrameHeader& first, const FrameHeader& h) {
    return h.layerCode == first.layerCode && h.versionBit == first.versionBit &&
           h.syncKind == first.syncKind && h.sampleRateIndex == first.sampleRateIndex &&
           (h.bitrateIndex == 0) == (first.bitrateIndex == 0);
}

int Layer(const FrameHeader& h) {
    return 4 - h.layerCode;
}

int Channels(const FrameHeader& h) {
    return h.mode == kModeSingleChannel ? 1 : 2;
}

int SampleRateHz(const FrameHeader& h) {
    if (h.sampleRateIndex > 2) return 0;
    int row = h.versionBit ? 0 : (h.syncKind == 2 ? 2 : 1);
    return data::kSampleRates[row][h.sampleRateIndex];
}

int BitrateKbps(const FrameHeader& h) {
    if (h.layerCode == 0 || h.bitrateIndex > 14) return 0;
    return data::kBitrates[VersionRow(h)][Layer(h) - 1][h.bitrateIndex];
}

int SamplesPerFrame(const FrameHeader& h) {
    switch (Layer(h)) {
    case 1:
        return 384;
    case 2:
        return 1152;
    default:
        return h.versionBit ? 1152 : 576;
    }
}

int PaddingBytes(const FrameHeader& h) {
    return h.padding ? (Layer(h) == 1 ? 4 : 1) : 0;
}

int FrameLengthFromBitrate(const FrameHeader& h) {
    int s50 = kRate50[h.versionBit][h.sampleRateIndex & 3];
    int kbps = BitrateKbps(h);
    switch (Layer(h)) {
    case 1:
        return 4 * (240 * kbps / s50);
    case 2:
        return 2880 * kbps / s50;
    default:
        // MPEG-2.5 frames hold 576 samples at half the MPEG-2 rate.
        return (h.versionBit || h.syncKind == 2 ? 2880 : 1440) * kbps / s50;
    }
}

int BitrateFromLength(const FrameHeader& h, int length) {
    int s50 = kRate50[h.versionBit][h.sampleRateIndex & 3];
    int64_t num = int64_t(length) * s50 * 1000;
    switch (Layer(h)) {
    case 1:
        return int(num / 960);
    case 2:
        return int(num / 2880);
    default:
        return int(num / (h.versionBit || h.syncKind == 2 ? 2880 : 1440));
    }
}

int FindFreeFormatLength(const uint8_t* p, size_t n) {
    if (n < 4) return -1;
    const int unit = ((p[1] >> 1) & 3) == 3 ? 4 : 1;
    const int firstPad = ((p[2] >> 1) & 1) * unit;
    for (size_t c = 24; c <= size_t(kMaxFrameBytes) && c + 1 < n; ++c) {
        size_t d = c;
        while (d + 1 < n && !(p[d] == p[0] && p[d + 1] == p[1]))
            ++d;
        if (d + 1 >= n) return -1;
        int length = int(d) - firstPad;
        if (length >= 24) {
            size_t pos = 0;
            int steps = 0;
            bool ok = true;
            for (;;) {
                size_t pad = pos + 2 < n ? ((p[pos + 2] >> 1) & 1) * unit : 0;
                size_t next = pos + size_t(length) + pad;
                if (next + 1 >= n) break;
                if (p[next] != p[0] || p[next + 1] != p[1]) {
                    ok = false;
                    break;
                }
                pos = next;
                ++steps;
            }
            if (ok && steps > 0) return length;
        }
        c = d; // the loop's ++c goes on from d + 1
    }
    return -1;
}

int FrameLength(const FrameHeader& h, const uint8_t* p, size_t available) {
    if (h.bitrateIndex == 0) {
        return FindFreeFormatLength(p, available < 10000 ? available : 10000);
    }
    int length = FrameLengthFromBitrate(h);
    return length > 0 ? length : -1;
}

namespace {

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace

bool ReadVbrInfo(const uint8_t* p, size_t available, const FrameHeader& h, VbrInfo* info) {
    static const int kXingRates[4] = {44100, 48000, 32000, 99999};
    size_t offset;
    if (h.versionBit) {
        offset = h.mode != kModeSingleChannel ? 36 : 21;
    } else {
        offset = h.mode != kModeSingleChannel ? 21 : 13;
    }
    auto tagAt = [&](size_t at) {
        return at + 8 <= available && p[at] == 'X' && p[at + 1] == 'i' && p[at + 2] == 'n' &&
               p[at + 3] == 'g';
    };
    // Some encoders put the tag after the CRC word when the frame carries one.
    if (!tagAt(offset)) {
        if (h.protectionBit || !tagAt(offset + 2)) return false;
        offset += 2;
    }
    VbrInfo r;
    r.versionBit = h.versionBit;
    r.sampleRate = kXingRates[h.sampleRateIndex & 3];
    if (!h.versionBit) r.sampleRate >>= 1;
    size_t at = offset + 4;
    r.flags = BigEndian32(p + at);
    at += 4;
    if (r.flags & kXingFrames) {
        if (at + 4 > available) return false;
        r.frames = BigEndian32(p + at);
        at += 4;
    }
    if (r.flags & kXingBytes) {
        if (at + 4 > available) return false;
        r.bytes = BigEndian32(p + at);
        at += 4;
    }
    if (r.flags & kXingToc) {
        if (at + 100 > available) return false;
        for (int i = 0; i < 100; ++i)
            r.toc[i] = p[at + i];
        at += 100;
    }
    if (r.flags & kXingQuality) {
        if (at + 4 > available) return false;
        r.quality = int(BigEndian32(p + at));
    }
    *info = r;
    return true;
}

} // namespace mp3

#include "audio_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "huffman.h"
#include "layer2.h"

namespace mp3 {

using namespace layer3;

namespace {

int RateRow(const FrameHeader& h) {
    const int version = h.versionBit ? 0 : (h.syncKind == 2 ? 2 : 1);
    return version * 3 + h.sampleRateIndex;
}

} // namespace

AudioDecoder::AudioDecoder() {
    HuffmanDecoder::Get();
}

int AudioDecoder::DecodeInit(const FrameHeader& first, int frameLength, int reduction,
                             int transform, int conversion, int frequencyLimit) {
    layer_ = 0;
    if (reduction != 0 || transform != 0) return 0;
    if (conversion != kConvertAsCoded && conversion != kConvertStereo) return 0;
    if (first.syncKind == 0 || first.sampleRateIndex > 2) return 0;
    const int layer = Layer(first);
    if (layer != 2 && layer != 3) return 0;
    if (layer == 2 && layer2::SelectTable(first) < 0) return 0;
    first_ = first;
    mpeg1_ = first.versionBit == 1;
    mpeg25_ = first.syncKind == 2;
    sampleRate_ = SampleRateHz(first);
    channels_ = conversion == kConvertStereo ? 2 : Channels(first);
    samplesPerFrame_ = SamplesPerFrame(first);
    frameLength_ = frameLength;
    // All 32 subbands can be synthesised; the limit only cuts bands above
    // frequencyLimit.
    const int limit = std::max(frequencyLimit, 1000);
    sbLimit_ = std::min(32, int((int64_t(limit) * 64 + sampleRate_ / 2) / sampleRate_));
    bands_ = BandsFor(RateRow(first));
    reservoirSize_ = 0;
    std::memset(reservoir_, 0, sizeof reservoir_);
    for (auto& sf : scaleFactors_)
        sf = ScaleFactors();
    std::memset(overlap_, 0, sizeof overlap_);
    for (auto& s : synthesis_)
        s.Reset();
    layer_ = layer;
    return 1;
}

void AudioDecoder::DecodeInfo(int32_t info[6]) const {
    info[0] = channels_;
    info[1] = samplesPerFrame_ * channels_;
    info[2] = sampleRate_;
    info[3] = 16;
    info[4] = frameLength_;
    info[5] = 0;
}

DecodeResult AudioDecoder::DecodeFrame(const uint8_t* frame, size_t available, int16_t* out) {
    FrameHeader h;
    if (layer_ == 0 || !ReadFrameHeader(frame, available, &h) || !BelongsToStream(first_, h))
        return {0, 0};
    if (layer_ == 2 && h.syncKind != 1) return {0, 0};
    int length = h.bitrateIndex == 0 ? frameLength_ : FrameLengthFromBitrate(h);
    if (length <= 0) return {0, 0};
    length += PaddingBytes(h);
    if (size_t(length) > available) return {0, 0};
    DecoderScratch scratch;
    return layer_ == 2 ? DecodeLayer2(h, frame, length, out, scratch)
                       : DecodeLayer3(h, frame, length, out, scratch);
}

DecodeResult AudioDecoder::DecodeLayer2(const FrameHeader& h, const uint8_t* frame, int length,
                                        int16_t* out, DecoderScratch& scratch) {
    const int table = layer2::SelectTable(h);
    if (table < 0) return {0, 0};
    // The bit reader may peek a few bytes beyond the frame: read from a padded copy.
    uint8_t copy[kMaxFrameBytes + kBitReaderSlack];
    if (size_t(length) > sizeof copy - kBitReaderSlack) return {0, 0};
    std::memcpy(copy, frame, size_t(length));
    std::memset(copy + length, 0, kBitReaderSlack);
    BitReader br(copy, size_t(length));
    br.Skip(32);
    if (h.protectionBit == 0) br.Skip(16);
    layer2::DecodeSamples(br, h, table, sbLimit_, scratch.layer2, scratch.layer2Codes);
    float* const subbands[2] = {scratch.layer2[0][0], scratch.layer2[1][0]};
    Synthesize(Channels(h), subbands, 36, out, scratch);
    return {length, 1152 * channels_ * 2};
}

DecodeResult AudioDecoder::DecodeLayer3(const FrameHeader& h, const uint8_t* frame, int length,
                                        int16_t* out, DecoderScratch& scratch) {
    const int frameChannels = Channels(h);
    const int sideBytes = SideInfoBytes(mpeg1_, frameChannels);
    const int crcBytes = h.protectionBit ? 0 : 2;
    const int mainBytes = length - 4 - crcBytes - sideBytes;
    if (mainBytes < 0 || mainBytes > kReservoirBytes) return {0, 0};

    uint8_t side[32 + kBitReaderSlack] = {};
    std::memcpy(side, frame + 4 + crcBytes, size_t(sideBytes));
    BitReader sideReader(side, size_t(sideBytes));
    SideInfo si;
    ReadSideInfo(sideReader, mpeg1_, frameChannels, &si);

    // Bit reservoir: keep what main_data_begin can still reach, then append.
    if (reservoirSize_ >= 6693 || reservoirSize_ + mainBytes > kReservoirBytes) {
        const int keep = std::min(si.mainDataBegin, reservoirSize_);
        std::memmove(reservoir_, reservoir_ + reservoirSize_ - keep, size_t(keep));
        reservoirSize_ = keep;
        if (reservoirSize_ + mainBytes > kReservoirBytes) return {0, 0};
    }
    const int buffered = reservoirSize_;
    std::memcpy(reservoir_ + reservoirSize_, frame + length - mainBytes, size_t(mainBytes));
    reservoirSize_ += mainBytes;
    std::memset(reservoir_ + reservoirSize_, 0, kBitReaderSlack);

    const int produced = samplesPerFrame_ * channels_ * 2;
    // A frame whose data reaches before what we hold (the first frames after a
    // start, a seek or a gap) is silent, as is one whose side information cannot be
    // right (a damaged frame whose header survived: it would decode as loud noise).
    // Silence goes through the filterbank, which rings out what came before (nothing
    // at a start) and stays in step for the frames that follow.
    const bool reachable = si.mainDataBegin <= buffered;
    const bool plausible = reachable && SideInfoPlausible(si, mpeg1_, frameChannels,
                                                          8 * (si.mainDataBegin + mainBytes));
    const int start = reachable ? buffered - si.mainDataBegin : buffered;
    BitReader br(reservoir_ + start, size_t(reservoirSize_ - start));
    const int granules = mpeg1_ ? 2 : 1;
    for (int gr = 0; gr < granules; ++gr) {
        if (plausible) {
            DecodeGranule(h, si, gr, br, scratch);
        } else {
            SilentGranule(frameChannels, gr, scratch);
        }
    }
    float* const subbands[2] = {scratch.layer3.hybrid[0], scratch.layer3.hybrid[1]};
    Synthesize(frameChannels, subbands, 18 * granules, out, scratch);
    return {length, produced};
}

void AudioDecoder::DecodeGranule(const FrameHeader& h, const SideInfo& si, int gr, BitReader& br,
                                 DecoderScratch& scratch) {
    auto& work = scratch.layer3;
    const int frameChannels = Channels(h);
    const bool intensity =
        frameChannels == 2 && h.mode == kModeJointStereo && (h.modeExtension & 1);
    const bool midSide = frameChannels == 2 && h.mode == kModeJointStereo && (h.modeExtension & 2);
    int spectrumLines[2] = {};
    for (int ch = 0; ch < frameChannels; ++ch) {
        const GranuleChannel& gc = si.gr[gr][ch];
        const size_t partStart = br.Position();
        const size_t partEnd = partStart + size_t(gc.part23Length);
        ScaleFactors& sf = scaleFactors_[ch];
        if (mpeg1_) {
            ReadScaleFactorsMpeg1(br, gc, si.scfsi[ch], gr, bands_, &sf);
        } else {
            ReadScaleFactorsMpeg2(br, gc, intensity && ch == 1, bands_, &sf);
        }
        int lines = DecodeHuffman(br, partEnd, gc, bands_, mpeg25_, work.quantized);
        // Ran past the data we hold: this channel of the granule is silent.
        if (br.Overrun()) lines = 0;
        // Lines above the subband limit are not synthesised.
        const bool isShort = gc.windowSwitching && gc.blockType == 2;
        const int lineLimit = isShort ? 3 * std::min(192, sbLimit_ * 6) : sbLimit_ * 18;
        lines = std::min(lines, lineLimit);
        Requantize(work.quantized, lines, gc, sf, bands_, work.spectrum[ch]);
        spectrumLines[ch] = lines;
        br.SetPosition(partEnd);
    }
    if (frameChannels == 2) {
        const int lines = std::max(spectrumLines[0], spectrumLines[1]);
        if (intensity) {
            const StereoFrame f{mpeg1_, midSide, &si.gr[gr][1], &scaleFactors_[1], &bands_};
            ApplyIntensityStereo(f, work.spectrum[0], work.spectrum[1], lines);
        } else if (midSide) {
            ApplyMidSide(work.spectrum[0], work.spectrum[1], 0, lines);
        }
        spectrumLines[0] = spectrumLines[1] = intensity ? 576 : lines;
    }
    for (int ch = 0; ch < frameChannels; ++ch) {
        const GranuleChannel& gc = si.gr[gr][ch];
        float* xr = work.spectrum[ch];
        const bool isShort = gc.windowSwitching && gc.blockType == 2;
        ReorderShort(gc, bands_, xr);
        const int sbNonZero = std::min(32, (spectrumLines[ch] + 17) / 18);
        ReduceAliasing(gc, xr, std::min(32, sbNonZero + 1));
        // Aliasing spreads into the next subband; short blocks spread everywhere.
        const int sbUsed = isShort ? 32 : std::min(32, sbNonZero + 1);
        InverseMdct(gc, xr, sbUsed, overlap_[ch], work.hybrid[ch] + 576 * gr);
        InvertFrequencies(work.hybrid[ch] + 576 * gr);
    }
}

void AudioDecoder::SilentGranule(int frameChannels, int gr, DecoderScratch& scratch) {
    const GranuleChannel plain;
    for (int ch = 0; ch < frameChannels; ++ch) {
        float* hybrid = scratch.layer3.hybrid[ch] + 576 * gr;
        InverseMdct(plain, scratch.layer3.spectrum[ch], 0, overlap_[ch], hybrid);
        InvertFrequencies(hybrid);
    }
}

void AudioDecoder::Synthesize(int frameChannels, float* const subbands[2], int slots, int16_t* out,
                              DecoderScratch& scratch) {
    const int samples = 32 * slots;
    if (channels_ == 1) {
        if (frameChannels == 2) {
            // A two-channel frame in a mono layout (the caller fixed the layout without
            // seeing this frame): the average of both sides. The filterbank is linear,
            // so averaging the subband samples averages the sound.
            for (int i = 0; i < samples; ++i)
                subbands[0][i] = (subbands[0][i] + subbands[1][i]) * 0.5f;
        }
        synthesis_[0].Synthesize(subbands[0], slots, out);
        return;
    }
    synthesis_[0].Synthesize(subbands[0], slots, scratch.pcm[0]);
    // A mono frame in a two-channel layout: the same sound on both sides.
    const int16_t* right = scratch.pcm[0];
    if (frameChannels == 2) {
        synthesis_[1].Synthesize(subbands[1], slots, scratch.pcm[1]);
        right = scratch.pcm[1];
    }
    ActiveKernels().interleave(scratch.pcm[0], right, samples, out);
}

} // namespace mp3

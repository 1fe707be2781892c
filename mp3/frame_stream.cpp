#include "frame_stream.h"

#include <algorithm>

namespace mp3 {

namespace {

bool IsSync(const uint8_t* p) {
    return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0;
}

} // namespace

bool FrameStream::ScanHeaders(const uint8_t* p, size_t n, bool ended, size_t* firstOffset) {
    size_t offset = 0;
    int found = 0;
    FrameHeader prev;
    FrameHeader h;
    // A file that ends before a full search window: the complete frames found so far
    // are the stream (a one-word answer is only a frame or two), if they would also
    // pass as the second and third headers.
    bool shortStreamOk = true;
    bool twoChannels = false;
    for (; found < 3; ++found) {
        while (offset + 1 < n && !IsSync(p + offset))
            ++offset;
        const bool outOfData = offset + 4 > n;
        if (outOfData) {
            if (!(ended && found > 0 && shortStreamOk)) return false;
            break;
        }
        if (!ReadFrameHeader(p + offset, n - offset, &h)) return false;
        // A free-format stream keeps the length found at its first header (the
        // window need not hold two more of the longest frames behind the third).
        const bool sameFree = found > 0 && h.bitrateIndex == 0 && prev.bitrateIndex == 0;
        const int length = sameFree ? frameLength_ : mp3::FrameLength(h, p + offset, n - offset);
        if (length < 0) return false;
        if (found == 0 && h.layerCode != 1 && h.layerCode != 2) return false;
        const bool fits = length + PaddingBytes(h) <= kMaxFrameBytes;
        if (found > 0 && (!fits || !BelongsToStream(prev, h))) return false;
        const size_t next = offset + size_t(length) + size_t(PaddingBytes(h));
        if (ended && next > n) {
            if (!(found > 0 && shortStreamOk)) return false;
            break;
        }
        shortStreamOk = shortStreamOk && fits;
        twoChannels = twoChannels || Channels(h) == 2;
        if (found == 0) {
            *firstOffset = offset;
            first_ = h;
        }
        frameLength_ = length;
        prev = h;
        offset = next;
    }
    outputChannels_ = twoChannels ? 2 : 1;
    return true;
}

int FrameStream::FindStream() {
    for (int tries = 0; tries < kMaxTries; ++tries) {
        const uint8_t* p;
        size_t n;
        int rc = input_.Read(kSearchWindow, &p, &n);
        const bool ended = rc == kErrEndOfStream;
        if (rc != kOk && !(ended && n > 0)) return rc;
        size_t firstOffset = 0;
        if (ScanHeaders(p, n, ended, &firstOffset)) {
            // The "Xing" header sits in the first frame, replacing any held before.
            vbr_.reset();
            VbrInfo info;
            if (ReadVbrInfo(p + firstOffset, n - firstOffset, first_, &info)) vbr_ = info;
            bitrate_ = first_.bitrateIndex == 0 ? BitrateFromLength(first_, frameLength_)
                                                : BitrateKbps(first_) * 1000;
            // Decoding starts at the first frame rather than at bytes before it.
            input_.Consume(firstOffset);
            return kOk;
        }
        rc = Resynchronize();
        if (rc != kOk) return rc;
    }
    return kErrNoStream;
}

int FrameStream::Resynchronize() {
    for (;;) {
        const uint8_t* p;
        size_t n;
        int rc = input_.Read(kFrameWindow, &p, &n);
        const bool ended = rc == kErrEndOfStream;
        if (rc != kOk && !(ended && n > 0)) return rc;
        // Position 0 is where decoding failed; a sync right after it (one byte of
        // junk) is as good as any other.
        size_t pos = 1;
        while (pos + 1 < n && !IsSync(p + pos))
            ++pos;
        if (pos + 1 < n) {
            input_.Consume(pos);
            return kOk;
        }
        input_.Consume(n);
        if (ended) return kErrEndOfStream;
    }
}

void FrameStream::Measure(int64_t playableSize) {
    playableSize_ = playableSize;
    if (vbr_ && (vbr_->flags & kXingFrames) && vbr_->frames > 0) {
        totalFrames_ = vbr_->frames;
    } else if (playableSize > 0 && frameLength_ > 0) {
        totalFrames_ = playableSize / frameLength_;
    } else {
        totalFrames_ = -1;
    }
}

int64_t FrameStream::SeekPercent(int percent) {
    const int64_t p = std::clamp(percent, 0, 100);
    const bool haveFrames = vbr_ && (vbr_->flags & kXingFrames) && vbr_->frames > 0;
    const bool haveToc = vbr_ && (vbr_->flags & kXingToc);
    int64_t offset;
    if (haveFrames && haveToc) {
        framesDecoded_ = p * vbr_->frames / 100;
        offset = p < 100 ? int64_t(vbr_->toc[p] * double(playableSize_) / 256.0) : playableSize_;
    } else if (frameLength_ > 0) {
        const int64_t byFrames = p * playableSize_ / frameLength_ / 100;
        framesDecoded_ = haveFrames ? p * vbr_->frames / 100 : byFrames;
        offset = int64_t(frameLength_) * byFrames;
    } else {
        framesDecoded_ = 0;
        offset = 0;
    }
    return offset;
}

int FrameStream::SetUpDecoder(AudioDecoder& decoder) {
    const int conversion = outputChannels_ == 2 ? kConvertStereo : kConvertAsCoded;
    return decoder.DecodeInit(first_, frameLength_, 0, 0, conversion, 24000) ? kOk
                                                                             : kErrDecoderRefused;
}

int FrameStream::Step(AudioDecoder& decoder, int16_t* out, int* produced) {
    for (;;) {
        const uint8_t* p;
        size_t n;
        int rc = input_.Read(kFrameWindow, &p, &n);
        // Once the input has ended, the frames in the last, shorter window still count.
        if (rc != kOk && !(rc == kErrEndOfStream && n > 0)) return rc;
        const DecodeResult r = decoder.DecodeFrame(p, n, out);
        if (r.consumed == 0) {
            rc = Resynchronize();
            if (rc != kOk) return rc;
            // What the reservoir holds may not be this frame's past any more; the
            // filterbank goes on, so the sound does not break.
            decoder.ResetReservoir();
            continue;
        }
        input_.Consume(size_t(r.consumed));
        ++framesDecoded_;
        *produced = r.produced;
        return kOk;
    }
}

int StreamChannels(InputWindow& input, const FrameHeader& first, int frameLength) {
    for (;;) {
        const uint8_t* p;
        size_t n;
        const int rc = input.Read(FrameStream::kFrameWindow, &p, &n);
        if (rc != kOk && !(rc == kErrEndOfStream && n >= 4)) return 1;
        FrameHeader h;
        if (!ReadFrameHeader(p, n, &h) || !BelongsToStream(first, h)) {
            input.Consume(1);
            continue;
        }
        if (Channels(h) == 2) return 2;
        const int length = h.bitrateIndex == 0 ? frameLength : FrameLengthFromBitrate(h);
        input.Consume(size_t(std::max(length, 1) + PaddingBytes(h)));
    }
}

int FrameStream::Progress() {
    int percent = 0;
    if (totalFrames_ > 0) {
        const double v = double(framesDecoded_) * 100.0 / double(totalFrames_);
        percent = int(std::clamp(v, 0.0, 99.0));
    }
    if (percent == lastPercent_) return -1;
    lastPercent_ = percent;
    return percent;
}

} // namespace mp3

#include "frame_decoder.h"

namespace mp3 {

FrameDecoder::FrameDecoder(ChainEvents* player, uint64_t generation, void* window,
                           PostProgressFn post)
    : ChainElement(player, generation), window_(window), post_(post) {}

FrameDecoder::~FrameDecoder() {
    Stop();
    thread_.Join();
}

int FrameDecoder::Attach(StreamRing* input, EventRing** output) {
    SetPeerRing(input);
    if (!ownRing_) ownRing_ = std::make_unique<EventRing>(kFirstOutputRingSize, 0);
    *output = &Output();
    if (!thread_.Started() && !thread_.Create(DecoderMain, this)) {
        ReportFailure();
        return kErrNoThread;
    }
    return kOk;
}

int FrameDecoder::RingInput::Read(size_t n, const uint8_t** data, size_t* size) {
    StreamRing& ring = *owner_.peerRing_;
    for (;;) {
        const uint8_t* p;
        int rc = ring.BeginRead(&p, n);
        if (rc == kRingOk) {
            pending_ = true;
            *data = p;
            *size = n;
            return kOk;
        }
        if (rc == kRingEnded) {
            // The last bytes of the stream still hold whole frames: hand them out too.
            *data = nullptr;
            *size = 0;
            const size_t left = ring.Stored();
            if (left > 0 && ring.BeginRead(&p, left) == kRingOk) {
                pending_ = true;
                *data = p;
                *size = left;
            }
            return kErrEndOfStream;
        }
        if (rc != kRingShort) return rc;
        owner_.source_->Wake();
        if (owner_.WaitForWakeUp()) return kErrClosing;
    }
}

void FrameDecoder::RingInput::Consume(size_t n) {
    owner_.peerRing_->EndRead(n);
    pending_ = false;
}

void FrameDecoder::RingInput::Release() {
    if (pending_) Consume(0);
}

int FrameDecoder::SetUpOutput(FrameStream& stream) {
    if (!player_ || !source_ || !renderer_ || !peerRing_ || !ownRing_) return kErrNotLinked;
    decoder_ = std::make_unique<AudioDecoder>();
    int rc = stream.SetUpDecoder(*decoder_);
    if (rc != kOk) return rc;
    int32_t info[6];
    decoder_->DecodeInfo(info);
    auto format = std::make_unique<StreamFormat>();
    format->channels = info[0];
    format->sampleRate = info[2];
    format->bitsPerSample = info[3];
    format->samplesPerFrame = info[1] / info[0];
    format->blockBytes = info[1] * info[3] / 8;
    blockBytes_ = format->blockBytes;
    // A whole number of blocks: a block never wraps, and the wave headers point
    // straight into the ring.
    rc = Output().Resize(kOutputRingTarget - kOutputRingTarget % size_t(blockBytes_), 0);
    if (rc != kRingOk) return rc;
    return Output().QueueEvent(std::move(format));
}

void FrameDecoder::PostProgress(FrameStream& stream) {
    if (!window_ || !post_) return;
    const int percent = stream.Progress();
    if (percent >= 0) post_(window_, percent);
}

void FrameDecoder::DecodeLoop() {
    if (WaitForWakeUp()) return; // the renderer's first wake-up starts decoding
    source_->Wake();
    FrameStream stream(input_);
    int rc = stream.FindStream();
    if (rc == kOk) {
        stream.Measure(source_->PlayableSize());
        rc = SetUpOutput(stream);
    }
    const int start = startPercent_.exchange(0);
    if (rc == kOk && start > 0) {
        const int64_t offset = stream.SeekPercent(start);
        // The reader empties the ring for the seek: no read of ours may be pending.
        input_.Release();
        rc = source_->Seek(offset);
    }
    EventRing& output = Output();
    while (rc == kOk && !quit_) {
        PostProgress(stream);
        if (WaitWhilePaused()) break;
        uint8_t* block;
        rc = output.BeginWrite(&block, size_t(blockBytes_));
        if (rc == kRingNoSpace) {
            rc = WaitForWakeUp() ? kErrClosing : kOk;
            continue;
        }
        if (rc != kRingOk) break;
        int produced = 0;
        rc = stream.Step(*decoder_, reinterpret_cast<int16_t*>(block), &produced);
        if (rc == kOk) {
            output.EndWrite(size_t(produced));
            // The reader has something to do only once a whole read piece fits: a
            // wake-up per frame would mostly find the ring full (a frame is a few
            // hundred bytes, a piece 8 KiB). A read that runs short wakes it anyway.
            if (peerRing_->Free() >= FileSource::kReadPiece) source_->Wake();
            continue;
        }
        // The reservation goes back before the end event is queued: queuing waits
        // until no write is pending.
        output.EndWrite(0);
        input_.Release();
        if (rc == kErrEndOfStream)
            rc = output.QueueEvent(std::make_unique<ChainEvent>(ChainEvent::kEndOfStream));
        break;
    }
    input_.Release();
    if (rc != kOk && rc != kErrClosing && rc != kRingClosing && !quit_) ReportFailure();
}

} // namespace mp3

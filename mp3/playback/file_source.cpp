#include "file_source.h"

#include "../file_source.h"
#include "../input_window.h"

namespace mp3 {

FileSource::~FileSource() {
    Stop();
    thread_.Join();
    if (file_) std::fclose(file_);
}

int FileSource::Prepare(StreamRing** inputRing) {
    if (!ownRing_) ownRing_ = std::make_unique<StreamRing>(kInputRingSize, kInputOverflow);
    *inputRing = ownRing_.get();
    OpenFile opened;
    int rc = file_ ? kOk : OpenMp3File(name_.c_str(), &opened);
    if (rc == kOk && !file_) {
        file_ = opened.file;
        playableSize_ = opened.playableSize;
    }
    if (rc == kOk && !thread_.Started() && !thread_.Create(ReaderMain, this)) rc = kErrNoThread;
    if (rc != kOk) ReportFailure();
    return rc;
}

int FileSource::Seek(int64_t offset) {
    {
        std::lock_guard<std::mutex> held(seekLock_);
        seekWanted_ = true;
        seekOffset_ = offset;
    }
    Wake();
    seekDone_.Acquire();
    std::lock_guard<std::mutex> held(seekLock_);
    return Quitting() ? kRingClosing : seekResult_;
}

void FileSource::CarryOutSeek() {
    int64_t offset;
    {
        std::lock_guard<std::mutex> held(seekLock_);
        offset = seekOffset_;
    }
    int rc = ownRing_->Reset();
    if (rc == kRingOk && std::fseek(file_, long(offset), SEEK_SET) != 0) rc = kErrSeek;
    {
        std::lock_guard<std::mutex> held(seekLock_);
        seekWanted_ = false;
        seekResult_ = rc;
    }
    seekDone_.Release();
}

void FileSource::ReadLoop() {
    if (WaitForWakeUp()) return; // the decoder's first wake-up starts reading
    StreamRing& ring = *ownRing_;
    while (!quit_) {
        bool seek;
        {
            std::lock_guard<std::mutex> held(seekLock_);
            seek = seekWanted_;
        }
        if (seek) {
            CarryOutSeek();
            continue;
        }
        if (ring.EndOfStream()) {
            if (WaitForWakeUp()) return;
            continue;
        }
        if (paused_) {
            if (WaitWhilePaused()) return;
            continue;
        }
        uint8_t* space;
        const int rc = ring.BeginWrite(&space, kReadPiece);
        if (rc == kRingNoSpace) {
            if (WaitForWakeUp()) return;
            continue;
        }
        if (rc != kRingOk) return;
        const size_t got = std::fread(space, 1, kReadPiece, file_);
        ring.EndWrite(got);
        // A short read is the end of the file; a read error ends it as well, and
        // the decoder plays what arrived.
        if (got < kReadPiece) ring.SetEndOfStream();
        if (consumer_) consumer_->Wake();
    }
}

void FileSource::Stop() {
    ChainElement::Stop();
    // A decoder waiting for its seek leaves too.
    seekDone_.Release();
}

} // namespace mp3

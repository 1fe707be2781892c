// The first stage of a playback chain: reads the file into the input ring on a
// thread of its own, 8,192 bytes at a time.
#pragma once

#include <cstdio>
#include <string>

#include "chain_element.h"

namespace mp3 {

class FileSource : public ChainElement {
  public:
    static constexpr size_t kInputRingSize = 65536;
    static constexpr size_t kInputOverflow = 8192;
    static constexpr size_t kReadPiece = 8192;
    static constexpr int kErrNoThread = 26;

    using ChainElement::ChainElement;
    ~FileSource() override;

    void SetName(const char* name) { name_ = name; }
    const std::string& Name() const { return name_; }
    // Creates the input ring, opens the file and starts the reader thread. A failure
    // is reported to the player here and returned.
    int Prepare(StreamRing** inputRing);
    // The element that reads the input ring: woken whenever data arrives.
    void SetConsumer(ChainElement* consumer) { consumer_ = consumer; }
    // Moves reading to offset bytes from the start of the file and empties the ring.
    // The reader thread does it, once the consumer has ended its read; the caller
    // waits. 0, kErrSeek or kRingClosing.
    int Seek(int64_t offset);
    int64_t PlayableSize() const { return playableSize_; }

    void Stop() override;
    void Join() { thread_.Join(); }

  private:
    static void ReaderMain(void* self) { static_cast<FileSource*>(self)->ReadLoop(); }
    void ReadLoop();
    void CarryOutSeek();

    std::string name_;
    std::FILE* file_ = nullptr;
    int64_t playableSize_ = 0;
    ChainElement* consumer_ = nullptr;
    PlayerThread thread_;

    std::mutex seekLock_;
    bool seekWanted_ = false;
    int64_t seekOffset_ = 0;
    int seekResult_ = 0;
    Semaphore seekDone_;
};

} // namespace mp3

// The wave-out device as the renderer uses it: a fixed array of headers, each
// pointing at one block of PCM that stays where it is until the device is done.
#pragma once

#include <cstdint>

#include "stream_ring.h"

namespace mp3 {

class WaveOutDevice {
  public:
    // The device is done with a header: called on the device's own thread, or
    // inside Write or Reset on the caller's.
    using DoneFn = void (*)(void* context, int header);
    // What Close answers while blocks are still queued (the system's value).
    static constexpr int kStillPlaying = 33;

    virtual ~WaveOutDevice() = default;
    // Opens the default device for the format with headerCount headers. 0 or the
    // device's error.
    virtual int Open(const StreamFormat& format, int headerCount, DoneFn done, void* context) = 0;
    virtual int Prepare(int header, uint8_t* data, uint32_t length) = 0;
    virtual int Write(int header) = 0;
    virtual int Unprepare(int header) = 0;
    virtual int Pause() = 0;
    virtual int Restart() = 0;
    // Stops playing and hands every queued header back as done.
    virtual int Reset() = 0;
    virtual int Close() = 0;
};

} // namespace mp3

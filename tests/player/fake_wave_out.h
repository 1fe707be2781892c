// A wave-out device for the player's tests: plays the blocks it is given on a
// thread of its own (or inside Write), records what it played, and fails or
// dawdles where a test asks it to.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "playback/wave_out_device.h"

namespace playertest {

struct DeviceScript {
    bool failOpen = false;
    int failPrepareAt = -1; // the n-th prepare (from 0) fails
    int failWriteAt = -1;
    int closeStillPlaying = 0;    // Close answers "still playing" this many times
    bool doneInsideWrite = false; // WAVE_ALLOWSYNC: the block is done before Write returns
    bool doneInsideReset = true;  // as Wine does; otherwise late, from the device thread
    int resetLateMs = 20;         // how late the callbacks after a reset come
    int blockMicros = 0;          // playing time of one block on the device thread
    bool swapDoneOrder = false;   // report pairs of blocks done in reverse order
};

// One opened device: what it was given, in the order it played it.
struct Capture {
    mp3::StreamFormat format;
    int headers = 0;               // the header count the renderer opened it with
    std::vector<uint8_t> pcm;      // read it once the device is gone
    std::atomic<size_t> played{0}; // bytes of pcm so far, for a test that watches
    int heldUnprepares = 0;        // unprepares refused: the device still held the header
    int closeCalls = 0;
    bool closed = false;
};

// Shared by all fake devices of a test; tests reset it between cases.
struct DeviceLog {
    std::mutex lock;
    DeviceScript script;
    std::vector<std::shared_ptr<Capture>> captures;
    std::atomic<int> alive{0};
    std::atomic<int> maxAlive{0};
    std::vector<std::pair<void*, int>> progress; // (window, percent) as posted

    void Clear(const DeviceScript& s = {});
    std::vector<std::shared_ptr<Capture>> Captures();
    std::vector<int> Progress(void* window);
};
DeviceLog& Log();

// Installs the fake device and the progress recorder as the playback platform.
void UseFakePlatform();

} // namespace playertest

// Waiting on the network without freezing the window: the blocking call runs
// on a helper thread while this thread keeps processing the window's events.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace app {

// External function n with these arguments, called on a helper thread; the
// window keeps running (repaints, clicks, edits, closing) until it returns.
// Its result.
uint32_t ExternalWhileWindowRuns(int32_t n, std::initializer_list<uint32_t> args);

// True when the program is ending: its last window is gone and the message
// loop has been told to stop. Whatever a handler still does then must not
// touch the window's units.
bool ProgramEnding();

} // namespace app

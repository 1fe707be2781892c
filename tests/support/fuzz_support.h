// What the fuzz tests of the units share: how many rounds they run, and the
// check that a window still works after them.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace testing {

// The standard number of rounds; SPEECHTOOL_FUZZ_ROUNDS=n runs n times as
// many, for a longer search.
inline int32_t FuzzRounds(int32_t standard) {
    const char* more = std::getenv("SPEECHTOOL_FUZZ_ROUNDS");
    return standard * (more ? std::max(1, std::atoi(more)) : 1);
}

// Whether a message sent to the window from another thread is answered while
// this thread pumps its messages (pump: the runtime's pump): the window's
// queue and procedure still work.
inline bool AnswersFromAnotherThread(HWND hwnd, void (*pump)()) {
    std::atomic<bool> done{false}, answered{false};
    std::thread other([&] {
        DWORD_PTR answer = 0;
        answered =
            SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &answer) != 0;
        done = true;
    });
    for (DWORD start = GetTickCount(); !done && GetTickCount() - start < 6000;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        pump();
    }
    other.join();
    return answered;
}

} // namespace testing

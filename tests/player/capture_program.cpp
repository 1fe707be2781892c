// Plays the files named on the command line through the play-MP3 command and
// the system's wave-out device, and returns once the player has finished.
// Exit status: 0 played, 1 usage, 2 the player did not finish in time.
#include <windows.h>

#include <cstdio>

#include "runtime_player.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: player_capture FILE.mp3...\n");
        return 1;
    }
    const DWORD start = GetTickCount();
    playertest::PlayFiles(1, std::vector<const char*>(argv + 1, argv + argc));
    // The player is Playing from the command until the last file has ended.
    const DWORD bound = 120000;
    while (playertest::RuntimePlayState() != 0) {
        if (GetTickCount() - start > bound) return 2;
        Sleep(10);
    }
    std::printf("played in %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
    st::ShutDown(0);
    return 0;
}

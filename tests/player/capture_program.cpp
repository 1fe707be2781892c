// Plays the files named on the command line through the play-MP3 command and
// the system's wave-out device, and returns once the player has finished.
// Exit status: 0 played, 1 usage, 2 the player did not finish in time.
#include <windows.h>

#include <cstdio>
#include <string>

#include "library_commands.h"
#include "playback/player_entries.h"
#include "runtime_state.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: player_capture FILE.mp3...\n");
        return 1;
    }
    st::Services.Notify(st::NotifyCode::StartRuntime);
    std::vector<st::ArgRecord> args = {{1, 0, st::TypeTag::Int}};
    for (int i = 1; i < argc; ++i)
        args.push_back({uint32_t(reinterpret_cast<uintptr_t>(argv[i])), 0, st::TypeTag::Text});
    const DWORD start = GetTickCount();
    st::Services.CallLibraryCommand2(st::cmd::PlayMp3, int32_t(args.size()), args.data());
    auto state = reinterpret_cast<mp3::GetPlayStateFn>(st::Runtime().player.Lookup("GetPlayState"));
    // The player is Playing from the command until the last file has ended.
    const DWORD bound = 120000;
    while (state(st::Runtime().player.handle) != 0) {
        if (GetTickCount() - start > bound) return 2;
        Sleep(10);
    }
    std::printf("played in %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
    st::ShutDown(0);
    return 0;
}

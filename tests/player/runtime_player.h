// The play-MP3 command and the runtime's one player, for the programs that drive
// the player through the runtime: the command test, the capture program, the bench.
#pragma once

#include <string>
#include <vector>

#include "../commands/command_calls.h"
#include "st/library_commands.h"
#include "playback/player_entries.h"
#include "runtime_state.h"

namespace playertest {

inline void* RuntimePlayer() {
    return st::Runtime().player.handle;
}

// The runtime's player's state: 0 once it has stopped, and with no player.
inline int32_t RuntimePlayState() {
    auto state = reinterpret_cast<mp3::GetPlayStateFn>(st::Runtime().player.Lookup("GetPlayState"));
    return state(RuntimePlayer());
}

// The play-MP3 command with a loop count and file names, through the service table.
inline void PlayFiles(int32_t loops, const std::vector<const char*>& files) {
    std::vector<cmdtest::ArgRecord> args = {cmdtest::Int(loops)};
    for (const char* file : files)
        args.push_back(cmdtest::Text(file));
    testing::StartRuntimeOnce();
    st::Services.CallLibraryCommand2(st::cmd::PlayMp3, int32_t(args.size()), args.data());
}

} // namespace playertest

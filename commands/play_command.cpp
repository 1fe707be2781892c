// The play-MP3 command: hands a list of files and a loop count to the player
// module, which the runtime holds and finds entry points in by name.
#include <string>

#include "command_support.h"
#include "st/library_commands.h"
#include "playback/player_entries.h"
#include "st/services.h"
#include "st/units.h"

namespace st::cmd {

namespace {

template <typename Fn> Fn PlayerEntry(const char* name) {
    RuntimeCallbackFn runtime = CoreRuntimeCallback();
    if (!runtime) return nullptr;
    const auto address = static_cast<uintptr_t>(runtime(
        CallbackCode::PlayerEntry, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name)), 0));
    return reinterpret_cast<Fn>(address);
}

// Stores handle as the runtime's one player and returns the one it held.
void* ExchangePlayer(void* handle) {
    RuntimeCallbackFn runtime = CoreRuntimeCallback();
    if (!runtime) return nullptr;
    const auto held = static_cast<uintptr_t>(runtime(
        CallbackCode::PlayerHandle, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)), 1));
    return reinterpret_cast<void*>(held);
}

void AppendName(std::string& list, const char* name) {
    if (!name || !*name) return;
    list += name;
    list += '\0';
}

} // namespace

// (loop count: omitted 1, 0 only stops, negative for ever; file names: texts or
// arrays of texts, empty ones skipped).
void PlayMp3(ArgRecord* result, int32_t count, ArgRecord* args) {
    (void)result;
    if (void* old = ExchangePlayer(nullptr))
        if (auto remove = PlayerEntry<mp3::RemovePlayerFn>("RemovePlayer")) remove(old);

    const ArgRecord& loopArg = Arg(count, args, 0);
    int32_t loops = Supplied(loopArg) ? IntValue(loopArg) : 1;
    if (loops == 0) return;
    if (loops < 0) loops = 0;

    std::string list;
    for (int32_t i = 1; i < count; ++i) {
        const ArgRecord& a = args[i];
        if (TypeTag::IsArray(a.tag)) {
            const auto* array = PointerValue<const int32_t*>(a);
            if (!array || TypeTag::ElementKind(a.tag) != TypeTag::Text) continue;
            const int32_t n = ElementCount(array);
            const auto* names = reinterpret_cast<const char* const*>(array + 1 + array[0]);
            for (int32_t k = 0; k < n; ++k)
                AppendName(list, names[k]);
        } else if (a.tag == TypeTag::Text) {
            AppendName(list, PointerValue<const char*>(a));
        }
    }
    if (list.empty()) return;
    list += '\0';

    auto create = PlayerEntry<mp3::CreatePlayerFn>("CreatePlayer");
    void* player = create ? create(list.c_str(), loops) : nullptr;
    ExchangePlayer(player);
    if (player)
        if (auto newPlay = PlayerEntry<mp3::NewPlayFn>("NewPlay")) newPlay(player, nullptr, 0);
}

} // namespace st::cmd

// The Play and Save As buttons' handlers.
#include "save_and_play.h"

#include "command_access.h"
#include "external_functions.h"
#include "globals.h"
#include "handler_table.h"
#include "main_window.h"

namespace app {
namespace {

using namespace calls;

const char kSavedMessage[] = "文件保存成功！";
constexpr int32_t kInformationIcon = 0x40; // MB_ICONINFORMATION
const char kTemporarySuffix[] = ".~";
constexpr int32_t kTemporaryAttempts = 100;
constexpr uint32_t kReplaceExisting = 0x1; // MOVEFILE_REPLACE_EXISTING
constexpr uint32_t kWriteThrough = 0x8;    // MOVEFILE_WRITE_THROUGH
constexpr uint32_t kNoFile = 0xFFFFFFFF;   // INVALID_FILE_ATTRIBUTES
constexpr uint32_t kReadOnly = 0x1;        // FILE_ATTRIBUTE_READONLY
constexpr uint32_t kDirectory = 0x10;      // FILE_ATTRIBUTE_DIRECTORY

bool Exists(const char* path) {
    return AsInt(Command(CommandId::FileExists, {TextArg(path)})) != 0;
}

// path + ".~" + n for the first n that names nothing yet; null when none does.
st::TextValue FreeNameBeside(const char* path) {
    for (int32_t n = 1; n <= kTemporaryAttempts; ++n) {
        st::TextValue number = AsText(Command(CommandId::ToText, {IntArg(n)}));
        const char* parts[] = {path, kTemporarySuffix, number};
        st::TextValue candidate = st::ConcatTexts(parts, 3);
        st::FreeMemory(number);
        if (!Exists(candidate)) return candidate;
        st::FreeMemory(candidate);
    }
    return nullptr;
}

} // namespace

bool SaveAudioFile(const char* path, const void* bytes) {
    if (!path || !*path) return false;
    // No audio is nothing to save: never an empty file reported as saved,
    // never an old file emptied.
    if (st::ByteSetLength(bytes) <= 0) return false;
    // Writing over it in place would fail here; a rename may not (some
    // systems let it replace a read-only file), so refuse first.
    const uint32_t attributes = External(ExtGetFileAttributesA, {Word(path)});
    if (attributes != kNoFile && (attributes & (kReadOnly | kDirectory))) return false;
    st::TextValue temporary = FreeNameBeside(path);
    if (!temporary) return false;
    bool ok = AsInt(Command(CommandId::WriteWholeFile, {TextArg(temporary), BytesArg(bytes)})) != 0;
    ok = ok && External(ExtMoveFileExA,
                        {Word(temporary), Word(path), kReplaceExisting | kWriteThrough}) != 0;
    if (!ok) External(ExtDeleteFileA, {Word(temporary)});
    st::FreeMemory(temporary);
    return ok;
}

} // namespace app

extern "C" void OnPlayClick() {
    using namespace app::calls;
    // A path this short cannot name a downloaded file: there is no audio.
    constexpr int32_t kShortestPath = 5;
    constexpr int32_t kPlayOnce = 1;
    const int32_t length = AsInt(Command(CommandId::TextLength, {TextArg(app::currentAudioPath)}));
    if (length > kShortestPath)
        Command(CommandId::PlayMp3, {IntArg(kPlayOnce), TextArg(app::currentAudioPath)});
}

extern "C" void OnSaveAsClick() {
    using namespace app;
    using namespace app::calls;
    // The bytes as they are now: whatever runs while the dialog is open
    // cannot change what this click saves.
    if (st::ByteSetLength(currentAudioBytes) <= 0) return; // no audio held: nothing to offer
    void* bytes = st::CopyByteSet(currentAudioBytes);
    const ArgRecord dialog = {kMainWindow, unit::SaveDialog, type::CommonDialog};
    if (AsInt(Command(CommandId::OpenCommonDialog, {dialog})) != 0) {
        auto name =
            static_cast<st::TextValue>(Pointer(static_cast<uint32_t>(st::Services.GetProperty(
                kMainWindow, unit::SaveDialog, property::DialogFileName, -1))));
        const bool saved = SaveAudioFile(name, bytes);
        st::FreeMemory(name);
        // A failed save shows nothing.
        if (saved)
            Command(CommandId::ShowMessage, {TextArg(kSavedMessage), IntArg(kInformationIcon)});
    }
    st::FreeMemory(bytes);
}

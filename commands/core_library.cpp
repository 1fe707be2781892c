// The core command library: its data types, its commands and its
// notification entry. Types and commands are filled in as they are built.
#include "st/services.h"

namespace st {

namespace {

RuntimeCallbackFn runtimeCallback = nullptr;

int32_t CoreNotify(int32_t code, uint32_t value1, uint32_t) {
    if (code == LibraryCode::SetCallback) {
        runtimeCallback = reinterpret_cast<RuntimeCallbackFn>(value1);
        return 0;
    }
    return -1;
}

const TypeRecord coreTypes[CoreTypeCount] = {};
const LibraryCommand coreCommands[CoreCommandCount] = {};

} // namespace

// The runtime callback as the core library received it (null before start-up).
RuntimeCallbackFn CoreRuntimeCallback() { return runtimeCallback; }

const LibraryRecord CoreLibrary = {
    "core", "核心支持库", CoreTypeCount, coreTypes, CoreCommandCount, coreCommands, CoreNotify,
};

} // namespace st

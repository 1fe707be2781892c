// The runtime callback as the core library was handed it. It is kept down
// here, below the commands and the unit types that call it, so that neither
// has to reach up into the core library's tables for it.
#include "st/services.h"

namespace st {

namespace {
RuntimeCallbackFn coreCallback = nullptr;
}

RuntimeCallbackFn CoreRuntimeCallback() {
    return coreCallback;
}

void SetCoreRuntimeCallback(RuntimeCallbackFn callback) {
    coreCallback = callback;
}

} // namespace st

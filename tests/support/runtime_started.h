// Test programs start the runtime once, on the program's start-up record,
// whichever test comes first.
#pragma once

#include "st/services.h"

namespace testing {

inline void StartRuntimeOnce() {
    static const bool started = (st::Services.Notify(st::NotifyCode::StartRuntime), true);
    (void)started;
}

} // namespace testing

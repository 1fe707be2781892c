// The runtime's test programs start the runtime once, whichever test comes first.
#pragma once

#include "st/services.h"

inline void Started() {
    static const bool started = (st::Services.Notify(st::NotifyCode::StartRuntime), true);
    (void)started;
}

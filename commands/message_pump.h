// One turn of the message pump for ProcessEvents: takes the next message from
// the thread's queue and dispatches it. Answers false when it was WM_QUIT.
#pragma once

namespace st::cmd {
bool PumpOneMessage();
}

#include "message_pump.h"

#include <windows.h>

namespace st::cmd {

bool PumpOneMessage() {
    MSG msg;
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
        // Leave WM_QUIT for the message loop that owns it.
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return true;
}

} // namespace st::cmd

#include "framework.h"

namespace st {

bool Application::PreTranslateMessage(MSG&) {
    return false;
}

bool Application::OnIdle(long count) {
    // Two passes of housekeeping, then nothing until the next message; the
    // runtime's own idle work runs before this from the idle list.
    return count < 1;
}

bool Application::PumpMessage() {
    if (!GetMessageA(&msg_, nullptr, 0, 0)) return false;
    if (!PreTranslateMessage(msg_)) {
        TranslateMessage(&msg_);
        DispatchMessageA(&msg_);
    }
    return true;
}

bool Application::IsIdleMessage(const MSG& msg) {
    constexpr UINT kSysTimer = 0x0118;
    if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) {
        bool same = msg.message == lastMouseMessage_ && msg.pt.x == lastMouse_.x &&
                    msg.pt.y == lastMouse_.y;
        lastMouse_ = msg.pt;
        lastMouseMessage_ = msg.message;
        return !same;
    }
    return msg.message != WM_PAINT && msg.message != kSysTimer;
}

int Application::Run() {
    bool idle = true;
    long count = 0;
    for (;;) {
        MSG peek;
        while (idle && !PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(count++)) idle = false;
        }
        do {
            if (!PumpMessage()) return ExitInstance();
            if (IsIdleMessage(msg_)) {
                idle = true;
                count = 0;
            }
        } while (PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE));
    }
}

int FrameworkMain(Application& app) {
    if (!app.InitInstance()) return app.ExitInstance();
    return app.Run();
}

} // namespace st

// A small application framework: the application object, the message pump
// with a pre-translation hook, and idle processing with a pass counter.
#pragma once

#include <windows.h>

namespace st {

class Application {
  public:
    Application() = default;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    virtual ~Application() = default;

    // Returns true when the framework should run its own message loop.
    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return 0; }
    // Return true when the message was handled and must not be dispatched.
    virtual bool PreTranslateMessage(MSG& msg);
    // One idle pass; count starts at 0 and grows per pass. Returns true while
    // more idle work is wanted.
    virtual bool OnIdle(long count);

    // Fetches and dispatches one message; false when it was WM_QUIT.
    bool PumpMessage();
    // Whether a message ends idleness (repeated mouse moves without movement,
    // paint and the system timer do not).
    bool IsIdleMessage(const MSG& msg);
    const MSG& LastMessage() const { return msg_; }

    // The framework's own loop, for applications whose InitInstance asks for it.
    int Run();

  private:
    MSG msg_{};
    POINT lastMouse_{-1, -1};
    UINT lastMouseMessage_ = 0;
};

// The framework's main routine: InitInstance, then (if asked) Run, then ExitInstance.
int FrameworkMain(Application& app);

} // namespace st

// Runs another Win32 program as a test subject: start it, wait for it with a
// bound, read and answer the message boxes it shows, and collect its exit code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing {

struct MessageBoxSeen {
    HWND window = nullptr;
    std::string caption; // GBK bytes, as the box holds them
    std::string text;    // the message line(s), GBK bytes
};

class ChildProcess {
  public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess(); // a child still running is killed

    // Starts program (a path) with the given command-line tail. False when it
    // could not be started.
    bool Start(const std::string& program, const std::string& arguments);
    DWORD ProcessId() const { return info_.dwProcessId; }

    // Waits up to timeoutMs for a top-level dialog ("#32770") of the child.
    bool WaitForMessageBox(DWORD timeoutMs, MessageBoxSeen* box);
    // Waits up to timeoutMs for any visible top-level window of the child of
    // the given class (null: any class).
    HWND WaitForWindow(DWORD timeoutMs, const char* className = nullptr);
    // Presses the box's OK (or only) button.
    static void Dismiss(const MessageBoxSeen& box);

    // Waits up to timeoutMs for the end; false on timeout.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    void Kill();

  private:
    PROCESS_INFORMATION info_{};
};

// The directory of the running test program, with a trailing backslash.
std::string ProgramDirectory();
// A fresh path in the temporary directory for a child's trace file:
// prefix, this process's id and a counter; any old file there is deleted.
std::string NewTracePath(const char* prefix);
// The trace file's text (while a writer may still hold it open); with remove
// set the file is deleted after reading. Empty when there is no file.
std::string ReadTrace(const std::string& path, bool remove);
// Reads a window's text from another process (WM_GETTEXT, bounded).
std::string WindowText(HWND window);

} // namespace testing

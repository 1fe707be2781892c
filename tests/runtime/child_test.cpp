// The runtime's end-of-program behaviour, seen from outside: subjects on the
// real runtime are started, their message boxes read and answered, their
// exit codes and EndRoutine traces checked.
#include <doctest.h>

#include <string>

#include "subject_run.h"

using testing::ChildProcess;

namespace {

std::string Subject() {
    return testing::ProgramDirectory() + "runtime_subject.exe";
}

} // namespace

TEST_CASE("run-time errors: the exact box, then exit code -1 after the shut-down, no EndRoutine") {
    const struct {
        const char* mode;
        const char* text;
    } cases[] = {
        {"raise6", "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n"},
        // A code without a text: only the heading and the code line.
        {"error5", "运行时出错!\r\n\r\n错误代码：5\r\n\r\n"},
        // A refused allocation of 1000 bytes (a private heap of fixed size).
        {"alloc1000", "运行时出错!\r\n\r\n错误信息：分配 1000 字节内存失败!\r\n"},
        // An impossible allocation from the process heap.
        {"allochuge", "运行时出错!\r\n\r\n错误信息：分配 2147483647 字节内存失败!\r\n"},
        // A failed C++ allocation: the same report and end, not an unhandled exception.
        {"newhuge", "运行时出错!\r\n\r\n错误信息：分配内存失败!\r\n"},
        // On another thread: the box there, the end handed to the main thread.
        {"raisethread",
         "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n"},
    };
    for (const auto& c : cases) {
        const std::string mode = c.mode;
        CAPTURE(mode);
        std::string log = testing::NewTracePath("st_subject_");
        testing::SubjectEnd end = testing::RunSubject(Subject(), mode + " " + log, log, 300);
        REQUIRE(end.boxSeen);
        CHECK(end.box.caption == "错误");
        CHECK(end.box.text == c.text);
        REQUIRE(end.exited);
        CHECK(end.exitCode == 0xFFFFFFFFu);
        CHECK(end.log == "library end\r\n"); // the shut-down ran, the EndRoutine did not
    }
}

TEST_CASE("ordinary ends: one EndRoutine on the main thread, then the shut-down, the code kept") {
    const struct {
        const char* mode;
        DWORD code;
    } cases[] = {
        {"close", 0},     // the only window closed
        {"status5", 5},   // the entry routine returns 5 without a window
        {"endthread", 7}, // EndProgram(7) from a second thread
    };
    for (const auto& c : cases) {
        const std::string mode = c.mode;
        CAPTURE(mode);
        std::string log = testing::NewTracePath("st_subject_");
        ChildProcess child;
        REQUIRE(child.Start(Subject(), mode + " " + log));
        if (mode == "close") {
            HWND window = child.WaitForWindow(testing::kSubjectBound, "RuntimeSubjectWindow");
            REQUIRE(window != nullptr);
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        DWORD code = 0xDEAD;
        REQUIRE(child.WaitForExit(testing::kSubjectBound, &code));
        CHECK(code == c.code);
        CHECK(testing::ReadTrace(log, true) == "end main\r\nlibrary end\r\n");
    }
}

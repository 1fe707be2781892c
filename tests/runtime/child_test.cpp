// The runtime's end-of-program behaviour, seen from outside: subjects on the
// real runtime are started, their message boxes read and answered, their
// exit codes and EndRoutine traces checked.
#include <doctest.h>

#include <string>

#include "child_process.h"

using testing::ChildProcess;
using testing::MessageBoxSeen;

namespace {

constexpr DWORD kBound = 60000; // Wine in an emulated machine can be slow to start

std::string Subject() {
    return testing::ProgramDirectory() + "runtime_subject.exe";
}

struct ErrorRun {
    bool boxSeen = false;
    MessageBoxSeen box;
    bool exited = false;
    DWORD exitCode = 0;
    std::string log;
};

// Runs a subject that should end with a run-time error box.
ErrorRun RunToErrorBox(const std::string& program, const std::string& arguments,
                       const std::string& logPath) {
    ErrorRun run;
    ChildProcess child;
    REQUIRE(child.Start(program, arguments));
    run.boxSeen = child.WaitForMessageBox(kBound, &run.box);
    if (run.boxSeen) {
        // The process waits for the box; it must not have ended yet.
        DWORD code;
        CHECK_FALSE(child.WaitForExit(300, &code));
        ChildProcess::Dismiss(run.box);
    }
    run.exited = child.WaitForExit(kBound, &run.exitCode);
    if (!logPath.empty()) run.log = testing::ReadTrace(logPath, true);
    return run;
}

} // namespace

TEST_CASE("RaiseError 6: the exact box, then exit code -1 without the EndRoutine") {
    std::string log = testing::NewTracePath("st_subject_");
    ErrorRun run = RunToErrorBox(Subject(), "raise6 " + log, log);
    REQUIRE(run.boxSeen);
    CHECK(run.box.caption == "错误");
    CHECK(run.box.text ==
          "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n");
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0xFFFFFFFFu);
    CHECK(run.log == "library end\r\n"); // the shut-down ran, the EndRoutine did not
}

TEST_CASE("a code without a text shows only the heading and the code line") {
    std::string log = testing::NewTracePath("st_subject_");
    ErrorRun run = RunToErrorBox(Subject(), "error5 " + log, log);
    REQUIRE(run.boxSeen);
    CHECK(run.box.text == "运行时出错!\r\n\r\n错误代码：5\r\n\r\n");
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0xFFFFFFFFu);
}

TEST_CASE("a refused allocation of 1000 bytes: the memory failure text, exit code -1") {
    std::string log = testing::NewTracePath("st_subject_");
    ErrorRun run = RunToErrorBox(Subject(), "alloc1000 " + log, log);
    REQUIRE(run.boxSeen);
    CHECK(run.box.caption == "错误");
    CHECK(run.box.text == "运行时出错!\r\n\r\n错误信息：分配 1000 字节内存失败!\r\n");
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0xFFFFFFFFu);
    CHECK(run.log == "library end\r\n"); // the shut-down ran, the EndRoutine did not
}

TEST_CASE("an impossible allocation from the process heap ends the program the same way") {
    std::string log = testing::NewTracePath("st_subject_");
    ErrorRun run = RunToErrorBox(Subject(), "allochuge " + log, log);
    REQUIRE(run.boxSeen);
    CHECK(run.box.text == "运行时出错!\r\n\r\n错误信息：分配 2147483647 字节内存失败!\r\n");
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0xFFFFFFFFu);
}

TEST_CASE("a failed C++ allocation: the same report and end, not an unhandled exception") {
    std::string log = testing::NewTracePath("st_subject_");
    ErrorRun run = RunToErrorBox(Subject(), "newhuge " + log, log);
    REQUIRE(run.boxSeen);
    CHECK(run.box.caption == "错误");
    CHECK(run.box.text == "运行时出错!\r\n\r\n错误信息：分配内存失败!\r\n");
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0xFFFFFFFFu);
    CHECK(run.log == "library end\r\n"); // the shut-down ran, the EndRoutine did not
}

TEST_CASE("a run-time error on another thread: box there, end handed to the main thread, -1") {
    std::string log = testing::NewTracePath("st_subject_");
    ErrorRun run = RunToErrorBox(Subject(), "raisethread " + log, log);
    REQUIRE(run.boxSeen);
    CHECK(run.box.text ==
          "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n");
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0xFFFFFFFFu);
    CHECK(run.log == "library end\r\n"); // the shut-down ran, the EndRoutine did not
}

TEST_CASE("closing the only window ends the program with 0 after one EndRoutine") {
    std::string log = testing::NewTracePath("st_subject_");
    ChildProcess child;
    REQUIRE(child.Start(Subject(), "close " + log));
    HWND window = child.WaitForWindow(kBound, "RuntimeSubjectWindow");
    REQUIRE(window != nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD code = 0xDEAD;
    REQUIRE(child.WaitForExit(kBound, &code));
    CHECK(code == 0);
    CHECK(testing::ReadTrace(log, true) == "end main\r\nlibrary end\r\n");
}

TEST_CASE("an entry routine that returns 5 without a window ends the program with 5") {
    std::string log = testing::NewTracePath("st_subject_");
    ChildProcess child;
    REQUIRE(child.Start(Subject(), "status5 " + log));
    DWORD code = 0xDEAD;
    REQUIRE(child.WaitForExit(kBound, &code));
    CHECK(code == 5);
    CHECK(testing::ReadTrace(log, true) == "end main\r\nlibrary end\r\n");
}

TEST_CASE("EndProgram from a second thread: the main thread shuts down, the code is kept") {
    std::string log = testing::NewTracePath("st_subject_");
    ChildProcess child;
    REQUIRE(child.Start(Subject(), "endthread " + log));
    DWORD code = 0xDEAD;
    REQUIRE(child.WaitForExit(kBound, &code));
    CHECK(code == 7);
    CHECK(testing::ReadTrace(log, true) == "end main\r\nlibrary end\r\n");
}

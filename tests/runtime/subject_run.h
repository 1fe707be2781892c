// A test subject on the real runtime run to its end from outside: started,
// the message box it shows read and answered, its exit code and trace file
// collected. Shared by the runtime, registry and binding tests.
#pragma once

#include <doctest.h>

#include <string>

#include "child_process.h"

namespace testing {

constexpr DWORD kSubjectBound = 60000; // Wine in an emulated machine can be slow to start

struct SubjectEnd {
    bool boxSeen = false;
    MessageBoxSeen box;
    bool exited = false;
    DWORD exitCode = 0;
    std::string log; // the trace file's text (the file is removed)
};

// Runs program with arguments. A box it shows is answered after holdMs, a
// time during which the program must still be waiting for it (0: it must be
// waiting when the box is found). log names the trace file to collect
// (empty: none).
inline SubjectEnd RunSubject(const std::string& program, const std::string& arguments,
                             const std::string& log, DWORD holdMs = 0) {
    SubjectEnd end;
    ChildProcess child;
    REQUIRE(child.Start(program, arguments));
    end.boxSeen = child.WaitForMessageBox(kSubjectBound, &end.box);
    if (end.boxSeen) {
        DWORD code;
        CHECK_FALSE(child.WaitForExit(holdMs, &code));
        ChildProcess::Dismiss(end.box);
    }
    end.exited = child.WaitForExit(kSubjectBound, &end.exitCode);
    if (!log.empty()) end.log = ReadTrace(log, true);
    return end;
}

// The text of the runtime's error box: the code line only for a code, the
// message line only for a message.
inline std::string RuntimeErrorText(int code, const std::string& message) {
    std::string text = "运行时出错!\r\n\r\n";
    if (code) text += "错误代码：" + std::to_string(code) + "\r\n\r\n";
    if (!message.empty()) text += "错误信息：" + message + "\r\n";
    return text;
}

} // namespace testing

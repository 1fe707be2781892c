// The registry's failures, seen from outside: a subject on the real runtime is
// started, its message box read and its exit code checked.
#include <doctest.h>

#include <string>

#include "subject_run.h"

namespace {

// Runs the subject in the given mode (its first word; any further words
// follow the trace path) up to its end.
testing::SubjectEnd Run(const std::string& arguments, DWORD holdBox = 0) {
    std::string log = testing::NewTracePath("st_registry_");
    size_t space = arguments.find(' ');
    std::string tail = space == std::string::npos ? "" : arguments.substr(space);
    return testing::RunSubject(testing::ProgramDirectory() + "registry_subject.exe",
                               arguments.substr(0, space) + " " + log + tail, log, holdBox);
}

std::string ErrorText(const char* message) {
    return testing::RuntimeErrorText(0, message);
}

void ExpectError(const std::string& arguments, const char* message) {
    CAPTURE(arguments);
    testing::SubjectEnd run = Run(arguments);
    REQUIRE(run.boxSeen);
    CHECK(run.box.caption == "错误");
    CHECK(run.box.text == ErrorText(message));
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0xFFFFFFFFu);
    CHECK(run.log.find("returned") == std::string::npos);
}

} // namespace

TEST_CASE("a template segment cut short: the framing error, exit code -1") {
    // Every cut length is a framing failure (the template tests); here the
    // failure's box and the program's end.
    ExpectError("truncate 200", "载入窗口模板数据段出错!");
}

TEST_CASE("an index of length 0: an empty registry, and the start-up window cannot load") {
    testing::SubjectEnd run = Run("emptyindex");
    REQUIRE(run.boxSeen);
    CHECK(run.box.text == ErrorText("载入启动窗口失败"));
    CHECK(run.log == "windows 0\r\n");
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0xFFFFFFFFu);
}

TEST_CASE("property access and runtime requests naming what is not there") {
    ExpectError("unknownwindow", "未载入欲访问窗口组件所在的窗口");
    ExpectError("notloaded", "指定窗口尚未载入");
    ExpectError("getobject", "指定窗口或窗口组件不存在或尚未载入");
    ExpectError("notnumeric", "欲转换数据类型不是数值");
}

TEST_CASE("events from windows and units the registry cannot serve") {
    ExpectError("eventwindow", "未找到引发事件的窗口");
    ExpectError("eventunit", "未找到引发事件的窗口组件");
    ExpectError("eventinvalid", "引发事件的窗口组件无效");
}

TEST_CASE("an event raised while a run-time error box is open reaches no handler") {
    testing::SubjectEnd run = Run("errorbox", 1500);
    REQUIRE(run.boxSeen);
    CHECK(run.box.text == ErrorText("测试错误"));
    CHECK(run.log == "raised 0 handlers 0\r\n"); // the EndRoutine never runs after an error
    REQUIRE(run.exited);
    CHECK(run.exitCode == 0xFFFFFFFFu);
}

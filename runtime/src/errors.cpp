// Run-time errors: one message box, then the end of the process with -1.
#include <cstdio>
#include <cstring>
#include <string>

#include "runtime_state.h"

namespace st {

bool HookRunning = false;

static const char* const kErrorTexts[11] = {
    "数组成员引用下标超出定义范围",
    "未得到所需要的数值型数据",
    "引用数组成员时维数不为1且不等于该数组目前所具有的维数",
    "数组成员引用下标必须大于等于1",
    "数据或数组类型不匹配",
    "调用DLL命令后发现堆栈错误",
    "子语句参数未返回数据或者返回了非系统基本类型或数组型数据",
    "被比较数据只能使用等于或不等于命令比较",
    "“多项选择”命令的索引值参数小于零或超出了所提供参数表范围",
    "“重定义数组”命令的数组维定义参数值必须大于零或单维时大于等于零",
    "所提供参数的数据类型不符合要求",
};

void RuntimeError(const char* text, int32_t code) {
    RuntimeState& rt = Runtime();
    InterlockedIncrement(&rt.errorDepth);

    bool suppressed = false;
    if (rt.errorHook && !HookRunning) {
        HookRunning = true;
        suppressed = rt.errorHook(code, text ? text : "") != 0;
        HookRunning = false;
    }
    if (!suppressed) {
        std::string message = "运行时出错!\r\n\r\n";
        if (code != 0) {
            char number[16];
            std::snprintf(number, sizeof number, "%d", static_cast<int>(code));
            message += "错误代码：";
            message += number;
            message += "\r\n\r\n";
        }
        if (text && *text) {
            message += "错误信息：";
            message += text;
            message += "\r\n";
        }
        MessageBoxA(nullptr, message.c_str(), "错误", MB_ICONHAND | MB_OK);
    }
    rt.endRoutine = nullptr; // never run after an error
    EndProgram(-1);
}

void RaiseError(int32_t number) {
    // Numbers outside the table still end the program, with the code alone.
    const char* text = number >= 1 && number <= 11 ? kErrorTexts[number - 1] : "";
    RuntimeError(text, number);
}

} // namespace st

// A test subject on the real runtime with the registry's test templates. The
// first argument picks what it does, the second names a log file.
#include <cstdlib>
#include <string>

#include "registry.h"
#include "subject_args.h"
#include "test_units.h"
#include "test_windows.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

std::string logPath;

void Append(const std::string& line) {
    subject::Trace(logPath, line);
}

uint64_t Raise(uint32_t window, uint32_t unit, int32_t event) {
    st::EventRecord r{};
    r.window = window;
    r.unit = unit;
    r.event = event;
    r.argCount = 2;
    r.args[0] = 1;
    r.args[1] = 2;
    return st::RuntimeCallback(st::CallbackCode::RaiseEvent, reinterpret_cast<uint32_t>(&r), 0);
}

// Fires while the error box is open: the event must reach no handler.
void CALLBACK RaiseFromTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    uint64_t raised = Raise(testwindows::A, testwindows::Label1, testwindows::kResultEvent);
    Append("raised " + std::to_string(raised) + " handlers " +
           std::to_string(testwindows::trace.size()));
}

void EndRoutine() {
    std::string line = "end";
    for (const std::string& t : testwindows::trace)
        line += " " + t;
    Append(line);
}

} // namespace

extern "C" int ProgramEntry() {
    subject::Arguments args = subject::ReadArguments();
    if (!args.valid) return 2;
    logPath = args.log;
    const std::string& m = args.mode;
    using namespace testwindows;

    st::Services.Notify(st::NotifyCode::StartRuntime);
    st::Services.Notify(st::NotifyCode::SetEndRoutine, EndRoutine);
    if (m == "truncate") {
        // The segment the header points at, cut short.
        std::vector<uint8_t> segment = st::BuildTemplateSegment(Windows(&__ImageBase));
        st::Registry().Clear();
        uint32_t n = static_cast<uint32_t>(std::atoi(args.number.c_str()));
        st::LoadTemplateSegment(segment.data(), n, &__ImageBase);
        Append("loaded");
    } else if (m == "emptyindex") {
        st::Registry().Clear();
        const uint8_t empty[4] = {0, 0, 0, 0};
        st::LoadTemplateSegment(empty, 4, &__ImageBase);
        Append("windows " + std::to_string(st::Registry().WindowCount()));
        st::Services.LoadStartWindow(A);
    } else if (m == "unknownwindow") {
        st::Services.GetProperty(0x52019999, Label1, 0, -1);
    } else if (m == "notloaded") {
        st::Services.GetProperty(B, BButton, 8, -1); // the button's first own property
    } else if (m == "getobject") {
        st::RuntimeCallback(st::CallbackCode::GetUnitObject, B, BButton);
    } else if (m == "notnumeric") {
        st::TypedArg text{0, 0, st::TypeTag::Text, 0};
        st::RuntimeCallback(st::CallbackCode::ValueToInteger, reinterpret_cast<uint32_t>(&text), 0);
    } else if (m == "eventwindow") {
        Raise(0x52019999, Label1, 1);
    } else if (m == "eventunit") {
        Raise(A, 0x16019999, 1);
    } else if (m == "eventinvalid") {
        Raise(A, Quiet1, 1);
    } else if (m == "errorbox") {
        st::Services.LoadStartWindow(A);
        trace.clear();
        SetTimer(nullptr, 0, 50, RaiseFromTimer);
        st::RuntimeError("测试错误", 0);
    } else {
        return 2;
    }
    Append("returned");
    return 0;
}

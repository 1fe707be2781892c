// A test subject: a small program on the real runtime, driven by the runtime
// tests from outside. The first argument picks what it does, the second is
// the file its EndRoutine appends to.
#include <string>

#include "runtime_state.h"
#include "subject_args.h"

namespace {

std::string logPath;
HWND window;

void EndRoutine() {
    subject::Trace(logPath,
                   GetCurrentThreadId() == st::Runtime().mainThread ? "end main" : "end other");
}

// A library of our own, to see the end notification arrive after the EndRoutine.
int32_t TraceLibrary(int32_t code, uint32_t, uint32_t) {
    if (code == st::LibraryCode::Ending) subject::Trace(logPath, "library end");
    return code == st::LibraryCode::Ending ? 0 : -1;
}
const st::LibraryRecord traceLibrary = {"trace", "trace", 0, nullptr, 0, nullptr, TraceLibrary};

LRESULT CALLBACK SubjectProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    // As the window unit does it: the last window gone ends the loop.
    if (m == WM_DESTROY && st::Runtime().loopEntered) PostQuitMessage(0);
    return DefWindowProcA(w, m, wp, lp);
}

struct OneWindow : st::WindowRegistry {
    bool AnyWindowAlive() override { return IsWindow(window) != 0; }
    void DestroyAll() override {
        if (IsWindow(window)) DestroyWindow(window);
    }
} registry;

void ShowWindowOfOurOwn() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = SubjectProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "RuntimeSubjectWindow";
    RegisterClassA(&wc);
    window = CreateWindowExA(0, "RuntimeSubjectWindow", "subject", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             10, 10, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
    st::Runtime().windows = &registry;
}

DWORD WINAPI EndFromAnotherThread(LPVOID) {
    // Once the main thread runs its message loop (bounded: 10 s).
    for (int i = 0; i < 1000 && !st::Runtime().loopEntered; ++i)
        Sleep(10);
    st::Services.EndProgram(7);
    return 0;
}

DWORD WINAPI RaiseFromAnotherThread(LPVOID) {
    st::Services.RaiseError(6);
    return 0;
}

} // namespace

extern "C" int ProgramEntry() {
    subject::Arguments args = subject::ReadArguments();
    if (!args.valid) return 2;
    logPath = args.log;

    st::Services.Notify(st::NotifyCode::StartRuntime);
    st::Services.Notify(st::NotifyCode::SetEndRoutine, EndRoutine);
    st::Runtime().libraries.push_back(&traceLibrary);
    st::Runtime().libraryStates.push_back(0);
    const std::string& m = args.mode;
    if (m == "raise6") {
        st::Services.RaiseError(6);
    } else if (m == "error5") {
        st::RuntimeError("", 5);
    } else if (m == "allochuge") {
        st::Services.AllocMemory(0x7FFFFFFF);
    } else if (m == "newhuge") {
        // A C++ allocation no heap can serve; the size is read at run time so
        // that the compiler keeps the call.
        static volatile size_t huge = 0x7FFFFFF0;
        char* never = static_cast<char*>(::operator new(huge));
        never[0] = 1;
        ::operator delete(never);
    } else if (m == "alloc1000") {
        // A private heap of fixed size stands in for an exhausted process heap.
        HANDLE heap = HeapCreate(0, 0x10000, 0x10000);
        if (!heap) return 3;
        for (int i = 0; i < 1000 && HeapAlloc(heap, 0, 1000); ++i) {
        }
        if (HeapAlloc(heap, 0, 1000)) return 4; // the heap never refused: nothing to test
        st::Runtime().heap = heap;
        st::Services.AllocMemory(1000);
    } else if (m == "close") {
        ShowWindowOfOurOwn();
        st::Services.RunMessageLoop();
    } else if (m == "endthread") {
        ShowWindowOfOurOwn();
        CloseHandle(CreateThread(nullptr, 0, EndFromAnotherThread, nullptr, 0, nullptr));
        st::Services.RunMessageLoop();
    } else if (m == "raisethread") {
        ShowWindowOfOurOwn();
        CloseHandle(CreateThread(nullptr, 0, RaiseFromAnotherThread, nullptr, 0, nullptr));
        st::Services.RunMessageLoop();
    } else if (m == "status5") {
        return 5; // gives up without a window
    } else {
        return 2;
    }
    return 0;
}

#include "window_wait.h"

#include "command_access.h"
#include "external_functions.h"

#include <windows.h>

#include <vector>

namespace app {
namespace {

using namespace calls;

// A bound on each wait, in case the system does not count a message as new.
constexpr DWORD kWakeInterval = 100;

// The checked call with the arguments held in a vector.
uint32_t CheckedCall(int32_t n, const uint32_t* a, size_t count) {
    switch (count) {
    case 0: return External(n, {});
    case 1: return External(n, {a[0]});
    case 2: return External(n, {a[0], a[1]});
    case 3: return External(n, {a[0], a[1], a[2]});
    case 4: return External(n, {a[0], a[1], a[2], a[3]});
    case 5: return External(n, {a[0], a[1], a[2], a[3], a[4]});
    case 6: return External(n, {a[0], a[1], a[2], a[3], a[4], a[5]});
    case 7: return External(n, {a[0], a[1], a[2], a[3], a[4], a[5], a[6]});
    default: return External(n, {a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]});
    }
}

// One helper thread for the program's whole life, handed one call at a time
// (a thread per call would cost more than a short read does). Binding on
// first call there is safe: it fills only that function's own entry of the
// runtime's tables.
struct Helper {
    HANDLE thread = nullptr;
    HANDLE go = nullptr;   // a call is ready
    HANDLE done = nullptr; // it has returned
    int32_t n = 0;
    std::vector<uint32_t> args;
    uint32_t result = 0;
    bool busy = false; // a call is under way (a handler run meanwhile may call too)
};

DWORD WINAPI RunCalls(void* parameter) {
    auto* helper = static_cast<Helper*>(parameter);
    for (;;) {
        WaitForSingleObject(helper->go, INFINITE);
        helper->result = CheckedCall(helper->n, helper->args.data(), helper->args.size());
        SetEvent(helper->done);
    }
}

// WM_QUIT comes last, once nothing else is waiting: at the head of the queue
// it is all that is left, and the runtime's processing leaves it there.
bool OnlyQuitLeft() {
    MSG message;
    return PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE) && message.message == WM_QUIT;
}

Helper* StartedHelper() {
    static Helper helper;
    if (!helper.thread) {
        if (!helper.go) helper.go = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (!helper.done) helper.done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (helper.go && helper.done)
            helper.thread = CreateThread(nullptr, 0, RunCalls, &helper, 0, nullptr);
    }
    return helper.thread ? &helper : nullptr;
}

} // namespace

uint32_t ExternalWhileWindowRuns(int32_t n, std::initializer_list<uint32_t> args) {
    Helper* helper = StartedHelper();
    // No thread, or it is busy with the call this one runs inside of: wait here.
    if (!helper || helper->busy) return External(n, args);
    helper->busy = true;
    helper->n = n;
    helper->args.assign(args.begin(), args.end());
    SetEvent(helper->go);
    while (MsgWaitForMultipleObjects(1, &helper->done, FALSE, kWakeInterval, QS_ALLINPUT) !=
           WAIT_OBJECT_0) {
        // The queued WM_QUIT is for the main loop, which ends the program once
        // this handler returns; until then there is nothing to process.
        if (OnlyQuitLeft()) {
            WaitForSingleObject(helper->done, INFINITE);
            break;
        }
        Command(CommandId::ProcessEvents, {});
    }
    helper->busy = false;
    return helper->result;
}

bool ProgramEnding() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

} // namespace app

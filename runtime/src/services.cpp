// The service table, the command and external-function calls, and the
// runtime callback that libraries and unit types use.
#include <cstdio>

#include "runtime_state.h"
#include "st/units.h"

namespace st {

ArgRecord CallLibraryCommand(LibraryCommand command, int32_t count, ArgRecord* args) {
    ArgRecord result{0, 0, 0};
    command(&result, count, args);
    return result;
}

extern "C" void* BindDllCommand(int32_t n) {
    RuntimeState& rt = Runtime();
    if (n >= 0 && static_cast<size_t>(n) < rt.externalAddresses.size() && rt.externalAddresses[n])
        return rt.externalAddresses[n];
    if (rt.dllBinder) {
        if (void* address = rt.dllBinder(n)) return address;
    } else {
        return BindExternalFunction(n);
    }
    // No binder, or it could not bind: the same end as a missing export.
    std::string library, exportName;
    if (n >= 0 && static_cast<size_t>(n) < rt.externalExports.size()) {
        library = rt.externalLibraries[n];
        exportName = rt.externalExports[n];
    }
    std::string text;
    if (library.empty())
        text = "无法找到指定DLL库文件中的输出命令“" + exportName + "”";
    else
        text = "无法找到指定DLL库文件“" + library + "”中的输出命令“" + exportName + "”";
    RuntimeError(text.c_str(), 0);
}

// Entered with [return][n][the function's arguments]: bind n, then turn the
// stack into [return][arguments] and jump, so the function returns straight
// to the caller and removes its own arguments; the slot holding n is gone
// with the return address.
asm(R"(
    .text
    .globl _CallDllCommandThunk
    .def _CallDllCommandThunk; .scl 2; .type 32; .endef
_CallDllCommandThunk:
    pushl 4(%esp)
    call _BindDllCommand
    addl $4, %esp
    popl %ecx
    movl %ecx, (%esp)
    jmp *%eax
)");

static void ServiceRaiseError(int32_t n) {
    RaiseError(n);
}
static uint64_t ServiceGetProperty(uint32_t window, uint32_t unit, int32_t index, int32_t part) {
    return Runtime().windows->GetProperty(window, unit, index, part);
}
static void ServiceSetProperty(uint32_t window, uint32_t unit, int32_t index, int32_t part,
                               uint32_t low, uint32_t high) {
    Runtime().windows->SetProperty(window, unit, index, part, low, high);
}
static void ServiceEndProgram(int32_t code) {
    EndProgram(code);
}
static void ServiceRunMessageLoop() {
    RunMessageLoop(false);
}

const RuntimeServices Services = {
    ServiceRaiseError,
    reinterpret_cast<const void*>(&CallDllCommandThunk),
    CallLibraryCommand,
    CallLibraryCommand,
    ServiceGetProperty,
    ServiceSetProperty,
    AllocMemory,
    ReallocMemory,
    FreeMemory,
    ServiceEndProgram,
    ServiceRunMessageLoop,
    LoadStartWindow,
    Notify,
};

void EnterConstruction() {
    ProcessPendingMessages();
    InterlockedIncrement(&Runtime().errorDepth);
}

void LeaveConstruction() {
    ProcessPendingMessages();
    RuntimeState& rt = Runtime();
    if (rt.errorDepth > 0) InterlockedDecrement(&rt.errorDepth);
}

uint64_t RuntimeCallback(int32_t code, uint32_t value1, uint32_t value2) {
    RuntimeState& rt = Runtime();
    switch (code) {
    case CallbackCode::DefaultIcons:
        // The program's icons, loaded on the first request, destroyed at the end.
        if (!rt.largeIcon && !rt.smallIcon) {
            HINSTANCE self = GetModuleHandleA(nullptr);
            rt.largeIcon.reset(static_cast<HICON>(LoadImageA(self, "DEFAULT_ICON", IMAGE_ICON,
                                                             GetSystemMetrics(SM_CXICON),
                                                             GetSystemMetrics(SM_CYICON), 0)));
            rt.smallIcon.reset(static_cast<HICON>(LoadImageA(self, "DEFAULT_ICON", IMAGE_ICON,
                                                             GetSystemMetrics(SM_CXSMICON),
                                                             GetSystemMetrics(SM_CYSMICON), 0)));
        }
        return reinterpret_cast<uint32_t>(rt.largeIcon.get()) |
               static_cast<uint64_t>(reinterpret_cast<uint32_t>(rt.smallIcon.get())) << 32;
    case CallbackCode::AddIdleHook:
        // value1 = window, value2 = a two-word record: routine, argument.
        if (const uint32_t* hook = reinterpret_cast<const uint32_t*>(value2))
            rt.AddIdleHook(reinterpret_cast<HWND>(value1), reinterpret_cast<IdleRoutine>(hook[0]),
                           hook[1]);
        return 0;
    case CallbackCode::RemoveIdleHook:
        rt.RemoveIdleHook(reinterpret_cast<HWND>(value1));
        return 0;
    case CallbackCode::ProgramDirectory:
        return reinterpret_cast<uint32_t>(rt.programDirectory.c_str());
    case CallbackCode::ProgramFileName:
        return reinterpret_cast<uint32_t>(rt.programFileName.c_str());
    case CallbackCode::EnterConstruction:
        EnterConstruction();
        return 0;
    case CallbackCode::LeaveConstruction:
        LeaveConstruction();
        return 0;
    case CallbackCode::ProcessMessages:
        ProcessPendingMessages();
        return 0;
    case CallbackCode::Allocate:
        if (value2 == 0)
            return reinterpret_cast<uint32_t>(AllocMemory(static_cast<int32_t>(value1)));
        return reinterpret_cast<uint32_t>(
            HeapAlloc(rt.heap ? rt.heap : GetProcessHeap(), 0, value1));
    case CallbackCode::Free:
        FreeMemory(reinterpret_cast<void*>(value1));
        return 0;
    case CallbackCode::Reallocate:
        return reinterpret_cast<uint32_t>(
            ReallocMemory(reinterpret_cast<void*>(value1), static_cast<int32_t>(value2)));
    case CallbackCode::Fail:
        RuntimeError(reinterpret_cast<const char*>(value1), 0);
    case CallbackCode::End:
        EndProgram(static_cast<int32_t>(value1));
    case CallbackCode::FirstBuildWord:
        return rt.build[0];
    case CallbackCode::PlayerEntry:
        return reinterpret_cast<uint32_t>(rt.player.Lookup(reinterpret_cast<const char*>(value1)));
    case CallbackCode::PlayerHandle: {
        void* held = rt.player.handle;
        if (value2 == 1) rt.player.handle = reinterpret_cast<void*>(value1);
        return reinterpret_cast<uint32_t>(held);
    }
    default:
        return rt.windows->Callback(code, value1, value2);
    }
}

} // namespace st

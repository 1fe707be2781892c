#include "dll_binding.h"

#include "runtime_state.h"
#include "st/services.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace st {

// ---------------------------------------------------------------------------
// The one piece of i386 assembly of the checked call.
//
// _StRawStdCall(target, args, count, stackDelta), cdecl. Pushes
// args[count-1] .. args[0], calls target, then measures ESP against its value
// before the first push: a function of the standard calling convention
// removes exactly its arguments, so the difference is 0; one that removes too
// few or too many leaves it non-zero. ESP is then restored from EDI, so the
// caller's frame survives an unbalanced callee. EBX, ESI, EDI and EBP are
// callee-saved in that convention; the routine relies on the callee keeping
// EBP and EDI. EDX:EAX (the result) pass through untouched.
// ---------------------------------------------------------------------------
extern "C" uint64_t StRawStdCall(const void* target, const uint32_t* args, int32_t count,
                                 int32_t* stackDelta);

asm(R"(
    .text
    .globl _StRawStdCall
    .def _StRawStdCall; .scl 2; .type 32; .endef
_StRawStdCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %edi
1:  testl %ecx, %ecx
    jle 2f
    pushl -4(%esi,%ecx,4)
    decl %ecx
    jmp 1b
2:  call *8(%ebp)
    movl %esp, %ecx
    subl %edi, %ecx
    movl 20(%ebp), %ebx
    movl %ecx, (%ebx)
    movl %edi, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

uint64_t RawStdCall(const void* target, const uint32_t* args, int32_t count, int32_t* stackDelta) {
    return StRawStdCall(target, args, count, stackDelta);
}

uint32_t CheckedDllCall(int32_t n, std::initializer_list<uint32_t> args) {
    // Slot 1 takes the function number as its first argument and, with the
    // function, removes it together with the function's own.
    std::vector<uint32_t> all;
    all.reserve(args.size() + 1);
    all.push_back(static_cast<uint32_t>(n));
    all.insert(all.end(), args.begin(), args.end());
    int32_t delta = 0;
    uint64_t r =
        StRawStdCall(Services.CallDllCommand, all.data(), static_cast<int32_t>(all.size()), &delta);
    if (delta != 0) RaiseError(6);
    return static_cast<uint32_t>(r);
}

uint32_t CheckedStdCall(const void* function, std::initializer_list<uint32_t> args) {
    int32_t delta = 0;
    uint64_t r = StRawStdCall(function, args.begin(), static_cast<int32_t>(args.size()), &delta);
    if (delta != 0) RaiseError(6);
    return static_cast<uint32_t>(r);
}

// ---------------------------------------------------------------------------
// Calls made aside. The call record has two owners, the waiting thread and
// the worker; whichever lets go last frees it, so a wait that gives up
// leaves the worker a record that is still whole.
// ---------------------------------------------------------------------------
namespace {

// How long one wait lasts before the queue is looked at again anyway.
constexpr DWORD kPumpInterval = 50;

struct AsideCall {
    const void* function = nullptr;
    std::vector<uint32_t> args;
    std::vector<std::vector<uint8_t>> copies; // one per memory argument, in order
    uint32_t value = 0;
    HANDLE done = nullptr;
    HMODULE pin = nullptr; // keeps the function's module loaded while the call runs
    volatile LONG owners = 2;
};

void LetGo(AsideCall* call) {
    if (InterlockedDecrement(&call->owners) != 0) return;
    CloseHandle(call->done);
    if (call->pin) FreeLibrary(call->pin);
    delete call;
}

void Perform(AsideCall* call) {
    int32_t delta = 0;
    call->value = static_cast<uint32_t>(StRawStdCall(
        call->function, call->args.data(), static_cast<int32_t>(call->args.size()), &delta));
    if (delta != 0) RaiseError(6);
}

DWORD WINAPI RunAside(void* parameter) {
    auto* call = static_cast<AsideCall*>(parameter);
    Perform(call);
    SetEvent(call->done);
    LetGo(call);
    return 0;
}

// Waits for the call while the messages of this thread go through the
// runtime's pump; false when WM_QUIT is next before the call has ended.
bool WaitPumping(HANDLE done) {
    for (;;) {
        const DWORD r =
            MsgWaitForMultipleObjectsEx(1, &done, kPumpInterval, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0) return true;
        MSG next;
        if (PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE) && next.message == WM_QUIT)
            return false;
        ProcessPendingMessages();
    }
}

} // namespace

AsideResult CheckedDllCallAside(int32_t n, std::initializer_list<AsideArg> args) {
    // Bound here, on the calling thread: the binding tables are not shared
    // with the worker.
    auto* call = new AsideCall;
    call->function = BindDllCommand(n);
    call->args.reserve(args.size());
    call->copies.reserve(args.size());
    for (const AsideArg& a : args) {
        if (!a.data) {
            call->args.push_back(a.word);
            continue;
        }
        const auto* bytes = static_cast<const uint8_t*>(a.data);
        call->copies.emplace_back(bytes, bytes + a.size);
        call->args.push_back(
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(call->copies.back().data())));
    }
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       static_cast<const char*>(call->function), &call->pin);
    call->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = call->done ? CreateThread(nullptr, 0, RunAside, call, 0, nullptr) : nullptr;
    if (thread) {
        CloseHandle(thread);
        if (!WaitPumping(call->done)) {
            LetGo(call);
            return {false, 0};
        }
    } else {
        // No thread to spare: the call runs here, as an ordinary one.
        Perform(call);
        call->owners = 1;
    }
    size_t copy = 0;
    for (const AsideArg& a : args) {
        if (!a.data) continue;
        if (a.writeBack) std::memcpy(const_cast<void*>(a.data), call->copies[copy].data(), a.size);
        ++copy;
    }
    const uint32_t value = call->value;
    LetGo(call);
    return {true, value};
}

// ---------------------------------------------------------------------------

namespace {

void* SystemLoad(const char* name) {
    return LoadLibraryA(name);
}
void* SystemFind(void* module, const char* exportName) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), exportName));
}
void SystemUnload(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

// The pattern with one or two names put in ("%s" each).
std::string Format(const char* pattern, const std::string& a, const std::string& b = {}) {
    std::string out(a.size() + b.size() + 128, '\0');
    const int n = std::snprintf(out.data(), out.size(), pattern, a.c_str(), b.c_str());
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

} // namespace

LibraryLoader SystemLibraryLoader() {
    return {SystemLoad, SystemFind, SystemUnload};
}

LibraryLoader& ActiveLibraryLoader() {
    static LibraryLoader loader = SystemLibraryLoader();
    return loader;
}

void DeclareExternalFunctions(int32_t count, const char* const* libraryNames,
                              const char* const* exportNames) {
    RuntimeState& rt = Runtime();
    ReleaseExternalFunctions();
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    rt.externalLibraries.assign(n, std::string());
    rt.externalExports.assign(n, std::string());
    rt.externalAddresses.assign(n, nullptr);
    rt.externalModules.assign(n, nullptr);
    for (size_t i = 0; i < n; ++i) {
        if (libraryNames && libraryNames[i]) rt.externalLibraries[i] = libraryNames[i];
        if (exportNames && exportNames[i]) rt.externalExports[i] = exportNames[i];
    }
}

void ReleaseExternalFunctions() {
    // The tables are emptied before any module goes, so that nothing binds
    // through them while the modules are unloaded.
    RuntimeState& rt = Runtime();
    std::vector<HMODULE> modules;
    modules.swap(rt.externalModules);
    rt.externalLibraries.clear();
    rt.externalExports.clear();
    rt.externalAddresses.clear();
    for (HMODULE module : modules)
        if (module) ActiveLibraryLoader().unload(module);
}

void* Bind(int32_t n) {
    RuntimeState& rt = Runtime();
    const LibraryLoader& loader = ActiveLibraryLoader();
    const bool inTables = n >= 0 && static_cast<size_t>(n) < rt.externalAddresses.size();
    if (inTables && rt.externalAddresses[n]) return rt.externalAddresses[n];

    const std::string exportName = inTables ? rt.externalExports[n] : std::string();
    const std::string libraryName = inTables ? rt.externalLibraries[n] : std::string();
    // "#5" names the export by ordinal: the number's low 16 bits.
    const char* key = exportName.c_str();
    if (!exportName.empty() && exportName[0] == '#')
        key = reinterpret_cast<const char*>(
            static_cast<uintptr_t>(std::strtoul(exportName.c_str() + 1, nullptr, 10) & 0xFFFF));

    void* address = nullptr;
    void* module = nullptr;
    if (libraryName.empty()) {
        for (const char* library : DefaultSystemLibraries) {
            void* candidate = loader.load(library);
            if (!candidate) continue;
            address = loader.find(candidate, key);
            if (address) {
                module = candidate;
                break;
            }
            loader.unload(candidate);
        }
    } else {
        if (libraryName.find(':') != std::string::npos) {
            module = loader.load(libraryName.c_str());
        } else {
            module = loader.load((rt.programDirectory + "\\" + libraryName).c_str());
            if (!module && !rt.moduleDirectory.empty())
                module = loader.load((rt.moduleDirectory + libraryName).c_str());
            if (!module) module = loader.load(libraryName.c_str());
        }
        if (module) address = loader.find(module, key);
    }

    if (address) {
        if (inTables) {
            rt.externalAddresses[n] = address;
            rt.externalModules[n] = static_cast<HMODULE>(module);
        }
        return address;
    }
    if (module) loader.unload(module);
    if (libraryName.empty())
        RuntimeError(Format("无法找到指定DLL库文件中的输出命令“%s”", exportName).c_str(), 0);
    RuntimeError(
        Format("无法找到指定DLL库文件“%s”中的输出命令“%s”", libraryName, exportName).c_str(), 0);
}

// Slot 1 binds through here whenever no test binder is installed.
void* BindExternalFunction(int32_t n) {
    return Bind(n);
}

} // namespace st

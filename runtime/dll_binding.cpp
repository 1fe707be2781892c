#include "dll_binding.h"

#include "st/values.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace st {

// ---------------------------------------------------------------------------
// The two pieces of i386 assembly of the external-function calls. They are
// the only assembly here; everything else is C++.
//
// _CallDllCommand (service slot 1). On entry: EAX = function number, [ESP] =
// the caller's return address, above it the function's arguments exactly as
// for a direct call. It binds through StBindForThunk (cdecl, may clobber EAX,
// ECX, EDX, which the standard calling convention leaves to the caller
// anyway) and jumps to the function, so the function sees the caller's
// frame untouched and returns straight to the caller.
//
// _StRawStdCall(target, args, count, eaxValue, stackDelta), cdecl. Pushes
// args[count-1] .. args[0], loads EAX, calls target, then measures ESP
// against its value before the first push: a function of the standard
// calling convention removes exactly its arguments, so the difference is 0;
// a function that removes too few or too many leaves it non-zero. ESP is then
// restored from EDI, so the caller's frame survives an unbalanced callee.
// EBX, ESI, EDI and EBP are callee-saved in that convention; the routine
// relies on the callee keeping EBP and EDI. EDX:EAX (the result) pass through.
// ---------------------------------------------------------------------------
extern "C" void* StBindForThunk(int32_t n) {
    return Bind(n);
}

extern "C" uint64_t StRawStdCall(const void* target, const uint32_t* args, int32_t count,
                                 uint32_t eaxValue, int32_t* stackDelta);

asm(R"(
    .text
    .globl _CallDllCommand
    .def _CallDllCommand; .scl 2; .type 32; .endef
_CallDllCommand:
    pushl %eax
    call _StBindForThunk
    addl $4, %esp
    jmp *%eax

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
2:  movl 20(%ebp), %eax
    call *8(%ebp)
    movl %esp, %ecx
    subl %edi, %ecx
    movl 24(%ebp), %ebx
    movl %ecx, (%ebx)
    movl %edi, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

uint64_t RawStdCall(const void* target, const uint32_t* args, int32_t count, uint32_t eaxValue,
                    int32_t* stackDelta) {
    return StRawStdCall(target, args, count, eaxValue, stackDelta);
}

uint32_t CheckedDllCall(int32_t n, std::initializer_list<uint32_t> args) {
    int32_t delta = 0;
    uint64_t r = StRawStdCall(reinterpret_cast<const void*>(&CallDllCommand), args.begin(),
                              static_cast<int32_t>(args.size()), static_cast<uint32_t>(n), &delta);
    if (delta != 0) RaiseError(6);
    return static_cast<uint32_t>(r);
}

uint32_t CheckedStdCall(const void* function, std::initializer_list<uint32_t> args) {
    int32_t delta = 0;
    uint64_t r = StRawStdCall(function, args.begin(), static_cast<int32_t>(args.size()), 0, &delta);
    if (delta != 0) RaiseError(6);
    return static_cast<uint32_t>(r);
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

std::string Format(const char* pattern, const std::string& a, const std::string* b = nullptr) {
    std::string out(a.size() + (b ? b->size() : 0) + 128, '\0');
    int n = b ? std::snprintf(out.data(), out.size(), pattern, a.c_str(), b->c_str())
              : std::snprintf(out.data(), out.size(), pattern, a.c_str());
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

ExternalFunctionTables& ExternalFunctions() {
    static ExternalFunctionTables tables;
    return tables;
}

void InitialiseExternalFunctions(int32_t count, const char* const* libraryNames,
                                 const char* const* exportNames,
                                 const std::string& programDirectory,
                                 const std::string& moduleDirectory) {
    ExternalFunctionTables& t = ExternalFunctions();
    const size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    t.libraryNames.assign(n, std::string());
    t.exportNames.assign(n, std::string());
    t.addresses.assign(n, nullptr);
    t.modules.assign(n, nullptr);
    for (size_t i = 0; i < n; ++i) {
        if (libraryNames && libraryNames[i]) t.libraryNames[i] = libraryNames[i];
        if (exportNames && exportNames[i]) t.exportNames[i] = exportNames[i];
    }
    t.programDirectory = programDirectory;
    t.moduleDirectory = moduleDirectory;
}

void ReleaseExternalFunctions() {
    ExternalFunctionTables& t = ExternalFunctions();
    for (void* module : t.modules)
        if (module) ActiveLibraryLoader().unload(module);
    t.libraryNames.clear();
    t.exportNames.clear();
    t.addresses.clear();
    t.modules.clear();
}

void* Bind(int32_t n) {
    ExternalFunctionTables& t = ExternalFunctions();
    const LibraryLoader& loader = ActiveLibraryLoader();
    const bool inTables = n >= 0 && static_cast<size_t>(n) < t.addresses.size();
    if (inTables && t.addresses[n]) return t.addresses[n];

    const std::string exportName = inTables ? t.exportNames[n] : std::string();
    const std::string libraryName = inTables ? t.libraryNames[n] : std::string();
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
            module = loader.load((t.programDirectory + "\\" + libraryName).c_str());
            if (!module && !t.moduleDirectory.empty())
                module = loader.load((t.moduleDirectory + libraryName).c_str());
            if (!module) module = loader.load(libraryName.c_str());
        }
        if (module) address = loader.find(module, key);
    }

    if (address) {
        if (inTables) {
            t.addresses[n] = address;
            t.modules[n] = module;
        }
        return address;
    }
    if (module) loader.unload(module);
    if (libraryName.empty())
        RuntimeError(Format("无法找到指定DLL库文件中的输出命令“%s”", exportName).c_str(), 0);
    RuntimeError(
        Format("无法找到指定DLL库文件“%s”中的输出命令“%s”", libraryName, &exportName).c_str(), 0);
}

} // namespace st

// External functions: functions of system libraries declared by library file
// name and export name, bound on their first call and remembered.
//
// The application reaches them through CallDllCommand with the function
// number in EAX and the function's own arguments on the stack exactly as for
// a direct call; CallDllCommand binds (first call only) and jumps to the
// function, which returns straight to the caller. CheckedDllCall wraps that
// with the stack check every external call of the application makes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace st {

// The four binding tables, one entry per declared function.
struct ExternalFunctionTables {
    std::vector<std::string> libraryNames; // empty: the default system libraries
    std::vector<std::string> exportNames;  // "#5" names ordinal 5
    std::vector<void*> addresses;          // null until bound
    std::vector<void*> modules;            // set only by a successful binding
    std::string programDirectory;          // without trailing backslash
    std::string moduleDirectory;           // with trailing backslash; may be empty
};

// The process's tables (part of the runtime state): sized and filled from the
// program's declarations at start-up.
ExternalFunctionTables& ExternalFunctions();
void InitialiseExternalFunctions(int32_t count, const char* const* libraryNames,
                                 const char* const* exportNames,
                                 const std::string& programDirectory,
                                 const std::string& moduleDirectory);
// Shut-down: one FreeLibrary per successful binding, then the tables go.
void ReleaseExternalFunctions();

// Binds function n (once) and returns its address. A library that cannot be
// loaded, or lacks the export, ends the program with a run-time error naming
// both (or the export alone for the default libraries).
void* Bind(int32_t n);

// The default libraries searched for an empty library name, in order.
inline constexpr const char* DefaultSystemLibraries[] = {
    "Kernel32.dll", "Gdi32.dll", "User32.dll", "Advapi32.dll", "Mpr.dll", "Shell32.dll"};

// The loader calls Bind makes; tests replace them to watch what is loaded.
struct LibraryLoader {
    void* (*load)(const char* name);
    void* (*find)(void* module, const char* exportName); // exportName may be an ordinal
    void (*unload)(void* module);
};
LibraryLoader& ActiveLibraryLoader();
LibraryLoader SystemLibraryLoader();

extern "C" {
// Service slot 1: function number in EAX, the function's arguments on the
// stack; binds and transfers control. Not callable from C++ directly.
void CallDllCommand();
}

// Calls target with the system's standard calling convention (callee removes
// its arguments), args[0] first, with eax holding eaxValue at the call. The
// stack is restored whatever the callee did; *stackDelta is how far the stack
// position after the call lies from where it was before the arguments were
// placed (0 for a well-behaved function). Returns EDX:EAX.
uint64_t RawStdCall(const void* target, const uint32_t* args, int32_t count, uint32_t eaxValue,
                    int32_t* stackDelta);

// The application's external call: through CallDllCommand, checked;
// run-time error 6 when the function left the stack unbalanced.
uint32_t CheckedDllCall(int32_t n, std::initializer_list<uint32_t> args);

// The same check around a function called directly by address.
uint32_t CheckedStdCall(const void* function, std::initializer_list<uint32_t> args);

} // namespace st

// External functions: functions of system libraries declared by library file
// name and export name, bound on their first call and remembered in the
// runtime state's four tables. Service slot 1 calls Bind through the
// runtime's binder hook.
#pragma once

#include "st/checked_call.h"

#include <cstdint>
#include <string>

namespace st {

// Binds function n (once) and returns its address. A library that cannot be
// loaded, or lacks the export, ends the program with a run-time error naming
// both (or the export alone for the default libraries).
void* Bind(int32_t n);

// The default libraries searched for an empty library name, in order.
inline constexpr const char* DefaultSystemLibraries[] = {
    "Kernel32.dll", "Gdi32.dll", "User32.dll", "Advapi32.dll", "Mpr.dll", "Shell32.dll"};

// Replaces the declarations (tests; start-up fills them from the header).
void DeclareExternalFunctions(int32_t count, const char* const* libraryNames,
                              const char* const* exportNames);
// One unload per successful binding and empty tables, as at shut-down.
void ReleaseExternalFunctions();

// The loader calls Bind makes; tests replace them to watch what is loaded.
struct LibraryLoader {
    void* (*load)(const char* name);
    void* (*find)(void* module, const char* exportName); // exportName may be an ordinal
    void (*unload)(void* module);
};
LibraryLoader& ActiveLibraryLoader();
LibraryLoader SystemLibraryLoader();

// Calls target with the system's standard calling convention (callee removes
// its arguments), args[0] first. The stack is restored whatever the callee
// did; *stackDelta is how far the stack position after the call lies from
// where it was before the arguments were placed (0 for a well-behaved
// function). Returns EDX:EAX.
uint64_t RawStdCall(const void* target, const uint32_t* args, int32_t count, int32_t* stackDelta);

} // namespace st

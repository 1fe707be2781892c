// The runtime as application code sees it: the program's start-up record,
// the thirteen-slot service table and the command-library descriptors.
// Application code includes this and values.h, nothing else of the runtime.
#pragma once

#include <cstdint>

#include "st/values.h"

namespace st {

// --- Command libraries ----------------------------------------------------

// A unit type's interface: entry number -> routine, or null.
using UnitInterface = void* (*)(int32_t entry);

// One data type of a library: fourteen words, texts and tables by reference.
struct TypeRecord {
    const char* name = nullptr;
    const char* englishName = nullptr;
    const char* explanation = nullptr;
    int32_t commandCount = 0;
    const int32_t* commands = nullptr;
    uint32_t flags = 0; // 0x40 window unit, 0x04 raises events, 0x8000 windowless
    const void* picture = nullptr;
    int32_t eventCount = 0;
    const void* events = nullptr;
    int32_t propertyCount = 0;
    const void* properties = nullptr; // 20-byte entries, PropertyKind in the first 16 bits
    UnitInterface unitInterface = nullptr;
    int32_t elementCount = 0;
    const void* elements = nullptr;
};
static_assert(sizeof(TypeRecord) == 14 * 4 || sizeof(void*) != 4, "TypeRecord is fourteen words");

namespace TypeFlag {
inline constexpr uint32_t RaisesEvents = 0x04;
inline constexpr uint32_t WindowUnit = 0x40;
inline constexpr uint32_t Windowless = 0x8000;
} // namespace TypeFlag

// The routine the runtime hands every library at start-up (numbered requests).
using RuntimeCallbackFn = uint64_t (*)(int32_t code, uint32_t value1, uint32_t value2);
// A library's notification entry: (code, value, value) -> result; -1 = unknown code.
using LibraryNotifyFn = int32_t (*)(int32_t code, uint32_t value1, uint32_t value2);

struct LibraryRecord {
    const char* identifier;
    const char* name;
    int32_t typeCount;
    const TypeRecord* types;
    int32_t commandCount;
    const LibraryCommand* commands;
    LibraryNotifyFn notify;
};

// Library notification codes the runtime sends.
namespace LibraryCode {
inline constexpr int32_t SetCallback = 1; // value1 = RuntimeCallbackFn
inline constexpr int32_t Ending = 6;      // value1 = the library's state word
} // namespace LibraryCode

// The core library (core/core_library.cpp).
extern const LibraryRecord CoreLibrary;
// The runtime callback the core library was handed at start-up (null before);
// the core library's notification entry stores it.
RuntimeCallbackFn CoreRuntimeCallback();
void SetCoreRuntimeCallback(RuntimeCallbackFn callback);
inline constexpr int32_t CoreTypeCount = 51;

// --- The program's start-up record ------------------------------------------

struct ProgramHeader {
    uint32_t build[3];
    const void* codeBase;      // handler offsets in templates count from here
    const void* constantStart; // the constant segment, registered as static data
    uint32_t constantLength;
    const void* templateStart; // serialised window templates; length 0 = no windows
    uint32_t templateLength;
    int32_t libraryCount;
    const LibraryRecord* const* libraries;
    int32_t externalCount; // external-function declarations, in order
    const char* const* externalLibraries;
    const char* const* externalExports;
};
static_assert(sizeof(ProgramHeader) == 13 * 4 || sizeof(void*) != 4,
              "ProgramHeader is thirteen words");

// The constant segment: everything placed with ST_CONSTANT lies between these
// two markers (the linker sorts the .rdata$ groups by name), so the runtime can
// tell constants from heap blocks by address.
#define ST_CONSTANT __attribute__((section(".rdata$stc_m"), used))
extern "C" const char ConstantSegmentBegin[];
extern "C" const char ConstantSegmentEnd[];
// The constant segment's length, for a ProgramHeader (filled in at static
// initialisation: an image cannot hold an address difference as a constant).
inline uint32_t ConstantSegmentLength() {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ConstantSegmentEnd) -
                                 reinterpret_cast<uintptr_t>(ConstantSegmentBegin));
}

// --- The service table ----------------------------------------------------------

namespace NotifyCode {
inline constexpr int32_t FindFile = 0;  // (pattern, mask, anyFile, HANDLE* search) -> TextValue
inline constexpr int32_t CloseFind = 1; // (HANDLE search)
inline constexpr int32_t MakeArrayWritable = 2; // (elementSize, void** arrayVariable)
inline constexpr int32_t SetEndRoutine = 3;     // (void (*)())
inline constexpr int32_t GetObjectProperty =
    4; // (typeId, object, index, wantedKind, uint64_t* out) -> 1/0
inline constexpr int32_t SetObjectProperty =
    5; // (typeId, object, index, valueKind, const uint32_t value[2]) -> 1/0
inline constexpr int32_t StartRuntime = 6; // ()
} // namespace NotifyCode

using EndRoutineFn = void (*)();

// Event handlers. The runtime calls a handler bound in a window template
// (code base + offset, st/template_builder.h) as a cdecl routine whose first
// parameter is the event's HandlerResult, followed by the event's argument
// words in order (plain events: up to five words; typed events: one or two
// words per argument). cdecl lets a handler declare fewer parameters than it
// is given, so `void OnClick()` is a valid handler of any event:
//   void OnMouseDown(st::HandlerResult* result, uint32_t x, uint32_t y, uint32_t keys) {
//       result->Report(0); // drop the message
//   }
struct HandlerResult {
    uint32_t reported; // 0 until the handler reports a result
    uint32_t value[2]; // low word first
    void Report(uint32_t low, uint32_t high = 0) {
        reported = 1;
        value[0] = low;
        value[1] = high;
    }
};

// A font as application code reads and writes a font property as a whole
// (part selector -1). GetProperty answers a new block (AllocMemory) holding
// one FontRecord whose face is a new text: free the face, then the block.
// Part selectors 0-6 read or write one field instead, in this order.
struct FontRecord {
    int32_t angle;     // tenths of a degree
    int32_t bold;      // 0/1
    int32_t italic;    // 0/1
    int32_t underline; // 0/1
    int32_t strikeOut; // 0/1
    int32_t size;      // points
    TextValue face;    // null or too long (31 bytes or more): the default face
};
static_assert(sizeof(FontRecord) == 28 || sizeof(void*) != 4, "seven-word font record");

struct RuntimeServices {
    void (*RaiseError)(int32_t number);
    // Slot 1 is a machine-level thunk: call it as a stdcall routine whose
    // first argument is the external-function number, followed by the
    // function's own arguments. It binds on first use, drops the number and
    // jumps to the function, which returns straight to the caller and removes
    // its own arguments; together the call removes everything the caller pushed.
    const void* CallDllCommand;
    ArgRecord (*CallLibraryCommand)(LibraryCommand command, int32_t count, ArgRecord* args);
    ArgRecord (*CallLibraryCommand2)(LibraryCommand command, int32_t count, ArgRecord* args);
    uint64_t (*GetProperty)(uint32_t window, uint32_t unit, int32_t index, int32_t part);
    void (*SetProperty)(uint32_t window, uint32_t unit, int32_t index, int32_t part, uint32_t low,
                        uint32_t high);
    void* (*AllocMemory)(int32_t size);
    void* (*ReallocMemory)(void* block, int32_t size);
    void (*FreeMemory)(void* block);
    void (*EndProgram)(int32_t code);
    void (*RunMessageLoop)();
    void (*LoadStartWindow)(uint32_t window);
    uint32_t (*Notify)(int32_t code, ...);
};

extern const RuntimeServices Services;

// Calls external function n through slot 1, e.g.
//   CallDll<int, UINT, DWORD, LPCSTR, int, LPWSTR, int>(0, ...)
template <typename R, typename... A> R CallDll(int32_t n, A... args) {
    using Thunk = R(__attribute__((stdcall))*)(int32_t, A...);
    return reinterpret_cast<Thunk>(const_cast<void*>(Services.CallDllCommand))(n, args...);
}

} // namespace st

// Supplied by the application (app/ or a test program).
extern "C" const st::ProgramHeader ProgramHeaderRecord;
extern "C" int ProgramEntry();

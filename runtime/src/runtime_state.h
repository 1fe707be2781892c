// The runtime's process-wide state and its internal entry points. Only the
// runtime (and its tests) include this; application code sees services.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework.h"
#include "st/gdi_owned.h"
#include "st/services.h"

namespace st {

inline constexpr UINT WM_RUNTIME_END = WM_APP + 999; // 0x83E7
static_assert(WM_RUNTIME_END == 0x83E7);

using ErrorHookFn = int32_t (*)(int32_t code, const char* text);
using IdleRoutine = void (*)(uintptr_t argument);
// Binds external function n and returns its address (the binding module sets it).
using DllBinderFn = void* (*)(int32_t n);
struct EventRecord; // st/units.h
// Test support: sees an event that may reach a handler; true when it answered
// the event in the handler's place.
using EventObserverFn = bool (*)(EventRecord& record);

// Address ranges [start, end) of constant data the memory services never free.
class StaticBlockList {
  public:
    void Add(const void* start, uint32_t length);
    // End of the first range holding p, or 0 when p is not static.
    uintptr_t Find(const void* p) const;
    void Clear() { ranges_.clear(); }
    size_t Size() const { return ranges_.size(); }

  private:
    struct Range {
        uintptr_t start, end;
    };
    std::vector<Range> ranges_;
};

// What the template loader and unit registry provide (registry.h holds the
// runtime's own; tests may install another).
class WindowRegistry {
  public:
    virtual ~WindowRegistry() = default;
    virtual bool LoadTemplates(const void* start, uint32_t length, const void* codeBase);
    virtual bool AnyWindowAlive() { return false; }
    virtual bool LoadWindow(uint32_t window, bool show, bool modal, HWND owner);
    virtual void DestroyAll() {}
    virtual uint64_t GetProperty(uint32_t window, uint32_t unit, int32_t index, int32_t part);
    virtual void SetProperty(uint32_t window, uint32_t unit, int32_t index, int32_t part,
                             uint32_t low, uint32_t high);
    // Runtime-callback codes that belong to the registry; 0 when unknown.
    virtual uint64_t Callback(int32_t code, uint32_t value1, uint32_t value2);
    // The window running modally, 0 when none.
    virtual uint32_t ModalWindow() { return 0; }
    // A message before dispatch: true when a loaded window consumed it.
    virtual bool PreTranslate(MSG& msg) {
        (void)msg;
        return false;
    }
    // One idle call of the loaded windows (milliseconds since the idle
    // period began, period restarted); true while any window wants more.
    virtual bool IdleEvents(uint32_t milliseconds, bool newPeriod) {
        (void)milliseconds, (void)newPeriod;
        return false;
    }
    // The runtime's outermost pump has dispatched a message: nothing of a
    // window procedure is running any more.
    virtual void AfterDispatch() {}
};

// A module reached by entry-point name (the MP3 player is one).
struct PlayerProvider {
    int32_t (*initialise)() = nullptr;
    void* (*lookup)(const char* name) = nullptr;
    void (*shutdown)() = nullptr;
    void* handle = nullptr;

    void Register(int32_t (*init)(), void* (*find)(const char*), void (*done)());
    void* Lookup(const char* name);
};

// The routines of the MP3 player module, registered by StartRuntime.
struct PlayerModuleRoutines {
    int32_t (*initialise)();
    void* (*lookup)(const char* name);
    void (*shutdown)();
};
extern PlayerModuleRoutines PlayerModule;

struct IdleHook {
    HWND window;
    IdleRoutine routine;
    uintptr_t argument;
};

class RuntimeState : public Application {
  public:
    RuntimeState();

    bool InitInstance() override;
    int ExitInstance() override;
    bool PreTranslateMessage(MSG& msg) override;
    bool OnIdle(long count) override;

    HANDLE heap = nullptr;
    uint32_t build[3] = {0, 0, 0};
    bool oleInitialised = false;
    std::string programDirectory; // no trailing backslash
    std::string programFileName;
    std::string moduleDirectory; // with trailing backslash
    DWORD mainThread = 0;
    HWND messageWindow = nullptr;
    OwnedIcon largeIcon, smallIcon; // the program's own, loaded on the first request

    // External functions, one entry per declaration.
    std::vector<std::string> externalLibraries, externalExports;
    std::vector<void*> externalAddresses;
    std::vector<HMODULE> externalModules;
    DllBinderFn dllBinder = nullptr;

    std::vector<const LibraryRecord*> libraries;
    std::vector<uint32_t> libraryStates;

    WindowRegistry* windows;
    StaticBlockList staticBlocks;

    volatile LONG errorDepth = 0;
    ErrorHookFn errorHook = nullptr;
    EndRoutineFn endRoutine = nullptr;
    volatile bool shuttingDown = false;

    std::vector<IdleHook> idleHooks;
    uint32_t eventWindow = 0, eventUnit = 0;
    // Test support: shown every plain event that construction or an error
    // box does not hold back, before the registry looks for its handler.
    EventObserverFn eventObserver = nullptr;
    bool loopEntered = false;
    DWORD idleStart = 0; // tick count at the start of the idle period

    // The MP3 player, and two facilities this program does not use (their
    // routines do nothing).
    PlayerProvider player, otherProviders[2];

    int (*entryRoutine)() = nullptr; // the application's ProgramEntry
    int entryStatus = 0;             // what it returned: the process's exit code

    // The program's directory, file name and module directory, from the
    // module's path (start-up does it once).
    void SplitModulePath();

    // The idle phase's per-pass work: the idle list, last entry first.
    void RunIdleHooks();
    void AddIdleHook(HWND window, IdleRoutine routine, uintptr_t argument);
    void RemoveIdleHook(HWND window);
};

RuntimeState& Runtime();
extern bool HookRunning; // set while the error hook runs

// Runtime entry points behind the service table.
void StartRuntime();
[[noreturn]] void EndProgram(int32_t code);
void ShutDown(int32_t code);
void RunMessageLoop();
void RunMessageLoop(bool modal);
void LoadStartWindow(uint32_t window);
uint32_t Notify(int32_t code, ...);
ArgRecord CallLibraryCommand(LibraryCommand command, int32_t count, ArgRecord* args);
uint64_t RuntimeCallback(int32_t code, uint32_t value1, uint32_t value2);
[[noreturn]] void MemoryFailure(int32_t size);
// Sends failed C++ allocations to the same report (at start-up).
void ReportNewFailures();
// Fetches and dispatches until nothing waits or the next message is WM_QUIT.
void ProcessPendingMessages();
// Runtime callback 2009 and 2010: process pending messages, then raise or
// lower (not below 0) the error depth counter; no event runs while it is up.
void EnterConstruction();
void LeaveConstruction();
// Loads a template segment into the registry; "载入窗口模板数据段出错!" on failure.
void LoadTemplateSegment(const void* start, uint32_t length, const void* codeBase);

// Notify's routines, also called directly inside the runtime.
TextValue FindFile(const char* pattern, uint32_t mask, bool anyFile, HANDLE* search);
void CloseFind(HANDLE search);
void MakeArrayWritable(int32_t elementSize, void** arrayVariable);
const TypeRecord* FindTypeRecord(uint32_t typeId);

// The binding of external functions (dll_binding.cpp):
// returns the address of function n, binding it on first use; a failed
// binding ends the program there.
void* BindExternalFunction(int32_t n);

// Called by slot 1 to bind function n.
extern "C" void* BindDllCommand(int32_t n);
extern "C" void CallDllCommandThunk();

} // namespace st

// Start-up, the service table, Notify and the message loop's idle list, in process.
#include <doctest.h>

#include <cstring>
#include <string>

#include "runtime_state.h"
#include "runtime_started.h"

namespace {

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

HWND MakeWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "RuntimeTestWindow";
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowExA(0, "RuntimeTestWindow", "", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// A registry that knows one window, so that the loop has something alive.
struct OneWindow : st::WindowRegistry {
    HWND window = nullptr;
    bool AnyWindowAlive() override { return IsWindow(window) != 0; }
};

} // namespace

TEST_CASE("StartRuntime prepares the process from the start-up record") {
    testing::StartRuntimeOnce();
    const st::RuntimeState& rt = st::Runtime();
    CHECK(rt.heap == GetProcessHeap());
    CHECK(rt.build[0] == 3);
    CHECK(rt.build[1] == 0);
    CHECK(rt.build[2] == 65892);
    CHECK(rt.mainThread == GetCurrentThreadId());
    CHECK(rt.oleInitialised);

    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string path(module);
    CHECK(rt.programDirectory + "\\" + rt.programFileName == path);
    CHECK(rt.programFileName == "runtime_test.exe");
    CHECK(rt.moduleDirectory == rt.programDirectory + "\\");
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    CHECK(lstrcmpiA(current, rt.programDirectory.c_str()) == 0);

    REQUIRE(IsWindow(rt.messageWindow));
    CHECK((GetWindowLongA(rt.messageWindow, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0);
    CHECK_FALSE(IsWindowVisible(rt.messageWindow));
    CHECK(GetParent(rt.messageWindow) == nullptr);

    // The core library was handed the runtime callback and answers it back.
    REQUIRE(rt.libraries.size() == 1);
    CHECK(rt.libraryStates.size() == 1);
    REQUIRE(bool(st::CoreRuntimeCallback()));
    CHECK(st::CoreRuntimeCallback()(2030, 0, 0) == 3);
    CHECK(std::string(reinterpret_cast<const char*>(st::CoreRuntimeCallback()(2004, 0, 0))) ==
          "runtime_test.exe");
    CHECK(st::CoreLibrary.notify(99, 0, 0) == -1);
    CHECK(st::CoreLibrary.typeCount == 51);
}

TEST_CASE("idle hooks: who is added, removal, and a dead window's hook is dropped") {
    testing::StartRuntimeOnce();
    st::RuntimeState& rt = st::Runtime();
    rt.idleHooks.clear();
    HWND a = MakeWindow(), b = MakeWindow(), dead = MakeWindow();
    DestroyWindow(dead);
    static int callsA, callsB, callsBAfterDeath;
    static HWND hookWindowA, hookWindowB;
    hookWindowA = a;
    hookWindowB = b;
    callsA = callsB = 0;
    callsBAfterDeath = -1;
    auto hookB = [](uintptr_t argument) {
        CHECK(argument == 22);
        ++callsB;
    };
    auto hookA = [](uintptr_t argument) {
        CHECK(argument == 11);
        ++callsA;
        if (callsA == 3) {
            DestroyWindow(hookWindowB);
            callsBAfterDeath = callsB;
        }
        if (callsA == 10)
            PostQuitMessage(0);
        else
            PostMessageA(hookWindowA, WM_APP, 0, 0); // new idle work after this message
    };

    SUBCASE("add and remove rules") {
        rt.AddIdleHook(a, hookA, 11);
        rt.AddIdleHook(a, hookB, 99); // a window already in the list
        rt.AddIdleHook(nullptr, hookB, 1);
        rt.AddIdleHook(dead, hookB, 1);
        rt.AddIdleHook(b, nullptr, 1);
        REQUIRE(rt.idleHooks.size() == 1);
        CHECK((rt.idleHooks[0].routine == static_cast<st::IdleRoutine>(hookA)));
        CHECK(rt.idleHooks[0].argument == 11);
        rt.AddIdleHook(b, hookB, 22);
        CHECK(rt.idleHooks.size() == 2);
        rt.RemoveIdleHook(a);
        REQUIRE(rt.idleHooks.size() == 1);
        CHECK(rt.idleHooks[0].window == b);
        rt.RemoveIdleHook(a);
        CHECK(rt.idleHooks.size() == 1);
        rt.idleHooks.clear();
    }
    SUBCASE("through the runtime callback and the real message loop") {
        uint32_t recordA[2] = {reinterpret_cast<uint32_t>(static_cast<st::IdleRoutine>(hookA)), 11};
        uint32_t recordB[2] = {reinterpret_cast<uint32_t>(static_cast<st::IdleRoutine>(hookB)), 22};
        st::RuntimeCallback(1012, reinterpret_cast<uint32_t>(a),
                            reinterpret_cast<uint32_t>(recordA));
        st::RuntimeCallback(1012, reinterpret_cast<uint32_t>(b),
                            reinterpret_cast<uint32_t>(recordB));
        REQUIRE(rt.idleHooks.size() == 2);

        OneWindow registry;
        registry.window = a;
        st::WindowRegistry* saved = rt.windows;
        rt.windows = &registry;
        st::Services.RunMessageLoop(); // returns on the WM_QUIT of hook A's tenth call
        rt.windows = saved;

        CHECK(rt.loopEntered);
        CHECK(callsA == 10);
        CHECK(callsBAfterDeath > 0);
        CHECK(callsB == callsBAfterDeath);
        REQUIRE(rt.idleHooks.size() == 1);
        CHECK(rt.idleHooks[0].window == a);
        st::RuntimeCallback(1013, reinterpret_cast<uint32_t>(a), 0);
        CHECK(rt.idleHooks.empty());
    }
    DestroyWindow(a);
    if (IsWindow(b)) DestroyWindow(b);
}

TEST_CASE("the message loop returns at once when no window is alive") {
    testing::StartRuntimeOnce();
    st::RuntimeState& rt = st::Runtime();
    rt.loopEntered = false;
    PostMessageA(nullptr, WM_APP, 0, 0); // left alone: the loop must not pump
    st::Services.RunMessageLoop();
    CHECK(rt.loopEntered);
    MSG msg;
    CHECK(PeekMessageA(&msg, nullptr, WM_APP, WM_APP, PM_REMOVE));
}

TEST_CASE("FindFile and CloseFind") {
    testing::StartRuntimeOnce();
    using st::NotifyCode::FindFile;
    HANDLE search = nullptr;
    SUBCASE("an empty pattern without an open search finds nothing") {
        CHECK(st::Services.Notify(FindFile, st::EmptyText, 0x37u, 0, &search) == 0);
        CHECK(st::Services.Notify(FindFile, nullptr, 0x37u, 1, &search) == 0);
        CHECK(search == nullptr);
    }
    SUBCASE("first, next, end of search; attributes decide") {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::string dir =
            std::string(temp) + "st_findfile_" + std::to_string(GetCurrentProcessId());
        REQUIRE(CreateDirectoryA(dir.c_str(), nullptr));
        REQUIRE(CreateDirectoryA((dir + "\\sub").c_str(), nullptr));
        HANDLE f = CreateFileA((dir + "\\文件.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_ARCHIVE, nullptr);
        REQUIRE(f != INVALID_HANDLE_VALUE);
        CloseHandle(f);
        std::string pattern = dir + "\\*";

        auto names = [&](uint32_t mask, int anyFile) {
            std::string found;
            HANDLE h = nullptr;
            auto* first = reinterpret_cast<char*>(
                st::Services.Notify(FindFile, pattern.c_str(), mask, anyFile, &h));
            for (char* name = first; name; name = reinterpret_cast<char*>(st::Services.Notify(
                                               FindFile, st::EmptyText, mask, anyFile, &h))) {
                found += std::string(name) + "|";
                st::FreeMemory(name);
            }
            CHECK(h == nullptr); // closed and cleared at the end
            return found;
        };
        std::string anyFile = names(0, 1);
        CHECK(anyFile == "文件.txt|");
        std::string dirs = names(FILE_ATTRIBUTE_DIRECTORY, 0);
        CHECK(dirs.find("sub|") != std::string::npos);
        CHECK(dirs.find("文件.txt") == std::string::npos);
        CHECK(names(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY, 0).find("文件.txt|") !=
              std::string::npos);
        CHECK(names(FILE_ATTRIBUTE_HIDDEN, 0).empty());
        CHECK(names(0, 0).find("文件.txt") == std::string::npos); // it has the archive bit

        // A search closed early.
        HANDLE h = nullptr;
        char* first =
            reinterpret_cast<char*>(st::Services.Notify(FindFile, pattern.c_str(), 0, 1, &h));
        CHECK(first != nullptr);
        CHECK(h != nullptr);
        st::FreeMemory(first);
        st::Services.Notify(st::NotifyCode::CloseFind, h);
        st::Services.Notify(st::NotifyCode::CloseFind, nullptr);

        CHECK(st::Services.Notify(FindFile, (dir + "\\none*").c_str(), 0x37u, 1, &search) == 0);
        CHECK(search == nullptr);
        DeleteFileA((dir + "\\文件.txt").c_str());
        RemoveDirectoryA((dir + "\\sub").c_str());
        RemoveDirectoryA(dir.c_str());
    }
}

TEST_CASE("MakeArrayWritable copies only static arrays") {
    testing::StartRuntimeOnce();
    void* array = const_cast<int32_t*>(st::EmptyBlock);
    st::Services.Notify(st::NotifyCode::MakeArrayWritable, 4, &array);
    CHECK(array != st::EmptyBlock);
    CHECK(std::memcmp(array, st::EmptyBlock, 8) == 0);
    void* heap = array;
    st::Services.Notify(st::NotifyCode::MakeArrayWritable, 4, &array);
    CHECK(array == heap);
    st::FreeMemory(array);

    static int16_t shorts[] = {1, 0, 3, 0, 7, 8, 9, 0}; // dims 1, size 3, three shorts
    st::Runtime().staticBlocks.Add(shorts, sizeof shorts);
    array = shorts;
    st::Services.Notify(st::NotifyCode::MakeArrayWritable, 2, &array);
    REQUIRE(array != shorts);
    CHECK(std::memcmp(array, shorts, 14) == 0);
    st::FreeMemory(array);
}

TEST_CASE("SetEndRoutine records the routine") {
    testing::StartRuntimeOnce();
    auto routine = []() {};
    st::Services.Notify(st::NotifyCode::SetEndRoutine, static_cast<st::EndRoutineFn>(routine));
    CHECK((st::Runtime().endRoutine == static_cast<st::EndRoutineFn>(routine)));
    st::Runtime().endRoutine = nullptr;
}

namespace {
int __attribute__((stdcall)) Weigh(int a, int b, int c, int d) {
    return a * 1000 + b * 100 + c * 10 + d;
}
int binds;
void* TestBinder(int32_t n) {
    ++binds;
    return n == 4 ? reinterpret_cast<void*>(&Weigh) : nullptr;
}
void Fill(st::ArgRecord* result, int32_t count, st::ArgRecord* args) {
    CHECK(result->low == 0);
    CHECK(result->high == 0);
    CHECK(result->tag == 0);
    result->low = static_cast<uint32_t>(count);
    result->high = args[1].low;
}
} // namespace

TEST_CASE("slot 1 calls the bound function with the caller's arguments and returns its result") {
    testing::StartRuntimeOnce();
    st::Runtime().dllBinder = TestBinder;
    binds = 0;
    int total = 0;
    for (int i = 0; i < 100; ++i)
        total += st::CallDll<int>(4, 1, 2, 3, i % 10);
    CHECK(binds == 100);
    CHECK(total == 1230 * 100 + 450);
    st::Runtime().dllBinder = nullptr;
}

TEST_CASE("the command call zeroes the result record and passes count and records") {
    st::ArgRecord args[2] = {{1, 0, st::TypeTag::Int}, {42, 0, st::TypeTag::Int}};
    st::ArgRecord r = st::Services.CallLibraryCommand2(Fill, 2, args);
    CHECK(r.low == 2);
    CHECK(r.high == 42);
    CHECK(r.tag == 0);
    r = st::Services.CallLibraryCommand(Fill, 2, args);
    CHECK(r.low == 2);
}

namespace {
// A registry whose modal window a message ends, as destroying it would.
struct ModalRegistry : st::WindowRegistry {
    HWND window = nullptr;
    uint32_t modal = 0x52010001;
    bool AnyWindowAlive() override { return IsWindow(window) != 0; }
    uint32_t ModalWindow() override { return modal; }
};
ModalRegistry* modalRegistry;
LRESULT CALLBACK ModalProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_APP + 1) modalRegistry->modal = 0;
    return DefWindowProcA(w, m, wp, lp);
}
} // namespace

TEST_CASE("the modal loop returns when the modal window is gone, and passes WM_QUIT on") {
    testing::StartRuntimeOnce();
    st::RuntimeState& rt = st::Runtime();
    WNDCLASSA wc{};
    wc.lpfnWndProc = ModalProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "RuntimeTestModal";
    RegisterClassA(&wc);
    ModalRegistry registry;
    modalRegistry = &registry;
    registry.window = CreateWindowExA(0, "RuntimeTestModal", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                      wc.hInstance, nullptr);
    st::WindowRegistry* saved = rt.windows;
    rt.windows = &registry;

    PostMessageA(registry.window, WM_APP + 1, 0, 0);
    PostMessageA(registry.window, WM_APP + 2, 0, 0);
    st::RunMessageLoop(true);
    CHECK(registry.modal == 0);
    MSG msg;
    CHECK(PeekMessageA(&msg, registry.window, WM_APP + 2, WM_APP + 2,
                       PM_REMOVE)); // left for the outer loop

    registry.modal = 0x52010001;
    PostQuitMessage(5);
    st::RunMessageLoop(true);
    REQUIRE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK(msg.wParam == 5);

    rt.windows = saved;
    DestroyWindow(registry.window);
}

namespace {
int32_t GetAnswer(void* object, int32_t index, uint32_t* value) {
    if (index != 2) return 0;
    value[0] = *static_cast<uint32_t*>(object);
    value[1] = 0xABCD;
    return 1;
}
int32_t SetAnswer(void* object, int32_t index, const uint32_t* value, uint32_t* out) {
    *out = 0;
    if (index == 2) *static_cast<uint32_t*>(object) = value[0];
    return 0;
}
void* AnswerInterface(int32_t entry) {
    if (entry == 6) return reinterpret_cast<void*>(&GetAnswer);
    if (entry == 4) return reinterpret_cast<void*>(&SetAnswer);
    return nullptr;
}
} // namespace

TEST_CASE("object properties go through the data type's record") {
    testing::StartRuntimeOnce();
    st::RuntimeState& rt = st::Runtime();
    static st::TypeRecord types[2] = {};
    types[1].unitInterface = AnswerInterface;
    static const st::LibraryRecord library = {"test", "test", 2, types, 0, nullptr, nullptr};
    rt.libraries.push_back(&library);
    uint32_t typeId = static_cast<uint32_t>(rt.libraries.size()) << 16 | 2;

    uint32_t object = 77;
    uint64_t value = 0;
    CHECK(st::Services.Notify(st::NotifyCode::GetObjectProperty, typeId, &object, 2,
                              st::TypeTag::Int, &value) == 1);
    CHECK(value == (0xABCDull << 32 | 77));
    uint32_t newValue[2] = {99, 0};
    CHECK(st::Services.Notify(st::NotifyCode::SetObjectProperty, typeId, &object, 2,
                              st::TypeTag::Int, newValue) == 1);
    CHECK(object == 99);
    // Unknown index, a type without an interface, a library that does not exist.
    CHECK(st::Services.Notify(st::NotifyCode::GetObjectProperty, typeId, &object, 3,
                              st::TypeTag::Int, &value) == 0);
    CHECK(st::Services.Notify(st::NotifyCode::GetObjectProperty, typeId - 1, &object, 2,
                              st::TypeTag::Int, &value) == 0);
    CHECK(st::Services.Notify(st::NotifyCode::GetObjectProperty, typeId + 0x10000, &object, 2,
                              st::TypeTag::Int, &value) == 0);
    rt.libraries.pop_back();
}

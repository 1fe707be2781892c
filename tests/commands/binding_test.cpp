// External-function binding: where libraries are looked for, how often they
// are loaded and freed, ordinals, the checked call, and the two ways a
// binding or a call ends the program (run in a child copy of this program).
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest.h>

#include "dll_binding.h"
#include "runtime_state.h"
#include "st/services.h"
#include "subject_run.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// Records every load and unload on top of the system's loader.
struct Recorder {
    static inline std::vector<std::string> loads;
    static inline int unloads = 0;
    static void* Load(const char* name) {
        loads.push_back(name);
        return LoadLibraryA(name);
    }
    static void Unload(void* m) {
        ++unloads;
        FreeLibrary(static_cast<HMODULE>(m));
    }
};

struct Recording {
    Recording() {
        Recorder::loads.clear();
        Recorder::unloads = 0;
        st::ActiveLibraryLoader() = {Recorder::Load, st::SystemLibraryLoader().find,
                                     Recorder::Unload};
    }
    ~Recording() { st::ActiveLibraryLoader() = st::SystemLibraryLoader(); }
};

void Declare(std::vector<const char*> libraries, std::vector<const char*> exports) {
    st::DeclareExternalFunctions(static_cast<int32_t>(libraries.size()), libraries.data(),
                                 exports.data());
}

// Program and module directory as the runtime stored them, for one test.
struct Directories {
    std::string program = st::Runtime().programDirectory, module = st::Runtime().moduleDirectory;
    Directories(const std::string& p, const std::string& m) {
        st::Runtime().programDirectory = p;
        st::Runtime().moduleDirectory = m;
    }
    ~Directories() {
        st::Runtime().programDirectory = program;
        st::Runtime().moduleDirectory = module;
    }
};

const std::string kProbe = "st_bind_probe.dll";

} // namespace

TEST_CASE("the first call loads the library, the second loads nothing, shut-down frees it once") {
    REQUIRE(GetModuleHandleA(kProbe.c_str()) == nullptr);
    Recording recording;
    Declare({"st_bind_probe.dll", "st_bind_probe.dll"}, {"ProbeAdd", "#5"});
    CHECK(st::CheckedDllCall(0, {2, 40}) == 42);
    CHECK(Recorder::loads == std::vector<std::string>{testing::ProgramDirectory() + kProbe});
    CHECK(st::CheckedDllCall(0, {7, 8}) == 15);
    CHECK(Recorder::loads.size() == 1);
    // "#5" is ordinal 5, the same function; its own binding loads once more.
    CHECK(st::CheckedDllCall(1, {1, 2}) == 3);
    CHECK(Recorder::loads.size() == 2);
    CHECK(st::Runtime().externalAddresses[0] == st::Runtime().externalAddresses[1]);
    st::ReleaseExternalFunctions();
    CHECK(Recorder::unloads == 2);
    CHECK(GetModuleHandleA(kProbe.c_str()) == nullptr);
}

TEST_CASE("an empty library name searches the default system libraries in order") {
    Recording recording;
    Declare({"", ""}, {"MultiByteToWideChar", "ShellExecuteA"});
    void* bound = st::Bind(0);
    CHECK(Recorder::loads == std::vector<std::string>{"Kernel32.dll"});
    CHECK(Recorder::unloads == 0);
    CHECK(bound == reinterpret_cast<void*>(
                       GetProcAddress(GetModuleHandleA("kernel32.dll"), "MultiByteToWideChar")));

    Recorder::loads.clear();
    CHECK(st::Bind(1) != nullptr);
    CHECK(Recorder::loads == std::vector<std::string>{"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                                      "Advapi32.dll", "Mpr.dll", "Shell32.dll"});
    CHECK(Recorder::unloads == 5);
    st::ReleaseExternalFunctions();
    CHECK(Recorder::unloads == 7);
}

TEST_CASE("other names: program directory, then module directory, then the system's search") {
    Recording recording;
    const std::string nowhere = "C:\\no-such-dir";
    Directories elsewhere(nowhere, nowhere + "\\mod\\");
    Declare({"wininet.dll", "urlmon"}, {"InternetOpenA", "URLDownloadToFileA"});
    void* system = st::Bind(0);
    CHECK(Recorder::loads == std::vector<std::string>{nowhere + "\\wininet.dll",
                                                      nowhere + "\\mod\\wininet.dll",
                                                      "wininet.dll"});
    CHECK(system == reinterpret_cast<void*>(
                        GetProcAddress(GetModuleHandleA("wininet.dll"), "InternetOpenA")));
    // "urlmon" goes to the system as declared; it completes the extension.
    CHECK(st::Bind(1) != nullptr);
    CHECK(Recorder::loads.back() == "urlmon");
    st::ReleaseExternalFunctions();
}

TEST_CASE("a library named like a system one in the program directory is preferred") {
    REQUIRE(GetModuleHandleA("wininet.dll") == nullptr);
    Recording recording;
    Declare({"wininet.dll"}, {"InternetOpenA"});
    CHECK(st::CheckedDllCall(0, {0, 0, 0, 0, 0}) == 0x5EED0001u);
    CHECK(Recorder::loads.size() == 1);
    st::ReleaseExternalFunctions();
}

TEST_CASE("an absolute library path is loaded as it is") {
    Recording recording;
    const std::string path = testing::ProgramDirectory() + kProbe;
    Directories elsewhere("C:\\elsewhere", "");
    Declare({path.c_str()}, {"#5"});
    CHECK(st::CheckedDllCall(0, {20, 22}) == 42);
    CHECK(Recorder::loads == std::vector<std::string>{path});
    st::ReleaseExternalFunctions();
}

TEST_CASE("the raw call measures how the callee left the stack") {
    HMODULE probe = LoadLibraryA(kProbe.c_str());
    REQUIRE(probe);
    const uint32_t args[] = {50, 8};
    int32_t delta = 1;
    uint64_t r = st::RawStdCall(reinterpret_cast<const void*>(GetProcAddress(probe, "ProbeAdd")),
                                args, 2, &delta);
    CHECK(delta == 0);
    CHECK(static_cast<uint32_t>(r) == 58);
    r = st::RawStdCall(reinterpret_cast<const void*>(GetProcAddress(probe, "ProbeUnbalanced")),
                       args, 2, &delta);
    CHECK(delta == -8); // both arguments still on the stack
    CHECK(static_cast<uint32_t>(r) == 42);
    CHECK(st::CheckedStdCall(reinterpret_cast<const void*>(GetProcAddress(probe, "ProbeAdd")),
                             {1, 1}) == 2);
    FreeLibrary(probe);
}

TEST_CASE("failures end the program with exit code -1 and their message") {
    const struct {
        const char* mode;
        const char* message;
    } cases[] = {
        {"misspelt", "无法找到指定DLL库文件“st_bind_probe.dll”中的输出命令“ProbeAdd_”"},
        // A missing export in the default libraries: the export alone.
        {"default", "无法找到指定DLL库文件中的输出命令“#9999”"},
        // An unbalanced stack: run-time error 6.
        {"unbalanced", "调用DLL命令后发现堆栈错误"},
    };
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    for (const auto& c : cases) {
        const std::string mode = c.mode;
        CAPTURE(mode);
        // This program again, in its child mode.
        testing::SubjectEnd end = testing::RunSubject(self, "--child " + mode, "");
        REQUIRE(end.exited);
        CHECK(end.exitCode == 0xFFFFFFFFu);
        CHECK(end.box.text.find(c.message) != std::string::npos);
    }
}

int main(int argc, char** argv) {
    st::Services.Notify(st::NotifyCode::StartRuntime);
    if (argc == 3 && std::string(argv[1]) == "--child") {
        const std::string what = argv[2];
        if (what == "misspelt") {
            Declare({"st_bind_probe.dll"}, {"ProbeAdd_"});
            st::CheckedDllCall(0, {1, 2});
        } else if (what == "default") {
            Declare({""}, {"#9999"});
            st::CheckedDllCall(0, {});
        } else if (what == "unbalanced") {
            Declare({"st_bind_probe.dll"}, {"ProbeUnbalanced"});
            st::CheckedDllCall(0, {1, 2});
        }
        return 3; // still alive: the failure did not end the program
    }
    doctest::Context context(argc, argv);
    return context.run();
}

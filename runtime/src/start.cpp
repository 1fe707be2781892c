// StartRuntime: prepares the runtime from the program's start-up record.
#include <ole2.h>

#include "runtime_state.h"

namespace st {

static const char kMessageWindowClass[] = "SpeechToolRuntimeWindow";

static LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Another thread's end request: the shut-down runs here, on the main thread.
    if (message == WM_RUNTIME_END) EndProgram(static_cast<int32_t>(wParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

static void CreateMessageWindow(RuntimeState& rt) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = MessageWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = kMessageWindowClass;
    RegisterClassA(&wc); // a second StartRuntime finds the class already there
    rt.messageWindow = CreateWindowExA(WS_EX_TOOLWINDOW, kMessageWindowClass, "", 0, 0, 0, 0, 0,
                                       nullptr, nullptr, instance, nullptr);
}

static void EnterProgramDirectory(const RuntimeState& rt) {
    // "C:" alone would mean the drive's current directory; keep the root.
    std::string dir = rt.programDirectory;
    if (dir.size() == 2 && dir[1] == ':') dir += '\\';
    if (!dir.empty()) SetCurrentDirectoryA(dir.c_str());
}

void StartRuntime() {
    RuntimeState& rt = Runtime();
    const ProgramHeader& header = ProgramHeaderRecord;

    rt.heap = GetProcessHeap();
    ReportNewFailures();
    rt.build[0] = header.build[0];
    rt.build[1] = header.build[1];
    rt.build[2] = header.build[2] + 1;
    if (!rt.oleInitialised) rt.oleInitialised = SUCCEEDED(OleInitialize(nullptr));
    rt.SplitModulePath();
    EnterProgramDirectory(rt);

    rt.player.Register(PlayerModule.initialise, PlayerModule.lookup, PlayerModule.shutdown);
    static auto nothing = []() -> int32_t { return 0; };
    static auto noEntry = [](const char*) -> void* { return nullptr; };
    static auto noEnd = []() {};
    rt.otherProviders[0].Register(nothing, noEntry, noEnd);
    rt.otherProviders[1].Register(nothing, noEntry, noEnd);

    if (!rt.messageWindow) CreateMessageWindow(rt);
    rt.mainThread = GetCurrentThreadId();

    if (header.constantLength != 0 && !rt.staticBlocks.Find(header.constantStart))
        rt.staticBlocks.Add(header.constantStart, header.constantLength);

    if (header.externalCount > 0) {
        size_t n = static_cast<size_t>(header.externalCount);
        rt.externalLibraries.assign(n, std::string());
        rt.externalExports.assign(n, std::string());
        rt.externalAddresses.assign(n, nullptr);
        rt.externalModules.assign(n, nullptr);
        for (size_t i = 0; i < n; ++i) {
            rt.externalLibraries[i] =
                header.externalLibraries[i] ? header.externalLibraries[i] : "";
            rt.externalExports[i] = header.externalExports[i] ? header.externalExports[i] : "";
        }
    }

    rt.libraries.clear();
    for (int32_t i = 0; i < header.libraryCount; ++i) {
        const LibraryRecord* library = header.libraries[i];
        if (library->notify)
            library->notify(LibraryCode::SetCallback, reinterpret_cast<uint32_t>(&RuntimeCallback),
                            0);
        rt.libraries.push_back(library);
    }
    rt.libraryStates.assign(rt.libraries.size(), 0);

    if (header.templateLength != 0)
        LoadTemplateSegment(header.templateStart, header.templateLength, header.codeBase);
}

void LoadTemplateSegment(const void* start, uint32_t length, const void* codeBase) {
    if (!Runtime().windows->LoadTemplates(start, length, codeBase))
        RuntimeError("载入窗口模板数据段出错!", 0);
}

void LoadStartWindow(uint32_t window) {
    if (!Runtime().windows->LoadWindow(window, false, false, nullptr))
        RuntimeError("载入启动窗口失败", 0);
}

} // namespace st

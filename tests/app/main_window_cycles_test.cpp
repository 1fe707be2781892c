// The main window built and taken down 500 times in one process, on the real
// runtime, loader and unit types: GDI and USER objects, handles and private
// bytes stay flat.
#include <doctest.h>

#include <windows.h>

#include <psapi.h>

#include <string>

#include "main_window.h"
#include "st/services.h"

// The tool's own start-up record (st_app_image): the window is built from the
// very template the tool carries.

namespace {

constexpr int kCycles = 500;
constexpr int kWarmUp = 20; // first loads make classes, fonts and caches once

struct Usage {
    DWORD gdi = 0, user = 0, handles = 0, windows = 0;
    SIZE_T privateBytes = 0;
};

BOOL CALLBACK CountWindow(HWND w, LPARAM count) {
    ++*reinterpret_cast<DWORD*>(count);
    EnumChildWindows(w, CountWindow, count);
    return TRUE;
}

Usage Measure() {
    Usage u;
    u.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    u.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    GetProcessHandleCount(GetCurrentProcess(), &u.handles);
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&u.windows));
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    u.privateBytes = memory.PrivateUsage;
    return u;
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

HWND MainWindow() {
    return FindWindowA("RZWindow", "普通话语音合成工具 - 输入文字即可生成MP3音频");
}

} // namespace

TEST_CASE("500 builds of the main window leave no objects behind") {
    st::Services.Notify(st::NotifyCode::StartRuntime);
    Usage before;
    for (int i = 0; i < kCycles; ++i) {
        if (i == kWarmUp) before = Measure();
        st::Services.LoadStartWindow(app::kMainWindow);
        HWND window = MainWindow();
        REQUIRE(window);
        DestroyWindow(window);
        Pump();
        REQUIRE_FALSE(IsWindow(window));
    }
    const Usage after = Measure();
    MESSAGE("GDI ", before.gdi, " -> ", after.gdi, ", USER ", before.user, " -> ", after.user,
            ", handles ", before.handles, " -> ", after.handles, ", windows ", before.windows,
            " -> ", after.windows, ", private bytes ", before.privateBytes, " -> ",
            after.privateBytes);
    // A unit that kept one font, brush or window per build would add 480.
    CHECK(after.gdi <= before.gdi + 4);
    CHECK(after.user <= before.user + 4);
    CHECK(after.handles <= before.handles + 4);
    CHECK(after.windows == before.windows);
    // 2 KB kept per build would be close to 1 MB.
    CHECK(after.privateBytes <= before.privateBytes + 512 * 1024);
}

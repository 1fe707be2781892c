// A program on the real runtime with the test windows, run from outside by
// units_integration_test: "screenshot BMP" captures the window once it is
// painted, then closes it, which ends the program.
#include <windows.h>

#include <cstring>
#include <string>

#include "st/unit_base.h"
#include "test_windows.h"

using namespace testwindows;

namespace {

std::string mode, path;

// The whole window as the window's own device context holds it, frame and
// title bar included, as a 24-bit bitmap file.
void Capture(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC source = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h; // bottom-up, as files keep it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD stride = ((static_cast<DWORD>(w) * 24 + 31) / 32) * 4, size = stride * h;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written;
    WriteFile(f, &file, sizeof file, &written, nullptr);
    WriteFile(f, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr);
    WriteFile(f, bits, size, &written, nullptr);
    CloseHandle(f);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(window, source);
}

} // namespace

extern "C" int ProgramEntry() {
    if (__argc >= 3) mode = __argv[1], path = __argv[2];
    st::Services.Notify(st::NotifyCode::StartRuntime);
    if (mode == "screenshot") {
        hooks.onIdle = [](uint32_t) {
            st::UnitBase* w = WindowObject(kMain);
            if (w && hooks.idle == 1) {
                Capture(w->hwnd);
                PostMessageA(w->hwnd, WM_CLOSE, 0, 0);
            }
            return false;
        };
    }
    st::Services.LoadStartWindow(kMain);
    st::Services.RunMessageLoop();
    return 0;
}

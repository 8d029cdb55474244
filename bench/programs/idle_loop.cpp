// The idle benchmark's baseline: a Windows program that does nothing but
// wait for messages. It has a hidden window, so the system keeps a message
// queue and a window for it as it does for Vorlune, and sleeps in
// GetMessageA until the window is closed. Whatever Vorlune costs above this
// program at rest is the cost of its own main loop.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {
LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA c{};
    c.lpfnWndProc = &Proc;
    c.hInstance = instance;
    c.lpszClassName = "VorluneIdleLoop";
    RegisterClassA(&c);
    CreateWindowExA(0, "VorluneIdleLoop", "Vorlune idle loop", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                    nullptr);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}

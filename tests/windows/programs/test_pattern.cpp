// A Windows program of the end-to-end tests: shows a known pattern, four
// coloured quarters, at a fixed place, so a capture of it can be checked.
// (Inside Wine's virtual desktop only Wine windows are on the captured screen.)
//
// test_pattern.exe [x y width height]   default 200 150 400 300
// test_pattern.exe hold-clipboard        the pattern, and the clipboard held
//                                        open until the program is ended, as
//                                        a program in the middle of a paste
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {
int width = 400;
int height = 300;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        const COLORREF colours[4] = {RGB(255, 0, 0), RGB(0, 0, 255), RGB(255, 255, 0), RGB(255, 255, 255)};
        for (int i = 0; i < 4; ++i) {
            RECT r{(i % 2) * width / 2, (i / 2) * height / 2, (i % 2 + 1) * width / 2, (i / 2 + 1) * height / 2};
            HBRUSH brush = CreateSolidBrush(colours[i]);
            FillRect(dc, &r, brush);
            DeleteObject(brush);
        }
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    int x = 200, y = 150;
    char* next = commandLine;
    const bool holdClipboard = next && std::strncmp(next, "hold-clipboard", 14) == 0;
    if (next && *next && !holdClipboard) {
        x = static_cast<int>(std::strtol(next, &next, 10));
        y = static_cast<int>(std::strtol(next, &next, 10));
        width = static_cast<int>(std::strtol(next, &next, 10));
        height = static_cast<int>(std::strtol(next, &next, 10));
    }
    WNDCLASSA c{};
    c.lpfnWndProc = &Proc;
    c.hInstance = instance;
    c.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    c.lpszClassName = "VorluneTestPattern";
    RegisterClassA(&c);
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, "VorluneTestPattern", "Vorlune test pattern", WS_POPUP | WS_VISIBLE,
                                  x, y, width, height, nullptr, nullptr, instance, nullptr);
    UpdateWindow(window);
    if (holdClipboard && !OpenClipboard(window)) return 1;
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}

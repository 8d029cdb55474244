// The upload phase, from "Starting file upload..." to the final reply, as
// the program runs it: UploadImage on a worker thread while the UI thread
// owns the bar window and runs a pass like the main loop's, so every block's
// bar update crosses to the UI thread and back.
//
//   upload_bench HOST PORT LOGIN PASSWORD DIRECTORY FILE [--runs N]
//                [--pause answer|sleep] [--baseline-ms MS]
//
// --pause sleep makes the UI thread's pause a plain Sleep(25), as a loop that
// does not answer sent messages would; answer (the default) is the program's
// own pause. --baseline-ms is the same phase measured for another client
// (curl -T) against the same server in the same run; the ratio and the
// overhead per block are printed against it. Each run stores
// bench_2024_03_07_14_05_SS.png, SS the run's number, and log.txt grows in
// the working directory. The exit code is 0 when every upload succeeded.
#include "app/app_state.h"
#include "app/log.h"
#include "ftp/ftp_session.h"
#include "platform/platform.h"
#include "settings/settings.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace plat;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<bool> uploadStarted{false};
Clock::time_point uploadStart;
HBRUSH barBrush = nullptr;

// Paints the bar as the overlay does: filled, with the stage text on it.
LRESULT BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
    std::string text = StatusText();
    if (!uploadStarted && text == "Starting file upload...") {
        uploadStart = Clock::now();
        uploadStarted = true;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT rect;
    GetClientRect(window, &rect);
    FillRect(dc, &rect, barBrush);
    RECT textRect{10, 0, 1024, 24};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect, 0);
    EndPaint(window, &paint);
    return 0;
}

struct Run {
    bool ok = false;        // stored
    bool measured = false;  // the bar showed the upload's start (a display is needed)
    double milliseconds = 0;
};

Run UploadOnce(Settings settings, const ChosenImage& image, int number, bool answer) {
    std::vector<char> buffer(textBufferSize);
    FtpSession session;
    session.textBuffer = buffer.data();
    SYSTEMTIME time{2024, 3, 4, 7, 14, 5, static_cast<WORD>(number), 0};
    uploadStarted = false;
    std::atomic<bool> finished{false};
    const char* message = nullptr;
    Clock::time_point end;
    std::thread worker([&] {
        message = UploadImage(session, settings, image, time);
        end = Clock::now();
        finished = true;
    });
    while (!finished) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        UpdateWindow(appState.overlayWindow);
        if (answer)
            WaitAnsweringSentMessages(25);
        else
            Sleep(25);
    }
    worker.join();
    Run run;
    if (message) {
        std::printf("upload %d failed: %s\n", number, message);
        return run;
    }
    SendQuit(session);
    run.ok = true;
    run.measured = uploadStarted;
    run.milliseconds = std::chrono::duration<double, std::milli>(end - uploadStart).count();
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr,
                     "usage: upload_bench HOST PORT LOGIN PASSWORD DIRECTORY FILE [--runs N] [--pause answer|sleep] "
                     "[--baseline-ms MS]\n");
        return 2;
    }
    int runs = 3;
    bool answer = true;
    double baseline = 0;
    for (int i = 7; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--pause") == 0) answer = std::strcmp(argv[i + 1], "sleep") != 0;
        if (std::strcmp(argv[i], "--baseline-ms") == 0) baseline = std::atof(argv[i + 1]);
    }

    std::ifstream file(argv[6], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "upload_bench: cannot read %s\n", argv[6]);
        return 2;
    }
    ChosenImage image;
    image.data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    image.size = static_cast<std::int32_t>(image.data.size());
    image.extension = "png";

    Settings settings;
    CopySettingsField(settings.host, argv[1]);
    settings.port = PortFromText(argv[2]);
    CopySettingsField(settings.login, argv[3]);
    CopySettingsField(settings.password, argv[4]);
    ScramblePassword(settings.password);
    CopySettingsField(settings.ftpDirectory, argv[5]);
    CopySettingsField(settings.imagePrefix, "bench");

    // Every block writes two log lines, as in the program: log.txt in the
    // working directory.
    OpenLog();
    WSADATA wsa;
    WSAStartup(0x0202, &wsa);
    appState.screenSize = {1920, 1080};
    barBrush = CreateSolidBrush(RGB(0, 255, 0));
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &BarProc;
    windowClass.lpszClassName = "VORLUNEBENCH";
    RegisterClassA(&windowClass);
    appState.overlayWindow =
        CreateWindowExA(0, "VORLUNEBENCH", "bench", 0, 0, 0, 576, 24, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(appState.overlayWindow, SW_SHOW);

    int blocks = (image.size + 32767) / 32768;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        Run run = UploadOnce(settings, image, i, answer);
        if (!run.ok) return 1;
        if (run.measured) times.push_back(run.milliseconds);
    }
    std::printf("stored %d upload(s) of %d bytes\n", runs, image.size);
    if (times.empty()) {
        std::printf("upload phase not measured: the bar was never painted (no display?)\n");
        return 0;
    }
    std::sort(times.begin(), times.end());
    double ours = times[times.size() / 2];
    std::printf("image: %d bytes, %d blocks; UI pause: %s\n", image.size, blocks,
                answer ? "answering sent messages" : "plain Sleep(25)");
    std::printf("upload phase (median of %zu): %.1f ms, %.3f ms per block\n", times.size(), ours, ours / blocks);
    if (baseline > 0) {
        std::printf("baseline (curl -T): %.1f ms\n", baseline);
        std::printf("ratio ours / baseline: %.2f\n", ours / baseline);
        std::printf("overhead per block: %.3f ms\n", (ours - baseline) / blocks);
    }
    return 0;
}

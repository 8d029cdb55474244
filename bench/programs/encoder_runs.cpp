// The release-to-link benchmark's baseline: the two encoders alone on the
// temp.bmp in the working directory, with nothing else around them.
//
// encoder_runs.exe [RUNS [best|fast [vorlune|detached]]]
// vorlune (the default) starts them by Vorlune's own RunEncoder from a GUI
// program, as Vorlune is one: each console encoder then gets a console of its
// own made for it (under Wine a conhost.exe process per encoder). detached
// starts them the same way but without a console (DETACHED_PROCESS), which
// is what the encoders' work costs without that.
// Prints one line per run:
//   encoders <mode> <jpeg ms> <png ms> <jpeg exit> <png exit> <jpeg bytes> <png bytes>
// A size of -1 is a missing or empty output.
#include "capture/encoding.h"
#include "platform/platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace plat;

namespace {

constexpr DWORD detachedProcess = 0x00000008;

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1;
    const bool best = argc > 2 && std::strcmp(argv[2], "best") == 0;
    const bool detached = argc > 3 && std::strcmp(argv[3], "detached") == 0;
    // Without a console of their own, which a GUI program's children get otherwise.
    const DWORD flags = detached ? detachedProcess : 0;
    const auto run = [flags](const char* commandLine) { return RunEncoder(commandLine, flags); };
    for (int i = 0; i < runs; ++i) {
        // As before a capture: the optimiser refuses to overwrite a PNG.
        DeleteFileA(jpegFileName);
        DeleteFileA(pngFileName);
        const auto jpegStart = std::chrono::steady_clock::now();
        const DWORD jpegExit = run(JpegCommandLine(best));
        const double jpegMs = MillisecondsSince(jpegStart);
        const auto pngStart = std::chrono::steady_clock::now();
        const DWORD pngExit = run(pngCommandLine);
        const double pngMs = MillisecondsSince(pngStart);
        std::printf("encoders %s %.1f %.1f %lu %lu %d %d\n", detached ? "detached" : "vorlune", jpegMs, pngMs,
                    static_cast<unsigned long>(jpegExit), static_cast<unsigned long>(pngExit),
                    static_cast<int>(MeasureOutput(jpegFileName)), static_cast<int>(MeasureOutput(pngFileName)));
        std::fflush(stdout);
    }
    return 0;
}

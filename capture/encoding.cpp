#include "capture/encoding.h"

#include "app/log.h"
#include "capture/format_text.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

using namespace plat;

const char* const jpegFileName = "temp.jpg";
const char* const pngFileName = "temp.png";
const char* const pngCommandLine = "optipng -o3 -q temp.bmp";

const char* JpegCommandLine(bool bestQuality) {
    return bestQuality ? "cjpeg -quality 98 -optimize -dct float temp.bmp temp.jpg"
                       : "cjpeg -sample 2x1,1x1,1x1 -quality 70 -optimize -dct float temp.bmp temp.jpg";
}

DWORD RunEncoder(const char* commandLine, DWORD creationFlags) {
    STARTUPINFOA startup{};
    startup.cb = 68;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    // CreateProcessA may write into its command line.
    std::vector<char> line(commandLine, commandLine + std::strlen(commandLine) + 1);
    // Not examined: a program that did not start leaves null handles, the
    // calls below fail on them, and its output file, deleted beforehand,
    // stays missing.
    CreateProcessA(nullptr, line.data(), 0, creationFlags, ".\\", &startup, &process);
    WaitForSingleObject(process.hProcess, encoderTimeLimit);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (exitCode == STILL_ACTIVE) TerminateProcess(process.hProcess, 1);
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    return exitCode;
}

std::int32_t MeasureOutput(const char* path) {
    FileStream* file = FileOpen(path, "rb");
    if (!file) return -1;
    long size = -1;
    if (FileSeek(file, 0, 2) == 0) size = FileTell(file);
    FileClose(file);
    // An encoder that stopped before writing anything leaves an empty file;
    // choosing it would publish an image of no bytes.
    if (size <= 0 || size > 0x7FFFFFFF) return -1;
    return static_cast<std::int32_t>(size);
}

bool PngIsChosen(std::int32_t jpgSize, std::int32_t pngSize) {
    return static_cast<std::uint32_t>(pngSize) < static_cast<std::uint32_t>(jpgSize);
}

namespace {
// Reads exactly size bytes of the file; false when it is gone, shorter or
// the memory cannot be had.
bool ReadWhole(const char* path, std::int32_t size, std::vector<unsigned char>& data) {
    data.clear();
    // The vector's own allocation would throw on failure; ask without it.
    std::unique_ptr<unsigned char[]> probe(new (std::nothrow) unsigned char[static_cast<std::size_t>(size)]);
    if (!probe) return false;
    FileStream* file = FileOpen(path, "rb");
    if (!file) return false;
    const std::size_t got = FileRead(probe.get(), 1, static_cast<std::size_t>(size), file);
    FileClose(file);
    if (got != static_cast<std::size_t>(size)) return false;
    data.assign(probe.get(), probe.get() + size);
    return true;
}
}  // namespace

const char* EncodeAndChoose(bool bestQuality, StageReporter report, ChosenImage& image) {
    // Outputs of an earlier capture must not pass for this one's.
    DeleteFileA(jpegFileName);
    DeleteFileA(pngFileName);

    const DWORD jpegExit = RunEncoder(JpegCommandLine(bestQuality));
    report("Creating optimized PNG image...", 0.2f, false);
    const DWORD pngExit = RunEncoder(pngCommandLine);
    report("Selecting image...", 0.3f, false);

    std::int32_t jpgSize = MeasureOutput(jpegFileName);
    std::int32_t pngSize = MeasureOutput(pngFileName);
    // A terminated encoder may have left a half-written file.
    if (jpegExit == STILL_ACTIVE) {
        LogLine("JPEG compression took too long and was terminated\r\n");
        jpgSize = -1;
    }
    if (pngExit == STILL_ACTIVE) {
        LogLine("PNG compression took too long and was terminated\r\n");
        pngSize = -1;
    }
    if (jpgSize == -1) LogLine("Failed to save jpeg\r\n");
    if (pngSize == -1) LogLine("Failed to save png\r\n");
    if (jpgSize == -1 && pngSize == -1) {
        LogLine("Failed to save image\r\n");
        return "Failed to save image";
    }
    LogLine("PNG size: %d, JPG size: %d\r\n", pngSize, jpgSize);

    const bool png = PngIsChosen(jpgSize, pngSize);
    image.extension = png ? "png" : "jpg";
    image.size = png ? pngSize : jpgSize;
    if (!ReadWhole(png ? pngFileName : jpegFileName, image.size, image.data)) {
        image = ChosenImage{};
        LogLine("Failed to read image\r\n");
        return "Failed to read image";
    }
    LogLine("Selected size: %d\r\n", image.size);
    return nullptr;
}

// The name's fields in printf terms: the year at least 4 digits, the rest at
// least 2, each zero-padded.
std::string ImageName(const char* imagePrefix, const SYSTEMTIME& t, const std::string& extension) {
    return FormatText("%s_%.4d_%.2d_%.2d_%.2d_%.2d_%.2d.%s", imagePrefix, t.wYear, t.wMonth, t.wDay, t.wHour,
                      t.wMinute, t.wSecond, extension.c_str());
}

std::string BackupPath(const char* backupDirectory, const char* imagePrefix, const SYSTEMTIME& t,
                       const std::string& extension) {
    return FormatText("%s/%s_%.4d_%.2d_%.2d_%.2d_%.2d_%.2d.%s", backupDirectory, imagePrefix, t.wYear, t.wMonth,
                      t.wDay, t.wHour, t.wMinute, t.wSecond, extension.c_str());
}

void WriteBackupCopy(const char* backupDirectory, const char* imagePrefix, const SYSTEMTIME& time,
                     const ChosenImage& image) {
    if (backupDirectory[0] == 0) return;
    const std::string path = BackupPath(backupDirectory, imagePrefix, time, image.extension);
    FileStream* file = FileOpen(path.c_str(), "wb");
    if (!file) {
        MessageBoxA(nullptr, "Failed to create backup file.", "Error", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // A full disk shows at the write or at the close that flushes it. A cut
    // copy would pass for the backup of this image, so it is removed and the
    // user is told as for a copy that could not be created.
    const bool written = FileWrite(image.data.data(), 1, image.data.size(), file) == image.data.size();
    if (FileClose(file) != 0 || !written) {
        DeleteFileA(path.c_str());
        MessageBoxA(nullptr, "Failed to create backup file.", "Error", MB_OK | MB_ICONEXCLAMATION);
    }
}

// The two external encoders, the choice of the smaller output, the image's
// dated name and the backup copy.
#pragma once

#include "capture/chosen_image.h"
#include "capture/report_stage.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>

// Each encoder gets this long from the start of the wait.
constexpr plat::DWORD encoderTimeLimit = 10000;

extern const char* const jpegFileName;
extern const char* const pngFileName;
extern const char* const pngCommandLine;
// The JPEG encoder's command line for the bestQuality setting.
const char* JpegCommandLine(bool bestQuality);

// Runs a command line hidden in the working directory and waits for it at
// most encoderTimeLimit; one still running then is terminated. Returns its
// exit code: STILL_ACTIVE for a terminated one, 0 when none could be had
// (a program that could not be started, for one). The program is started
// with creation flags 0; a benchmark passes others to compare.
plat::DWORD RunEncoder(const char* commandLine, plat::DWORD creationFlags = 0);

// The byte count of an encoder's output; -1 when it is missing, unreadable
// or empty (an empty file is no image).
std::int32_t MeasureOutput(const char* path);

// Which output wins: the PNG only when it is smaller, the sizes compared as
// unsigned numbers so that a failed -1 loses to every real size.
bool PngIsChosen(std::int32_t jpgSize, std::int32_t pngSize);

// Runs both encoders on temp.bmp, reporting the stages between them, and
// reads the smaller output whole into image. Returns null on success, or the
// failure message ("Failed to save image", "Failed to read image") after
// the matching log lines.
const char* EncodeAndChoose(bool bestQuality, StageReporter report, ChosenImage& image);

// prefix_YYYY_MM_DD_hh_mm_ss.ext, the name the image is kept, linked and
// stored under.
std::string ImageName(const char* imagePrefix, const plat::SYSTEMTIME& time, const std::string& extension);
// backupDirectory/ImageName, with a forward slash whatever the directory uses.
std::string BackupPath(const char* backupDirectory, const char* imagePrefix, const plat::SYSTEMTIME& time,
                       const std::string& extension);
// Writes the image to its backup path when a backup directory is set; a file
// that cannot be created or written whole costs a message box and nothing
// else (a cut copy is removed).
void WriteBackupCopy(const char* backupDirectory, const char* imagePrefix, const plat::SYSTEMTIME& time,
                     const ChosenImage& image);

// A fresh working directory for one test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class TempWorkingDirectory {
public:
    TempWorkingDirectory();
    ~TempWorkingDirectory();
    TempWorkingDirectory(const TempWorkingDirectory&) = delete;
    TempWorkingDirectory& operator=(const TempWorkingDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// Whole-file helpers for checking exact bytes.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

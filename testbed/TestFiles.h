// Files and folders for tests: a fresh folder per test, whole-file reads and writes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A new empty folder under the temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

void RemoveTree(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& data);
// Empty when the file cannot be read; use FileExists to tell an empty file apart.
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Paths of every file and folder below `root`, relative to it, sorted; folders end in `\`.
std::vector<std::string> ListTree(const std::string& root);
FILETIME LastWriteTime(const std::string& path);

#include "TestFiles.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string root(base);
    if (!root.empty() && root.back() == '\\')
        root.pop_back();
    for (;;) {
        path_ = root + "\\zebtest-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(counter++);
        if (CreateDirectoryA(path_.c_str(), NULL))
            break;
    }
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

bool WriteWholeFile(const std::string& path, const std::string& data)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(data.data(), 1, data.size(), file) == data.size();
    return fclose(file) == 0 && ok;
}

std::string ReadWholeFile(const std::string& path)
{
    std::string data;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return data;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
        data.append(buffer, got);
    fclose(file);
    return data;
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

void CollectTree(const std::string& root, const std::string& prefix, std::vector<std::string>& out)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((root + "\\" + prefix + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(prefix + name + "\\");
            CollectTree(root, prefix + name + "\\", out);
        } else {
            out.push_back(prefix + name);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

std::vector<std::string> ListTree(const std::string& root)
{
    std::vector<std::string> out;
    CollectTree(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

FILETIME LastWriteTime(const std::string& path)
{
    FILETIME time = {0, 0};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        time = data.ftLastWriteTime;
    return time;
}

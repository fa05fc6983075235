// A pack read from its file, as the unpack reads a source: as much as it asks for.
#pragma once

#include <windows.h>

#include <string>

#include "ByteSource.h"

class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string& path) : path_(path) {}
    ~FileSource() override
    {
        if (file_ != INVALID_HANDLE_VALUE)
            CloseHandle(file_);
    }
    void StartFrom(const HeldCopy&) override {}
    void FirstAskFor(ULONGLONG) override {}
    void NameVersionBy(const VersionBytes*) override {}
    bool Resumed() const override { return false; }
    HRESULT Open() override
    {
        LARGE_INTEGER size;
        file_ = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            NULL);
        if (file_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(file_, &size))
            return E_FAIL;
        length_ = static_cast<ULONGLONG>(size.QuadPart);
        return S_OK;
    }
    ULONGLONG Length() const override { return length_; }
    ULONGLONG Position() const override { return position_; }
    bool LastModified(FILETIME*) const override { return false; }
    HRESULT Read(void* buffer, DWORD size, DWORD* got) override
    {
        if (!ReadFile(file_, buffer, size, got, NULL))
            return E_FAIL;
        position_ += *got;
        return S_OK;
    }
    HRESULT Seek(ULONGLONG offset, ULONGLONG) override
    {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file_, to, NULL, FILE_BEGIN))
            return E_FAIL;
        position_ = offset;
        return S_OK;
    }
    void Close() override {}

private:
    std::string path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    ULONGLONG length_ = 0;
    ULONGLONG position_ = 0;
};


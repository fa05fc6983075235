// Bytes held in memory, read as the transfers read a resource of the server.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include "ByteSource.h"

// One version, with no validators: every Open starts at its first byte.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}

    void StartFrom(const HeldCopy&) override {}
    void FirstAskFor(ULONGLONG) override {}
    void NameVersionBy(const VersionBytes*) override {}
    bool Resumed() const override { return false; }
    HRESULT Open() override
    {
        position_ = 0;
        return S_OK;
    }
    ULONGLONG Length() const override { return bytes_.size(); }
    ULONGLONG Position() const override { return position_; }
    bool LastModified(FILETIME*) const override { return false; }
    HRESULT Read(void* buffer, DWORD size, DWORD* got) override
    {
        const ULONGLONG left = bytes_.size() - position_;
        *got = size < left ? size : static_cast<DWORD>(left);
        memcpy(buffer, bytes_.data() + position_, *got);
        position_ += *got;
        return S_OK;
    }
    HRESULT Seek(ULONGLONG offset, ULONGLONG) override
    {
        if (offset < position_ || offset > bytes_.size())
            return E_FAIL;
        position_ = offset;
        return S_OK;
    }
    void Close() override {}

private:
    std::string bytes_;
    ULONGLONG position_ = 0;
};

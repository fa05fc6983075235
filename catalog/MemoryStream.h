// A read-only COM stream over bytes that the caller owns: feeds a text to the XML parser without a copy.
#pragma once

#include <windows.h>
#include <objidl.h>

// The bytes must outlive the stream. Construction leaves the count at 1: the creator keeps
// that reference for itself and never releases it, so an object on the creator's stack
// ends with the creator's scope; every other reference comes from QueryInterface or AddRef
// and goes back through Release. A Release that reaches 0 deletes the object.
//
// Read: copies min(wanted, bytes left) and stores that count in *read when read is given.
// A count of 0 (nothing wanted, or the position at or past the end) copies nothing and
// returns S_FALSE; a short read returns S_OK. A reader loops until it gets 0.
// Seek: only the low 32 bits of the move count, as a signed number; the position may go
// past the end (a later Read then gives 0), never before the start (E_FAIL).
// Everything that would write, lock, describe or clone the stream returns E_NOTIMPL.
class MemoryStream : public IStream {
public:
    MemoryStream();

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Read(void* buffer, ULONG wanted, ULONG* read) override;
    STDMETHODIMP Write(const void* buffer, ULONG count, ULONG* written) override;

    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER newSize) override;
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                        ULARGE_INTEGER* written) override;
    STDMETHODIMP Commit(DWORD flags) override;
    STDMETHODIMP Revert() override;
    STDMETHODIMP LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD lockType) override;
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
    STDMETHODIMP Clone(IStream** clone) override;

    virtual ~MemoryStream();

    // The stream reads length bytes from data on; the position goes back to the start.
    virtual HRESULT Init(const char* data, ULONG length);

    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

private:
    const BYTE* begin;
    const BYTE* current;
    const BYTE* end;
    LONG refCount;
};

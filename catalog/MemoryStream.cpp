#include "MemoryStream.h"

#include <cstring>

namespace {

// Positions may lie past the end after a Seek; compare and move them as numbers, since
// pointer arithmetic outside the buffer is undefined.
UINT_PTR Address(const BYTE* pointer)
{
    return reinterpret_cast<UINT_PTR>(pointer);
}

}  // namespace

MemoryStream::MemoryStream() : begin(NULL), current(NULL), end(NULL), refCount(1) {}

MemoryStream::~MemoryStream() = default;

HRESULT MemoryStream::Init(const char* data, ULONG length)
{
    begin = reinterpret_cast<const BYTE*>(data);
    current = begin;
    end = reinterpret_cast<const BYTE*>(Address(begin) + length);
    return S_OK;
}

STDMETHODIMP MemoryStream::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = NULL;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IStream) || IsEqualIID(iid, IID_ISequentialStream)) {
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) MemoryStream::AddRef()
{
    return static_cast<ULONG>(++refCount);
}

STDMETHODIMP_(ULONG) MemoryStream::Release()
{
    LONG count = --refCount;
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP MemoryStream::Read(void* buffer, ULONG wanted, ULONG* read)
{
    if (!buffer) {
        // Some readers look at the count whatever the result.
        if (read)
            *read = 0;
        return STG_E_INVALIDPOINTER;
    }
    UINT_PTR left = Address(current) < Address(end) ? Address(end) - Address(current) : 0;
    ULONG count = wanted <= left ? wanted : static_cast<ULONG>(left);
    if (read)
        *read = count;
    if (count == 0)
        return S_FALSE;
    memcpy(buffer, current, count);
    current += count;
    return S_OK;
}

STDMETHODIMP MemoryStream::Write(const void*, ULONG, ULONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP MemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition)
{
    LONGLONG base = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
        base = 0;
        break;
    case STREAM_SEEK_CUR:
        base = static_cast<LONGLONG>(Address(current) - Address(begin));
        break;
    case STREAM_SEEK_END:
        base = static_cast<LONGLONG>(Address(end) - Address(begin));
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    // The high half of the move is ignored: a stream over one buffer of at most 4 GiB.
    LONGLONG offset = base + static_cast<LONG>(move.LowPart);
    if (offset < 0)
        return E_FAIL;
    current = reinterpret_cast<const BYTE*>(Address(begin) + static_cast<UINT_PTR>(offset));
    if (newPosition) {
        newPosition->LowPart = static_cast<DWORD>(offset);
        newPosition->HighPart = 0;
    }
    return S_OK;
}

STDMETHODIMP MemoryStream::SetSize(ULARGE_INTEGER)
{
    return E_NOTIMPL;
}

STDMETHODIMP MemoryStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*)
{
    return E_NOTIMPL;
}

STDMETHODIMP MemoryStream::Commit(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP MemoryStream::Revert()
{
    return E_NOTIMPL;
}

STDMETHODIMP MemoryStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP MemoryStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP MemoryStream::Stat(STATSTG*, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP MemoryStream::Clone(IStream**)
{
    return E_NOTIMPL;
}

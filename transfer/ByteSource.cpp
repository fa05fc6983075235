#include "ByteSource.h"

#include "ByteProgress.h"
#include "CancelToken.h"

HRESULT ReadChunk(ByteSource& source, void* buffer, DWORD size, DWORD* got, ByteProgress& progress,
                  const CancelToken& cancel)
{
    HRESULT hr = S_OK;
    BYTE* at = static_cast<BYTE*>(buffer);
    *got = 0;
    while (*got < size) {
        DWORD read = 0;
        hr = source.Read(at + *got, size - *got, &read);
        if (hr != S_OK || read == 0)
            break;
        *got += read;
        progress.Add(read);
        if (*got < size)
            progress.ReportIfDue();
    }
    if (*got > 0)
        progress.Report();
    if (hr == S_OK && cancel.IsCancelled())
        return E_ABORT;
    return hr;
}

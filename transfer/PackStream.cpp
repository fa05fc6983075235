#include "PackStream.h"

#include "AbortFlag.h"
#include "ByteProgress.h"
#include "OpenRequest.h"
#include "PackFormat.h"
#include "ProgressScale.h"
#include "ServerAccess.h"

namespace {

// A pack may be of any size; its format, not its headers, says what it holds.
const HttpRules kPackRules = {kPackRequestFlags, ~0ull, false, nullptr, false};

}  // namespace

PackStream::~PackStream()
{
    Close();
}

void PackStream::SetSource(const char* newLocation, HINTERNET newSession, OpenRequest* newOpenRequest,
                           const RetrySettings& newRetry)
{
    Close();
    session = newSession;
    openRequest = newOpenRequest;
    retry = newRetry;
    location = newLocation;
    if (session)
        location.Replace('\\', '/');
}

HRESULT PackStream::Open()
{
    return session ? OpenUrl() : OpenFile();
}

HRESULT PackStream::OpenFile()
{
    file = CreateFileA(location, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    return file == INVALID_HANDLE_VALUE ? E_FAIL : S_OK;
}

HRESULT PackStream::OpenUrl()
{
    source.reset(new HttpSource(session, location, kPackRules, abortFlag, openRequest, retry));
    if (askInParts)
        source->FirstAskFor(sizeof(PackHeader));
    HRESULT hr = source->Open();
    if (FAILED(hr))
        return hr;
    totalSize = static_cast<LONGLONG>(source->Length());
    progressShift = ProgressShiftFor(totalSize);
    return S_OK;
}

HRESULT PackStream::Read(void* buffer, DWORD bytesToRead, DWORD* bytesRead)
{
    *bytesRead = 0;
    if (session)
        return source && source->Read(buffer, bytesToRead, bytesRead) == S_OK ? S_OK : E_FAIL;
    return ReadFile(file, buffer, bytesToRead, bytesRead, NULL) ? S_OK : E_FAIL;
}

HRESULT PackStream::ReadFully(void* buffer, DWORD size, DWORD* bytesRead, ByteProgress& progress)
{
    *bytesRead = 0;
    HRESULT hr = S_OK;
    if (session) {
        hr = source->ReadFully(buffer, size, bytesRead, progress);
    } else {
        // A local file is never slow: it is read in as few calls as it allows.
        BYTE* at = static_cast<BYTE*>(buffer);
        while (*bytesRead < size) {
            DWORD got = 0;
            if (!ReadFile(file, at + *bytesRead, size - *bytesRead, &got, NULL) || got > size - *bytesRead)
                return IsAbortRequested(abortFlag) ? E_ABORT : E_FAIL;
            if (got == 0)
                break;
            *bytesRead += got;
            progress.Add(got);
            if (IsAbortRequested(abortFlag))
                return E_ABORT;
        }
    }
    // The chunk just completed is not handed on once the user has asked to stop.
    if (hr == S_OK && IsAbortRequested(abortFlag))
        return E_ABORT;
    return hr;
}

HRESULT PackStream::SeekTo(ULONGLONG offset, ULONGLONG end)
{
    if (session)
        return source->Seek(offset, askInParts ? end : HttpSource::kWhole);
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, NULL, FILE_BEGIN) ? S_OK : E_FAIL;
}

void PackStream::Close()
{
    source.reset();
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
}

LONGLONG PackStream::KnownSize() const
{
    if (session)
        return totalSize;
    LARGE_INTEGER size;
    if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size))
        return size.QuadPart;
    return -1;
}

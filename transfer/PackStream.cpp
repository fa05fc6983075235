#include "PackStream.h"

#include <cstdlib>

#include "AbortFlag.h"
#include "ByteProgress.h"
#include "OpenRequest.h"
#include "ProgressScale.h"
#include "ServerAccess.h"

PackStream::~PackStream()
{
    Close();
}

void PackStream::SetSource(const char* newLocation, HINTERNET newSession, OpenRequest* newOpenRequest)
{
    Close();
    session = newSession;
    openRequest = newOpenRequest;
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
    request = InternetOpenUrlA(session, location, NULL, 0, kPackRequestFlags, 0);
    if (!request)
        return E_FAIL;
    PublishRequest(openRequest, request);

    DWORD status = 0;
    DWORD length = sizeof(status);
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                        NULL) ||
        status != HTTP_STATUS_OK)
        return E_FAIL;

    char text[32];
    length = sizeof(text);
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &length, NULL))
        return E_FAIL;
    text[length < sizeof(text) ? length : sizeof(text) - 1] = '\0';

    totalSize = _atoi64(text);
    progressShift = ProgressShiftFor(totalSize);
    return S_OK;
}

HRESULT PackStream::Read(void* buffer, DWORD bytesToRead, DWORD* bytesRead)
{
    *bytesRead = 0;
    BOOL ok = session ? InternetReadFile(request, buffer, bytesToRead, bytesRead)
                      : ReadFile(file, buffer, bytesToRead, bytesRead, NULL);
    return ok ? S_OK : E_FAIL;
}

HRESULT PackStream::ReadFully(void* buffer, DWORD size, DWORD* bytesRead, ByteProgress& progress,
                              const int* abortFlag, bool* aborted)
{
    *bytesRead = 0;
    *aborted = false;
    BYTE* at = static_cast<BYTE*>(buffer);
    while (*bytesRead < size) {
        // A local file is never slow: it is read in as few calls as it allows.
        const DWORD piece = session ? networkPiece.Size() : size;
        DWORD wanted = size - *bytesRead < piece ? size - *bytesRead : piece;
        DWORD got = 0;
        networkPiece.Start();
        HRESULT hr = Read(at + *bytesRead, wanted, &got);
        if (FAILED(hr) || got > wanted)
            return E_FAIL;
        if (wanted == piece)
            networkPiece.Finished(got);
        if (got == 0)
            break;
        *bytesRead += got;
        progress.Add(got);
        if (IsAbortRequested(abortFlag)) {
            *aborted = true;
            break;
        }
        if (*bytesRead < size)
            progress.ReportIfDue();
    }
    return S_OK;
}

void PackStream::Close()
{
    if (request) {
        CloseRequest(openRequest, request);
        request = NULL;
    }
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

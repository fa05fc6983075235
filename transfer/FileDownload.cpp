#include "FileDownload.h"

#include <cstdlib>
#include <new>

#include <afxstr.h>

#include "AbortFlag.h"
#include "ByteProgress.h"
#include "OpenRequest.h"
#include "ProgressScale.h"
#include "RelativePath.h"
#include "ServerAccess.h"

namespace {

bool WriteAll(HANDLE file, const BYTE* data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, NULL) && written == size;
}

}  // namespace

HRESULT DownloadToFile(HINTERNET session, const char* url, const char* localPath, CProgressCtrl* progress,
                       const int* abortFlag, OpenRequest* openRequest)
{
    HRESULT hr = E_FAIL;
    HINTERNET request = NULL;
    HANDLE file = INVALID_HANDLE_VALUE;
    BYTE* buffer = NULL;
    DWORD status = 0;
    DWORD length = 0;
    char lengthText[256];
    LONGLONG contentLength = 0;
    ULONGLONG total = 0;
    DWORD filled = 0;

#define CHECK(condition) do { if (!(condition)) { hr = E_FAIL; goto CleanUp; } } while (0)
    request = InternetOpenUrlA(session, url, NULL, 0, kFileRequestFlags, 0);
    CHECK(request);
    PublishRequest(openRequest, request);

    length = sizeof(status);
    CHECK(HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL));
    CHECK(status == HTTP_STATUS_OK);

    length = sizeof(lengthText);
    CHECK(HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &length, NULL));
    lengthText[length < sizeof(lengthText) ? length : sizeof(lengthText) - 1] = '\0';
    contentLength = _atoi64(lengthText);

    {
        ByteProgress bytes(progress, ProgressShiftFor(contentLength));
        bytes.SetRange(contentLength);
        if (IsAbortRequested(abortFlag)) {
            hr = S_OK;
            goto CleanUp;
        }
        bytes.Report();

        file = CreateFileA(localPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           NULL);
        CHECK(file != INVALID_HANDLE_VALUE);
        buffer = new (std::nothrow) BYTE[kTransferBufferSize];
        CHECK(buffer);

        for (;;) {
            DWORD wanted = kTransferBufferSize - filled < kNetworkPieceSize ? kTransferBufferSize - filled
                                                                            : kNetworkPieceSize;
            DWORD got = 0;
            if (!InternetReadFile(request, buffer + filled, wanted, &got)) {
                // Closed under the read by a confirmed abort: a stop, not a failure.
                hr = IsAbortRequested(abortFlag) ? S_OK : E_FAIL;
                goto CleanUp;
            }
            CHECK(got <= wanted);
            if (got == 0) {
                // The end of the data: complete only when every announced byte arrived.
                if (filled > 0) {
                    bytes.Report();
                    CHECK(WriteAll(file, buffer, filled));
                }
                hr = static_cast<LONGLONG>(total) == contentLength ? S_OK : E_FAIL;
                break;
            }
            total += got;
            filled += got;
            bytes.Add(got);
            if (IsAbortRequested(abortFlag)) {
                hr = S_OK;
                break;
            }
            if (filled < kTransferBufferSize) {
                bytes.ReportIfDue();
                continue;
            }
            bytes.Report();
            CHECK(WriteAll(file, buffer, filled));
            filled = 0;
        }
    }

CleanUp:
#undef CHECK
    CloseRequest(openRequest, request);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    delete[] buffer;
    return hr;
}

HRESULT DownloadBelow(HINTERNET session, const char* baseUrl, const char* folder, const char* path,
                      CProgressCtrl* progress, const int* abortFlag, OpenRequest* openRequest)
{
    if (!IsContainedRelativePath(path))
        return E_FAIL;
    CString url;
    CString localPath;
    url.Format("%s/%s", baseUrl, path);
    localPath.Format("%s/%s", folder, path);
    return DownloadToFile(session, url, localPath, progress, abortFlag, openRequest);
}

// DownloadDialog::DownloadFile: one catalogue resource stored unchanged below the target folder.
#include <cstdlib>
#include <new>

#include "DownloadDialog.h"
#include "ProgressScale.h"
#include "RelativePath.h"
#include "ServerAccess.h"

HRESULT DownloadDialog::DownloadFile(const char* caption, const char* path)
{
    HRESULT hr = E_FAIL;
    HINTERNET request = NULL;
    HANDLE file = INVALID_HANDLE_VALUE;
    BYTE* buffer = NULL;
    CString url;
    CString localPath;
    DWORD status = 0;
    DWORD length = 0;
    char lengthText[256];
    LONGLONG contentLength = 0;
    LONGLONG divisor = 1;
    ULONGLONG total = 0;

#define CHECK(condition) do { if (!(condition)) { hr = E_FAIL; goto CleanUp; } } while (0)
    url.Format("%s/%s", static_cast<const char*>(catalog.baseUrl), path);
    localPath.Format("%s/%s", static_cast<const char*>(targetFolder), path);
    itemCaption.SetWindowText(caption);

    // The path names a place below the target folder; one that could climb out is
    // refused before anything is requested.
    CHECK(IsContainedRelativePath(path));

    request = InternetOpenUrlA(internetSession, url, NULL, 0, kFileRequestFlags, 0);
    CHECK(request);

    length = sizeof(status);
    CHECK(HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL));
    CHECK(status == HTTP_STATUS_OK);

    length = sizeof(lengthText);
    CHECK(HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &length, NULL));
    lengthText[length < sizeof(lengthText) ? length : sizeof(lengthText) - 1] = '\0';
    contentLength = _atoi64(lengthText);
    divisor = ProgressDivisorFor(contentLength);

    itemProgress.SendMessage(PBM_SETRANGE32, 0, static_cast<DWORD>(contentLength / divisor));
    if (IsAbortRequested(&abortRequested)) {
        hr = S_OK;
        goto CleanUp;
    }
    itemProgress.SendMessage(PBM_SETPOS, 0, 0);

    file = CreateFileA(localPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    CHECK(file != INVALID_HANDLE_VALUE);

    buffer = new (std::nothrow) BYTE[kTransferBufferSize];
    CHECK(buffer);

    for (;;) {
        DWORD got = 0;
        CHECK(InternetReadFile(request, buffer, kTransferBufferSize, &got));
        if (got == 0) {
            // The end of the data: complete only when every announced byte arrived.
            hr = static_cast<LONGLONG>(total) == contentLength ? S_OK : E_FAIL;
            break;
        }
        total += got;
        if (IsAbortRequested(&abortRequested)) {
            hr = S_OK;
            break;
        }
        itemProgress.SendMessage(PBM_SETPOS, static_cast<DWORD>(static_cast<LONGLONG>(total) / divisor), 0);
        DWORD written = 0;
        CHECK(WriteFile(file, buffer, got, &written, NULL) && written == got);
    }

CleanUp:
#undef CHECK
    if (request)
        InternetCloseHandle(request);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    delete[] buffer;
    return hr;
}

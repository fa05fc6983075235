#include "FileDownload.h"

#include <cstdlib>
#include <cstring>

#include <afxstr.h>

#include "AbortFlag.h"
#include "ByteProgress.h"
#include "Check.h"
#include "ChunkPipeline.h"
#include "NetworkPiece.h"
#include "OpenRequest.h"
#include "ProgressScale.h"
#include "RelativePath.h"
#include "ServerAccess.h"

HRESULT DownloadToFile(HINTERNET session, const char* url, const char* localPath, CProgressCtrl* progress,
                       const int* abortFlag, OpenRequest* openRequest)
{
    HRESULT hr = E_FAIL;
    HINTERNET request = NULL;
    ChunkPipeline pipeline;
    OutputFile file = {};
    BYTE* chunk = NULL;
    DWORD status = 0;
    DWORD length = 0;
    char lengthText[256];
    LONGLONG contentLength = 0;
    ULONGLONG total = 0;
    DWORD filled = 0;
    NetworkPiece piece;
    bool aborted = false;

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
            aborted = true;
            goto CleanUp;
        }
        bytes.Report();

        // The writer creates the file and writes each chunk while the next one arrives.
        CHECK(strlen(localPath) < sizeof(file.path));
        strcpy(file.path, localPath);
        CHECK(SUCCEEDED(pipeline.Start(false)));
        pipeline.BeginFile(file);
        chunk = pipeline.NextBuffer();

        for (;;) {
            DWORD wanted = kTransferBufferSize - filled < piece.Size() ? kTransferBufferSize - filled : piece.Size();
            DWORD got = 0;
            piece.Start();
            if (!InternetReadFile(request, chunk + filled, wanted, &got)) {
                // Closed under the read by a confirmed abort: a stop, not a failure.
                aborted = IsAbortRequested(abortFlag);
                hr = aborted ? S_OK : E_FAIL;
                goto CleanUp;
            }
            CHECK(got <= wanted);
            if (wanted == piece.Size())
                piece.Finished(got);
            if (got == 0) {
                // The end of the data: complete only when every announced byte arrived.
                if (filled > 0) {
                    bytes.Report();
                    pipeline.Deliver(filled);
                }
                pipeline.EndFile();
                hr = static_cast<LONGLONG>(total) == contentLength ? S_OK : E_FAIL;
                break;
            }
            total += got;
            filled += got;
            bytes.Add(got);
            // The chunk being filled is not written once the user has asked to stop.
            if (IsAbortRequested(abortFlag)) {
                aborted = true;
                break;
            }
            // The file cannot be created or written: stop receiving.
            CHECK(!pipeline.Failed());
            if (filled < kTransferBufferSize) {
                bytes.ReportIfDue();
                continue;
            }
            bytes.Report();
            pipeline.Deliver(filled);
            filled = 0;
            chunk = pipeline.NextBuffer();
        }
    }

CleanUp:
    CloseRequest(openRequest, request);
    {
        // The chunks handed over are written before the result is known.
        HRESULT finished = pipeline.Finish();
        if (aborted)
            hr = S_OK;
        else if (SUCCEEDED(hr))
            hr = finished;
    }
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

#include "FileDownload.h"

#include <cstring>

#include <afxstr.h>

#include "AbortFlag.h"
#include "ByteProgress.h"
#include "Check.h"
#include "ChunkPipeline.h"
#include "FreeSpace.h"
#include "HttpSource.h"
#include "ProgressScale.h"
#include "RelativePath.h"
#include "ServerAccess.h"

namespace {

// Any length; redirects are followed also when they switch between HTTP and HTTPS.
const HttpRules kFileRules = {kFileRequestFlags, ~0ull, false, nullptr};

// A file that an earlier run stored, whole or in part, with the server's Last-Modified
// time: the first request asks only for what follows its end, if that version is
// still the server's.
void AskForTheRest(HttpSource& source, const char* localPath)
{
    WIN32_FILE_ATTRIBUTE_DATA found;
    SYSTEMTIME written;
    char date[INTERNET_RFC1123_BUFSIZE + 8];
    if (!GetFileAttributesExA(localPath, GetFileExInfoStandard, &found) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    ULARGE_INTEGER size;
    size.LowPart = found.nFileSizeLow;
    size.HighPart = found.nFileSizeHigh;
    if (size.QuadPart == 0 || !FileTimeToSystemTime(&found.ftLastWriteTime, &written) ||
        !InternetTimeFromSystemTimeA(&written, INTERNET_RFC1123_FORMAT, date, sizeof(date)))
        return;
    source.StartFrom(size.QuadPart, date);
}

}  // namespace

HRESULT DownloadToFile(HINTERNET session, const char* url, const char* localPath, CProgressCtrl* progress,
                       const int* abortFlag, OpenRequest* openRequest, const RetrySettings& retry)
{
    HRESULT hr = S_OK;
    HttpSource source(session, url, kFileRules, abortFlag, openRequest, retry);
    ChunkPipeline pipeline;
    OutputFile file = {};
    BYTE* chunk = NULL;
    DWORD got = 0;

    CHECK(strlen(localPath) < sizeof(file.path));
    strcpy(file.path, localPath);
    AskForTheRest(source, localPath);
    hr = source.Open();
    if (FAILED(hr))
        goto CleanUp;
    // Once for the resource, and again from its first byte whenever it changed on the
    // server between two attempts.
    do {
        const ULONGLONG length = source.Length();
        ByteProgress bytes(progress, ProgressShiftFor(static_cast<LONGLONG>(length)));
        bytes.SetRange(length);
        if (IsAbortRequested(abortFlag)) {
            hr = E_ABORT;
            goto CleanUp;
        }
        // What an earlier run stored counts as done.
        bytes.Add(source.Position());
        bytes.Report();
        if (hr == S_RESOURCE_CHANGED)
            pipeline.DropFile();
        file.append = source.Position() > 0;
        file.stampWriteTime = source.LastModified(&file.time);
        hr = EnsureRoomFor(localPath, length - source.Position());
        if (FAILED(hr))
            goto CleanUp;
        // The writer creates the file and writes each chunk while the next one arrives.
        if (!pipeline.Started())
            CHECK(SUCCEEDED(pipeline.Start(false)));
        pipeline.BeginFile(file);
        for (ULONGLONG remaining = length - source.Position();;) {
            DWORD wanted = remaining < kTransferBufferSize ? static_cast<DWORD>(remaining) : kTransferBufferSize;
            chunk = pipeline.NextBuffer();
            hr = source.ReadFully(chunk, wanted, &got, bytes);
            if (got > 0)
                bytes.Report();
            // What arrived before the link was given up stays in the file.
            if (hr == E_FAIL && got > 0 && !IsAbortRequested(abortFlag))
                pipeline.Deliver(got);
            if (hr != S_OK)
                break;
            // The chunk just filled is not written once the user has asked to stop.
            if (IsAbortRequested(abortFlag)) {
                hr = E_ABORT;
                goto CleanUp;
            }
            CHECK(got == wanted);
            if (got > 0)
                pipeline.Deliver(got);
            // The file cannot be created or written: stop receiving.
            CHECK(!pipeline.Failed());
            remaining -= got;
            if (remaining == 0) {
                pipeline.EndFile();
                break;
            }
        }
    } while (hr == S_RESOURCE_CHANGED);

CleanUp:
    source.Close();
    {
        // The chunks handed over are written before the result is known.
        HRESULT finished = pipeline.Finish();
        if (hr == E_ABORT || (FAILED(hr) && IsAbortRequested(abortFlag)))
            hr = S_OK;
        else if (SUCCEEDED(hr))
            hr = finished;
    }
    return hr;
}

HRESULT DownloadBelow(HINTERNET session, const char* baseUrl, const char* folder, const char* path,
                      CProgressCtrl* progress, const int* abortFlag, OpenRequest* openRequest,
                      const RetrySettings& retry)
{
    if (!IsContainedRelativePath(path))
        return E_FAIL;
    CString url;
    CString localPath;
    url.Format("%s/%s", baseUrl, path);
    localPath.Format("%s/%s", folder, path);
    return DownloadToFile(session, url, localPath, progress, abortFlag, openRequest, retry);
}

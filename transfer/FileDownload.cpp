#include "FileDownload.h"

#include <cstring>

#include <afxstr.h>

#include "ByteProgress.h"
#include "CancelToken.h"
#include "Check.h"
#include "ChunkPipeline.h"
#include "FreeSpace.h"
#include "HeldFiles.h"
#include "HttpSource.h"
#include "ProgressSink.h"
#include "RelativePath.h"
#include "ServerAccess.h"

namespace {

// Any length; redirects are followed also when they switch between HTTP and HTTPS.
const HttpRules kFileRules = {kFileRequestFlags, ~0ull, false, nullptr, false};

// A file that an earlier run stored, whole or in part, with the server's Last-Modified
// time: the first request asks only for what follows its end, if that version is
// still the server's. Returns the size on disk, 0 when there is no such file.
ULONGLONG AskForTheRest(HttpSource& source, const char* localPath)
{
    WIN32_FILE_ATTRIBUTE_DATA found;
    SYSTEMTIME written;
    char date[INTERNET_RFC1123_BUFSIZE + 8];
    if (!GetFileAttributesExA(localPath, GetFileExInfoStandard, &found) ||
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return 0;
    ULARGE_INTEGER size;
    size.LowPart = found.nFileSizeLow;
    size.HighPart = found.nFileSizeHigh;
    if (size.QuadPart > 0 && FileTimeToSystemTime(&found.ftLastWriteTime, &written) &&
        InternetTimeFromSystemTimeA(&written, INTERNET_RFC1123_FORMAT, date, sizeof(date)))
        source.StartFrom(size.QuadPart, date);
    return size.QuadPart;
}

// The file on disk is the server's whole version: it is only given the server's time,
// where it differs, so that read access is all it needs.
void KeepComplete(const HttpSource& source, const char* localPath, ProgressSink& progress)
{
    FILETIME time;
    const ULONGLONG length = source.Length();
    ByteProgress bytes(progress, length);
    bytes.Add(length);
    bytes.Report();
    if (source.LastModified(&time))
        StampFile(localPath, time, true);
}

}  // namespace

HRESULT DownloadToFile(const TransferEnv& env, const char* url, const char* localPath)
{
    HRESULT hr = S_OK;
    HttpSource source(env, url, kFileRules);
    ChunkPipeline pipeline;
    OutputFile file = {};
    BYTE* chunk = NULL;
    DWORD got = 0;
    const CString partPath = PartPath(localPath);
    ULONGLONG onDisk = 0;
    // An earlier run's file is replaced only by a whole new version: it is received
    // under another name beside it and then renamed over it.
    bool replacing = false;

    CHECK(partPath.GetLength() < static_cast<int>(sizeof(file.path)));
    onDisk = AskForTheRest(source, localPath);
    hr = source.Open();
    if (FAILED(hr))
        goto CleanUp;
    if (onDisk > 0 && source.Position() == source.Length()) {
        KeepComplete(source, localPath, env.progress);
        goto CleanUp;
    }
    // Once for the resource, and again from its first byte whenever it changed on the
    // server between two attempts.
    do {
        const ULONGLONG length = source.Length();
        ByteProgress bytes(env.progress, length);
        if (env.cancel.IsCancelled()) {
            hr = E_ABORT;
            goto CleanUp;
        }
        // What an earlier run stored counts as done.
        bytes.Add(source.Position());
        bytes.Report();
        if (hr == S_RESOURCE_CHANGED)
            pipeline.DropFile();
        replacing = onDisk > 0 && source.Position() == 0;
        strcpy(file.path, replacing ? partPath.GetString() : localPath);
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
            if (hr == E_FAIL && got > 0)
                pipeline.Deliver(got);
            if (hr != S_OK)
                break;
            // The chunk just filled is not written once the user has asked to stop.
            if (env.cancel.IsCancelled()) {
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
        if (SUCCEEDED(hr))
            hr = finished;
    }
    if (replacing) {
        if (SUCCEEDED(hr))
            hr = MoveOver(partPath, localPath);
        else
            DeleteFileA(partPath);
    }
    return hr;
}

HRESULT DownloadBelow(const TransferEnv& env, const char* baseUrl, const char* folder, const char* path)
{
    if (!IsContainedRelativePath(path))
        return E_FAIL;
    CString url;
    CString localPath;
    url.Format("%s/%s", baseUrl, path);
    localPath.Format("%s/%s", folder, path);
    return DownloadToFile(env, url, localPath);
}

#include "FileDownload.h"

#include <cstring>

#include <afxstr.h>

#include "ByteProgress.h"
#include "ByteSource.h"
#include "CancelToken.h"
#include "ChunkPipeline.h"
#include "FreeSpace.h"
#include "Handle.h"
#include "HeldFiles.h"
#include "HttpSource.h"
#include "RelativePath.h"
#include "ServerAccess.h"

namespace {

// Any length; redirects are followed also when they switch between HTTP and HTTPS.
const HttpRules kFileRules = {kFileRequestFlags, ~0ull, false, nullptr, false, false};

// A file that an earlier run stored, whole or in part, with the server's Last-Modified
// time: the first request asks for its last byte onward, which proves whether it is the
// server's version, whole or in part. Returns the size on disk, 0 when there is no such
// file; one that cannot be read is not proved, and is replaced only by a whole version.
ULONGLONG ProveHeldCopy(ByteSource& source, const char* localPath, bool anew, VolumeTimes* volume)
{
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (!GetFileAttributesExA(localPath, GetFileExInfoStandard, &found) ||
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return 0;
    HeldCopy copy = {};
    ULARGE_INTEGER size;
    size.LowPart = found.nFileSizeLow;
    size.HighPart = found.nFileSizeHigh;
    copy.size = size.QuadPart;
    copy.time = found.ftLastWriteTime;
    copy.volume = *volume = VolumeTimesOf(localPath);
    if (copy.size == 0)
        return 0;
    if (anew)
        return copy.size;
    Handle file(OpenHeldFile(localPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    LARGE_INTEGER last;
    last.QuadPart = static_cast<LONGLONG>(copy.size - 1);
    DWORD read = 0;
    if (file.IsOpen() && SetFilePointerEx(file.Get(), last, NULL, FILE_BEGIN) &&
        ReadFile(file.Get(), &copy.lastByte, 1, &read, NULL) && read == 1)
        source.StartFrom(copy);
    return copy.size;
}

// The file on disk is the server's whole version: it is only given the server's time,
// where it differs by more than its volume keeps, so that read access is all it needs.
void KeepComplete(const ByteSource& source, const char* localPath, VolumeTimes volume, ProgressSink& progress)
{
    FILETIME time;
    ByteProgress bytes(progress, source.Length());
    bytes.Add(source.Length());
    bytes.Report();
    if (source.LastModified(&time))
        StampFile(localPath, time, true, volume);
}

// Writes the version the source delivers, from source.Position() on, to `path`, which
// `localPath`'s volume must have room for. S_RESOURCE_CHANGED when another version began
// meanwhile: the caller drops the file and starts over.
HRESULT WriteVersion(ByteSource& source, const char* path, const char* localPath, ChunkPipeline& pipeline,
                     ProgressSink& progress, const CancelToken& cancel)
{
    ByteProgress bytes(progress, source.Length());
    // What an earlier run stored counts as done.
    bytes.Add(source.Position());
    bytes.Report();
    OutputFile file = {};
    strcpy(file.path, path);
    file.opening = source.Position() > 0 ? OutputFile::Opening::kWriteAt : OutputFile::Opening::kCreate;
    file.offset = kToTheEnd;
    file.stamped = source.LastModified(&file.time);
    HRESULT hr = EnsureRoomFor(localPath, source.Length() - source.Position());
    if (FAILED(hr))
        return hr;
    // The writer creates the file and writes each chunk while the next one arrives.
    if (!pipeline.Started() && FAILED(pipeline.Start(false)))
        return E_FAIL;
    pipeline.BeginFile(file);
    // What arrived before the link was given up stays in the file; nothing is written once
    // the user has asked to stop.
    hr = DeliverFrom(source, source.Length() - source.Position(), pipeline, bytes, cancel);
    if (hr == S_OK)
        pipeline.EndFile();
    return hr;
}

}  // namespace

HRESULT SaveToFile(ByteSource& source, const char* localPath, ProgressSink& progress, const CancelToken& cancel,
                   bool anew)
{
    const CString partPath = PartPath(localPath);
    if (partPath.GetLength() >= MAX_PATH)
        return E_FAIL;
    VolumeTimes volume = VolumeTimes::kExact;
    const ULONGLONG onDisk = ProveHeldCopy(source, localPath, anew, &volume);
    HRESULT hr = source.Open();
    if (FAILED(hr))
        return hr;
    if (onDisk > 0 && source.Position() == onDisk && source.Length() == onDisk) {
        KeepComplete(source, localPath, volume, progress);
        return S_OK;
    }
    // An earlier run's file is replaced only by a whole new version: it is received
    // under another name beside it and then renamed over it.
    bool replacing = false;
    ChunkPipeline pipeline;
    // Once for the resource, and again from its first byte whenever it changed on the
    // server between two attempts.
    do {
        // Nothing is created once the user has asked to stop.
        if (cancel.IsCancelled()) {
            hr = E_ABORT;
            break;
        }
        if (hr == S_RESOURCE_CHANGED)
            pipeline.DropFile();
        replacing = onDisk > 0 && source.Position() == 0;
        hr = WriteVersion(source, replacing ? partPath.GetString() : localPath, localPath, pipeline, progress, cancel);
    } while (hr == S_RESOURCE_CHANGED);
    source.Close();
    // The chunks handed over are written before the result is known.
    const HRESULT finished = pipeline.Finish();
    if (SUCCEEDED(hr))
        hr = finished;
    return replacing ? PutInPlace(hr, partPath, localPath) : hr;
}

HRESULT DownloadToFile(const TransferEnv& env, const char* url, const char* localPath, bool anew)
{
    HttpSource source(env, url, kFileRules);
    return SaveToFile(source, localPath, env.progress, env.cancel, anew);
}

HRESULT DownloadBelow(const TransferEnv& env, const char* baseUrl, const char* folder, const char* path, bool anew)
{
    CString url;
    CString localPath;
    if (!JoinCatalogPath(baseUrl, folder, path, &url, &localPath))
        return E_FAIL;
    return DownloadToFile(env, url, localPath, anew);
}

// A pack read front to back from an HTTP(S) URL or a local file, and its unpacking.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>

#include <afxcmn.h>
#include <afxstr.h>

#include "HttpSource.h"

class ByteProgress;
class ChunkPipeline;
class OpenRequest;

class PackStream {
public:
    PackStream() = default;
    ~PackStream();
    PackStream(const PackStream&) = delete;
    PackStream& operator=(const PackStream&) = delete;

    // Closes what an earlier source left open. With a session the location is a
    // URL (every `\` becomes `/`); without one it is a local file path, kept as is.
    // The session is borrowed, never closed here. When `openRequest` is given, each
    // request is published there, so that another thread can close it to end a read
    // that the server never answers. `retry` says how long a silent link is waited for
    // and where the wait before a reconnection is shown.
    void SetSource(const char* location, HINTERNET session, OpenRequest* openRequest = nullptr,
                   const RetrySettings& retry = RetrySettings());

    // Before Extract: the folder the pack unpacks into, where the caller knows it. Only
    // where that folder (unknown: targetDir) holds files is the pack asked for in parts,
    // its header first; otherwise one request brings it whole.
    void ExpectFolder(const char* folder) { expectedFolder = folder; }

    // Opens the source. Over HTTP(S) the answer must be 200 with a Content-Length,
    // which sets totalSize and progressShift; a drop, a stall or a busy server is
    // retried. The local-file mode leaves both alone.
    HRESULT Open();

    // Reads the next bytes. A successful read of 0 bytes means the end; a read
    // otherwise delivers what the platform call gave, so callers that need an exact
    // amount loop. *bytesRead is set on every path.
    HRESULT Read(void* buffer, DWORD bytesToRead, DWORD* bytesRead);

    // Closes the request or the file; may be called any number of times.
    void Close();

    // Opens the source and unpacks the pack below targetDir in one pass: each file
    // is created (with its directories), written, stamped with its time and checked
    // against its MD5 digest. Moves `progress` (may be null) by the bytes consumed
    // and stops with S_OK when *abortFlag (may be null) becomes non-zero; a read that
    // fails once the flag is set counts as that abort. E_FAIL for every failure,
    // including a digest mismatch (reported on standard output; the rest of the pack
    // is still unpacked), names that would lead outside targetDir and an entry table
    // above kMaxPackTableSize. A file already below targetDir with the entry's size and
    // digest is kept (given the entry's time) and its bytes are not fetched; a first run
    // makes one request. A drop is resumed where it stopped; when the pack has
    // changed on the server meanwhile, it is unpacked again from its start, so that no
    // file holds bytes of two versions. The source is left open.
    HRESULT Extract(const char* targetDir, CProgressCtrl* progress, const int* abortFlag);

    // Every byte received over HTTP(S) so far, read again after a reconnection included.
    ULONGLONG BytesReceived() const { return source ? source->BytesReceived() : 0; }

private:
    HRESULT OpenUrl();
    HRESULT OpenFile();
    // One pass over the pack from its first byte. S_RESOURCE_CHANGED when the server's
    // pack changed under it: the file being written is dropped, and the caller starts over.
    HRESULT ExtractPass(const char* targetDir, CProgressCtrl* progress, ChunkPipeline& pipeline);
    // The size of the resource when it is known: the Content-Length, or a local
    // file's size. -1 when it cannot be told.
    LONGLONG KnownSize() const;
    // Goes forward to `offset` of the pack to read what lies before `end`, fetching
    // nothing in between where the server allows. S_OK, E_ABORT, S_RESOURCE_CHANGED or
    // E_FAIL.
    HRESULT SeekTo(ULONGLONG offset, ULONGLONG end);
    // Reads until `size` bytes have arrived or the source ends, moving `progress`. S_OK,
    // E_ABORT once the abort flag is up, S_RESOURCE_CHANGED, or E_FAIL.
    HRESULT ReadFully(void* buffer, DWORD size, DWORD* bytesRead, ByteProgress& progress);

    CString location;
    CString expectedFolder;
    HINTERNET session = NULL;
    OpenRequest* openRequest = nullptr;
    RetrySettings retry;
    const int* abortFlag = nullptr;
    // An earlier run may have left files of the pack: the header, the table and each run
    // of files that are missing are asked for one by one, so that nothing is sent that is
    // then kept, and no answer is left unread.
    bool askInParts = false;
    std::unique_ptr<HttpSource> source;
    HANDLE file = INVALID_HANDLE_VALUE;
    LONGLONG totalSize = 0;
    int progressShift = 0;
};

// A pack read front to back from an HTTP(S) URL or a local file, and its unpacking.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <afxcmn.h>
#include <afxstr.h>

#include "NetworkPiece.h"

class ByteProgress;
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
    // that the server never answers.
    void SetSource(const char* location, HINTERNET session, OpenRequest* openRequest = nullptr);

    // Opens the source. Over HTTP(S) the answer must be 200 with a Content-Length,
    // which sets totalSize and progressShift. The local-file mode leaves both alone.
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
    // above kMaxPackTableSize. The source is left open.
    HRESULT Extract(const char* targetDir, CProgressCtrl* progress, const int* abortFlag);

private:
    HRESULT OpenUrl();
    HRESULT OpenFile();
    // The size of the resource when it is known: the Content-Length, or a local
    // file's size. -1 when it cannot be told.
    LONGLONG KnownSize() const;
    // Reads until `size` bytes have arrived or the source ends. Over HTTP(S) it reads
    // in network pieces and after each one moves `progress` when due and stops early,
    // with *aborted set, when the abort flag is raised.
    HRESULT ReadFully(void* buffer, DWORD size, DWORD* bytesRead, ByteProgress& progress, const int* abortFlag,
                      bool* aborted);

    CString location;
    HINTERNET session = NULL;
    HINTERNET request = NULL;
    OpenRequest* openRequest = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    LONGLONG totalSize = 0;
    int progressShift = 0;
    NetworkPiece networkPiece;
};

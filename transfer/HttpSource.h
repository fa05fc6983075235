// One resource of the update server, read front to back over HTTP(S) through drops,
// stalls and reconnections: the only place that opens requests and reads bodies.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <afxstr.h>

#include "NetworkPiece.h"

class ByteProgress;
class OpenRequest;

// What a caller demands of the first answer; a refused answer is never retried.
struct HttpRules {
    DWORD requestFlags;
    // The largest Content-Length accepted, and whether 0 is refused.
    ULONGLONG maxLength;
    bool refuseEmpty;
    // When set, the Content-Type must begin with this text.
    const char* typePrefix;
};

// How long a link may stay silent, and how long to wait before the first retry (each
// later wait is twice the one before). The program keeps the defaults; tests shorten them.
struct RetrySettings {
    DWORD receiveTimeoutMs = 30 * 1000;
    DWORD connectTimeoutMs = 30 * 1000;
    DWORD firstWaitMs = 1000;
    // The caption that shows "Нет связи с сервером, повтор через N с" during a wait, and
    // gets its own text back when data flows again; may be null.
    HWND notice = NULL;
};

// Retries in a row without a new byte before the transfer gives up: waits of 1, 2, 4, 8
// and 16 s.
const int kMaxRetries = 5;

// Read's answer when the resource changed on the server between two attempts: Length()
// is the new version's, and the next bytes are its first. A success code, so that a
// caller that does not start over still sees no failure: every caller checks for it.
const HRESULT S_RESOURCE_CHANGED = MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_ITF, 0x0201);

class HttpSource {
public:
    static const ULONGLONG kWhole = ~0ull;

    // `session` is borrowed. Each request is published in `openRequest` (may be null),
    // and every wait and read ends early once *abortFlag (may be null) is raised.
    HttpSource(HINTERNET session, const char* url, const HttpRules& rules, const int* abortFlag,
               OpenRequest* openRequest, const RetrySettings& retry);
    ~HttpSource();
    HttpSource(const HttpSource&) = delete;
    HttpSource& operator=(const HttpSource&) = delete;

    // Before Open: the caller already holds the first `offset` bytes of the version that
    // `ifRange` (an ETag or an HTTP date) names, so the first request asks for the rest.
    // After Open, Position() tells what the server answered: `offset` when the rest
    // follows (or, when it equals Length(), nothing is missing), 0 when the whole
    // resource follows because it changed or the server sends no ranges.
    void StartFrom(ULONGLONG offset, const char* ifRange);

    // Before Open: only the bytes before `end` are wanted for now (Seek asks for more), so
    // that the first request does not bring what may never be read.
    void FirstAskFor(ULONGLONG end);

    // Requests the resource until an answer is accepted. S_OK; E_ABORT once the flag is
    // up; E_FAIL for a refused answer, a status that is not retried, a certificate or TLS
    // failure, and after kMaxRetries retries without an answer.
    HRESULT Open();

    // The Content-Length of the accepted answer.
    ULONGLONG Length() const { return length_; }
    // The offset of the next byte Read delivers.
    ULONGLONG Position() const { return position_; }
    // The Last-Modified time of the version being read; false when the server sent none.
    bool LastModified(FILETIME* time) const;

    // The next bytes, at most `size` and at most one network piece: S_OK with *got > 0,
    // or S_OK with *got == 0 once all Length() bytes have been delivered. A drop is
    // resumed inside, so the bytes always continue where the last ones ended, unless
    // the answer is S_RESOURCE_CHANGED. E_ABORT and E_FAIL as for Open.
    HRESULT Read(void* buffer, DWORD size, DWORD* got);

    // Reads until `size` bytes have arrived or the resource ends (*got then tells), moving
    // `progress` by each piece and, between pieces, when a position is due.
    HRESULT ReadFully(void* buffer, DWORD size, DWORD* got, ByteProgress& progress);

    // Goes forward to `offset` of the same version, to read up to `end` (or to the end
    // of the resource): a new request for that range when the server names its versions
    // and honours ranges, otherwise the bytes in between are read and dropped and the
    // request goes on to the end. Read delivers nothing beyond `end`. S_OK,
    // S_RESOURCE_CHANGED, E_ABORT or E_FAIL as for Read.
    HRESULT Seek(ULONGLONG offset, ULONGLONG end = kWhole);

    // Closes the request; a later Read reconnects.
    void Close();

    // Every body byte read from the network, including those read again after a
    // reconnection to a server that ignores ranges.
    ULONGLONG BytesReceived() const { return bytesReceived_; }

private:
    enum Outcome { kAccepted, kRetry, kRefused, kAborted, kChanged };
    Outcome Request(ULONGLONG offset, bool useRange);
    Outcome RequestNext();
    static HRESULT ResultOf(Outcome outcome);
    Outcome CheckFirstAnswer(ULONGLONG length);
    Outcome CheckStartAnswer(DWORD status);
    bool ContentLength(ULONGLONG* length) const;
    void StoreValidators();
    Outcome CheckResumedAnswer(DWORD status, ULONGLONG length, ULONGLONG offset);
    Outcome SkipTo(ULONGLONG offset);
    HRESULT Reconnect();
    // Asks at once for the range from position_, then as Reconnect.
    HRESULT Resume();
    // The end of what the request being read brings.
    ULONGLONG End() const;
    HRESULT WaitBeforeRetry();
    void ShowNotice(int seconds);
    void RestoreCaption();
    bool QueryText(DWORD query, char* text, DWORD size) const;
    // The validator a resumed request names in If-Range: the ETag, or Last-Modified when
    // the server sends no strong ETag. Empty when there is neither.
    CString Validator() const;

    HINTERNET session_;
    CString url_;
    HttpRules rules_;
    const int* abortFlag_;
    OpenRequest* openRequest_;
    RetrySettings retry_;

    HINTERNET connection_ = NULL;
    HINTERNET request_ = NULL;
    CString host_;
    CString path_;
    INTERNET_PORT port_ = 0;
    bool secure_ = false;
    bool urlValid_ = false;

    bool answered_ = false;
    ULONGLONG startOffset_ = 0;
    CString startValidator_;
    bool ignoresRanges_ = false;
    // Where the bytes asked for end: kWhole, or the end of the range asked for.
    ULONGLONG windowEnd_ = kWhole;
    ULONGLONG length_ = 0;
    ULONGLONG position_ = 0;
    ULONGLONG furthest_ = 0;
    CString etag_;
    CString lastModified_;
    int retries_ = 0;
    ULONGLONG bytesReceived_ = 0;
    bool noticeShown_ = false;
    CString ownCaption_;
    NetworkPiece piece_;
};

// One resource of the update server, read front to back over HTTP(S) through drops,
// stalls and reconnections: the only place that opens requests and reads bodies.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <afxstr.h>

#include "AnswerJudge.h"
#include "NetworkPiece.h"

class ByteProgress;
class OpenRequest;
struct AnswerText;

// How long a link may stay silent, how long to keep trying, and where a wait is told.
// The program keeps the defaults; tests shorten them.
struct RetrySettings {
    DWORD receiveTimeoutMs = 30 * 1000;
    DWORD connectTimeoutMs = 30 * 1000;
    Patience patience;
    // The caption that shows the wait, with `noticeFormat` (a printf format taking the
    // seconds left as an int), and gets its own text back when data flows again. Either
    // may be null: then no wait is shown.
    HWND notice = NULL;
    const char* noticeFormat = nullptr;
};

// Read's answer when the resource changed on the server after some of it was delivered:
// Length() is the new version's, and the next bytes are its first. A success code, so
// that a caller that does not start over still sees no failure: every caller checks for it.
const HRESULT S_RESOURCE_CHANGED = MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_ITF, 0x0201);

class HttpSource {
public:
    static const ULONGLONG kWhole = kToTheEnd;

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
    // follows (or, when it equals Length(), nothing is missing), 0 when the whole of
    // another version follows.
    void StartFrom(ULONGLONG offset, const char* ifRange);

    // Before Open: only the bytes before `end` are wanted for now (Seek asks for more), so
    // that the first request brings no more than the caller may read: an answer left
    // unread is costly to leave (WinINet under Wine reads what the server keeps sending).
    void FirstAskFor(ULONGLONG end) { windowEnd_ = end; }

    // Requests the resource until an answer can be used. S_OK; E_ABORT once the flag is
    // up; E_FAIL for a refused answer, a status that is not retried, a security failure,
    // and once the patience for trying without progress is spent.
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
    // Asks for the bytes from position_ until an answer can be used, waiting between tries.
    HRESULT Ask();
    Asked WhatToAsk() const;
    bool Send(const Asked& asked, DWORD* error);
    void Collect(Answer* answer, AnswerText* text);
    HRESULT Follow(const Verdict& verdict, const Answer& answer, ULONGLONG end);
    bool Skip(ULONGLONG count);
    void NoteProgress();
    // The end of what the current version offers the caller.
    ULONGLONG End() const;
    HRESULT Wait(DWORD waitMs);
    void ShowNotice(int seconds);
    void RestoreCaption();
    bool QueryText(DWORD query, char* text, DWORD size) const;
    // The validator a range names in If-Range: the strong ETag, or Last-Modified when the
    // server sends none or its nodes disagree on it. Empty when there is neither.
    const char* Validator() const;

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

    // A version is held once an answer was used, or from StartFrom.
    bool held_ = false;
    bool answered_ = false;
    // The next request asks for the whole resource, whatever is held.
    bool wholeNext_ = false;
    bool takesRanges_ = false;
    bool etagsDisagree_ = false;
    CString etag_;
    CString lastModified_;
    ULONGLONG length_ = kUnknownLength;
    ULONGLONG position_ = 0;
    // Where the bytes the open request brings end, and where the caller wants them to.
    ULONGLONG requestEnd_ = 0;
    ULONGLONG windowEnd_ = kWhole;
    ULONGLONG furthest_ = 0;
    int tries_ = 0;
    int channelErrors_ = 0;
    DWORD progressTick_ = 0;
    ULONGLONG bytesReceived_ = 0;
    bool noticeShown_ = false;
    CString ownCaption_;
    NetworkPiece piece_;
};

// One resource of the update server, read front to back over HTTP(S) through drops,
// stalls and reconnections: the only place that opens requests and reads bodies.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <afxstr.h>

#include "AnswerJudge.h"
#include "ByteSource.h"
#include "NetworkPiece.h"
#include "TransferEnv.h"

struct AnswerText;

// Every request is a GET through env.session with `rules`' flags; each is published in
// env.cancel, every wait and read ends with E_ABORT once the token is cancelled, and each
// wait for the link is told to env.progress. Open and Read ride out drops, stalls and
// reconnections: they fail (E_FAIL) for a refused answer, a status that is not retried,
// a security failure, and once the patience for trying without progress is spent.
class HttpSource : public ByteSource {
public:
    HttpSource(const TransferEnv& env, const char* url, const HttpRules& rules);
    ~HttpSource() override;
    HttpSource(const HttpSource&) = delete;
    HttpSource& operator=(const HttpSource&) = delete;

    void StartFrom(ULONGLONG offset, const char* ifRange) override;
    // Requests the resource until an answer can be used.
    HRESULT Open() override;
    // The Content-Length of the accepted answer.
    ULONGLONG Length() const override { return length_; }
    ULONGLONG Position() const override { return position_; }
    bool LastModified(FILETIME* time) const override;
    // At most one network piece; a drop is resumed inside.
    HRESULT Read(void* buffer, DWORD size, DWORD* got) override;
    // A new request for the range when the server names its versions and honours ranges;
    // otherwise the bytes in between are read and dropped and the request goes on to the end.
    HRESULT Seek(ULONGLONG offset, ULONGLONG end) override;
    // So that the first request brings no more than the caller may read: an answer left
    // unread is costly to leave (WinINet under Wine reads what the server keeps sending).
    void FirstAskFor(ULONGLONG end) override { windowEnd_ = end; }
    void Close() override;

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
    // The wait, if one was told, is over.
    void EndWait();
    bool QueryText(DWORD query, char* text, DWORD size) const;
    // The validator a range names in If-Range: the strong ETag, or Last-Modified when the
    // server sends none or its nodes disagree on it. Empty when there is neither.
    const char* Validator() const;

    HINTERNET session_;
    CString url_;
    HttpRules rules_;
    CancelToken& cancel_;
    ProgressSink& progress_;
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
    ULONGLONG windowEnd_ = kToTheEnd;
    ULONGLONG furthest_ = 0;
    int tries_ = 0;
    int channelErrors_ = 0;
    DWORD progressTick_ = 0;
    ULONGLONG bytesReceived_ = 0;
    bool waiting_ = false;
    NetworkPiece piece_;
};

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

// The one clock of the retry window, in milliseconds: DefaultRetryClockMs, which reads
// QueryUnbiasedInterruptTime and so does not count time asleep, unless a test has put
// another function here.
ULONGLONG DefaultRetryClockMs();
extern ULONGLONG (*RetryClockMs)();

// Every request is a GET through env.session with `rules`' flags; each is published in
// env.cancel, every wait and read ends with E_ABORT once the token is cancelled, and each
// wait for the link is told to env.progress. Open and Read ride out drops, stalls and
// reconnections: they fail (E_FAIL) for a refused answer, a status that is not retried,
// a security failure, and once an outage has lasted longer than the patience allows.
class HttpSource : public ByteSource {
public:
    HttpSource(const TransferEnv& env, const char* url, const HttpRules& rules);
    ~HttpSource() override;
    HttpSource(const HttpSource&) = delete;
    HttpSource& operator=(const HttpSource&) = delete;

    // The first request asks for the copy's last byte onward, without If-Range.
    void StartFrom(const HeldCopy& copy) override;
    // Requests the resource until an answer can be used.
    HRESULT Open() override;
    // The Content-Length of the accepted answer.
    ULONGLONG Length() const override { return version_.length; }
    ULONGLONG Position() const override { return window_.position; }
    bool LastModified(FILETIME* time) const override;
    // At most one network piece; a drop is resumed inside.
    HRESULT Read(void* buffer, DWORD size, DWORD* got) override;
    // A new request for the range when the server names its versions and honours ranges;
    // otherwise the bytes in between are read and dropped and the request goes on to the end.
    HRESULT Seek(ULONGLONG offset, ULONGLONG end) override;
    // So that the first request brings no more than the caller may read: an answer left
    // unread is costly to leave (WinINet under Wine reads what the server keeps sending).
    void FirstAskFor(ULONGLONG end) override { window_.end = end; }
    void NameVersionBy(const VersionBytes* version) override { versionBytes_ = version; }
    bool Resumed() const override { return resumed_; }
    void Close() override;

    // Every body byte read from the network, including those read again after a
    // reconnection to a server that ignores ranges.
    ULONGLONG BytesReceived() const { return bytesReceived_; }

private:
    // What the server said of the version being read.
    struct Version {
        // Once an answer was used.
        bool held = false;
        CString etag;
        CString lastModified;
        ULONGLONG length = kUnknownLength;
        // Nodes of a farm may tag the same bytes differently, but not date them so.
        bool etagsDisagree = false;
        bool takesRanges = false;
    };
    // Where reading stands.
    struct Window {
        // The offset of the next byte delivered.
        ULONGLONG position = 0;
        // Where the bytes of the open request end, and where the caller wants them to.
        ULONGLONG requestEnd = 0;
        ULONGLONG end = kToTheEnd;
        // The furthest byte ever reached: only bytes beyond it are progress.
        ULONGLONG furthest = 0;
    };
    // The tries that failed since the last progress, and when the first of them failed.
    struct Outage {
        int tries = 0;
        int channelErrors = 0;
        ULONGLONG startMs = 0;
        // A wait for the link was told to the progress sink and has not been ended.
        bool told = false;
    };
    // What became of an answer: used; used, but another version than the bytes delivered
    // before; not used because the bytes to drop did not arrive, or because they showed
    // another version (than the copy being proved, or than the version's bytes).
    enum class Taken { kUsed, kChanged, kDropped, kOtherVersion };

    // Asks for the bytes from the window's position until an answer can be used, waiting
    // between tries.
    HRESULT Ask();
    Asked WhatToAsk() const;
    bool Send(const Asked& asked, DWORD* error);
    void Collect(Answer* answer, AnswerText* text);
    Taken Take(const Verdict& verdict, const Answer& answer);
    void Adopt(const Answer& answer);
    // Reads and drops the next `count` bytes, from `from`; false when they did not arrive,
    // or when they are not the version's bytes or (`heldByte`) their last is another byte.
    bool Skip(ULONGLONG from, ULONGLONG count, const BYTE* heldByte, bool* differs);
    // Whether a range can be asked for without joining two versions.
    bool CanAskForRanges() const;
    void NoteProgress();
    void CountFailedTry();
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
    HttpRules rules_;
    CancelToken& cancel_;
    ProgressSink& progress_;
    RetrySettings retry_;

    // The URL's parts; `valid` is false for a URL that is not HTTP(S) with a host.
    struct Target {
        bool valid = false;
        CString host;
        CString path;
        INTERNET_PORT port = 0;
        bool secure = false;
    } target_;
    HINTERNET connection_ = NULL;
    HINTERNET request_ = NULL;

    Version version_;
    // What an earlier run left on disk, while no answer has told what it is.
    HeldCopy copy_ = {};
    bool proving_ = false;
    // The next request asks for the whole resource, whatever is held.
    bool wholeNext_ = false;
    Window window_;
    Outage outage_;
    const VersionBytes* versionBytes_ = nullptr;
    bool resumed_ = false;
    ULONGLONG bytesReceived_ = 0;
    NetworkPiece piece_;
};

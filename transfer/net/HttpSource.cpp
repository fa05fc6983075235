#include "HttpSource.h"

#include <cstdlib>
#include <cstring>

#include "CancelToken.h"
#include "ProgressSink.h"

ULONGLONG DefaultRetryClockMs()
{
    ULONGLONG hundredsOfNs = 0;
    QueryUnbiasedInterruptTime(&hundredsOfNs);
    return hundredsOfNs / 10000;
}

ULONGLONG (*RetryClockMs)() = DefaultRetryClockMs;

// The headers of an answer that the judge reads, as text.
struct AnswerText {
    char contentRange[128];
    char contentType[256];
    char etag[256];
    char lastModified[64];
};

HttpSource::HttpSource(const TransferEnv& env, const char* url, const HttpRules& rules)
    : session_(env.session), rules_(rules), cancel_(env.cancel), progress_(env.progress), retry_(env.retry)
{
    char host[INTERNET_MAX_HOST_NAME_LENGTH] = "";
    char path[INTERNET_MAX_URL_LENGTH] = "";
    char extra[INTERNET_MAX_URL_LENGTH] = "";
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof(path);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof(extra);
    target_.valid = InternetCrackUrlA(url, 0, 0, &parts) &&
                    (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS) && host[0];
    if (!target_.valid)
        return;
    target_.host = host;
    target_.path.Format("%s%s", path[0] ? path : "/", extra);
    target_.port = parts.nPort;
    target_.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
}

HttpSource::~HttpSource()
{
    Close();
    if (connection_)
        InternetCloseHandle(connection_);
}

void HttpSource::Close()
{
    if (request_) {
        cancel_.Close(request_);
        request_ = NULL;
    }
}

void HttpSource::StartFrom(const HeldCopy& copy)
{
    copy_ = copy;
    proving_ = copy.size > 0;
}

ULONGLONG HttpSource::End() const
{
    return window_.end < version_.length ? window_.end : version_.length;
}

HRESULT HttpSource::Open()
{
    return target_.valid ? Ask() : E_FAIL;
}

const char* HttpSource::Validator() const
{
    return IsStrongEtag(version_.etag) && !version_.etagsDisagree ? version_.etag.GetString()
                                                                  : version_.lastModified.GetString();
}

bool HttpSource::CanAskForRanges() const
{
    return rules_.byContent || *Validator();
}

Asked HttpSource::WhatToAsk() const
{
    Asked asked = {};
    asked.etag = version_.etag;
    asked.lastModified = version_.lastModified;
    if (proving_) {
        asked.offset = copy_.size - 1;
        asked.end = kToTheEnd;
        asked.ranged = true;
        asked.ifRange = "";
        asked.length = kUnknownLength;
        asked.proof = &copy_;
        return asked;
    }
    // The first part of a resource of which nothing is held: whatever version answers.
    const bool firstPart = !version_.held && !wholeNext_ && window_.end != kToTheEnd;
    // Without a validator a range could join the bytes of two versions: the whole is asked for.
    const bool whole = !firstPart && (wholeNext_ || !version_.held || !CanAskForRanges());
    asked.offset = whole || firstPart ? 0 : window_.position;
    asked.end = whole || window_.end >= version_.length ? kToTheEnd : window_.end;
    asked.ranged = !whole;
    asked.ifRange = whole || firstPart || rules_.byContent ? "" : Validator();
    asked.length = version_.held ? version_.length : kUnknownLength;
    return asked;
}

HRESULT HttpSource::Ask()
{
    for (;;) {
        if (outage_.tries > 0) {
            DWORD waitMs = 0;
            if (!WaitBeforeTry(rules_, retry_.patience, outage_.tries, RetryClockMs() - outage_.startMs,
                               bytesReceived_ > 0, &waitMs)) {
                EndWait();
                return E_FAIL;
            }
            HRESULT hr = Wait(waitMs);
            if (FAILED(hr))
                return hr;
        }
        const Asked asked = WhatToAsk();
        AnswerText text = {};
        Answer answer = {};
        answer.contentRange = text.contentRange;
        answer.contentType = text.contentType;
        answer.etag = text.etag;
        answer.lastModified = text.lastModified;
        if (Send(asked, &answer.error))
            Collect(&answer, &text);
        // A send that failed because Cancel() closed the request under it is that cancel.
        if (answer.error && cancel_.IsCancelled())
            return E_ABORT;
        const Verdict verdict = JudgeAnswer(rules_, retry_.patience, asked, answer, outage_.channelErrors);
        if (answer.error == ERROR_INTERNET_SECURITY_CHANNEL_ERROR)
            ++outage_.channelErrors;
        switch (verdict.next) {
        case Next::kUse:
        case Next::kComplete:
            switch (Take(verdict, answer)) {
            case Taken::kUsed:
                proving_ = false;
                EndWait();
                return S_OK;
            case Taken::kChanged:
                EndWait();
                return S_RESOURCE_CHANGED;
            // Expected of a copy being proved; of the version held, a change: a try.
            case Taken::kOtherVersion:
                if (!proving_)
                    CountFailedTry();
                proving_ = false;
                wholeNext_ = true;
                continue;
            case Taken::kDropped:
                break;
            }
            break;
        // The answer itself says what to ask next, and that is a whole answer, which
        // never starts over: no try is spent and nothing is waited for.
        case Next::kStartOver:
            proving_ = false;
            wholeNext_ = true;
            continue;
        case Next::kRetry:
            break;
        case Next::kGiveUp:
            Close();
            EndWait();
            return E_FAIL;
        }
        Close();
        CountFailedTry();
    }
}

HttpSource::Taken HttpSource::Take(const Verdict& verdict, const Answer& answer)
{
    bool differs = false;
    if (verdict.skip > verdict.first &&
        !Skip(verdict.first, verdict.skip - verdict.first, verdict.checksHeldByte ? &copy_.lastByte : nullptr,
              &differs))
        return differs ? Taken::kOtherVersion : Taken::kDropped;
    const bool delivered = version_.held;
    // Bytes that do not begin at the resource's first byte, or follow a drop.
    resumed_ = resumed_ || verdict.first > 0 || verdict.skip > 0 || window_.furthest > 0;
    // Whatever was held before, a version taken whole is named by its own validators.
    if (!version_.held || verdict.newVersion) {
        if (version_.held)
            window_.end = kToTheEnd;
        Adopt(answer);
    }
    // A whole body to a range: the server ignores ranges.
    if (verdict.skip > verdict.first && verdict.first == 0)
        version_.takesRanges = false;
    version_.held = true;
    wholeNext_ = false;
    version_.length = verdict.length;
    window_.position = verdict.skip > verdict.first ? verdict.skip : verdict.first;
    window_.requestEnd = verdict.end;
    if (verdict.next == Next::kComplete)
        Close();
    if (!verdict.newVersion || !delivered)
        return Taken::kUsed;
    // Starting over is no progress, so that no path repeats for ever; a server that
    // names no version gives no other way on, and is no fault.
    if (*Validator())
        CountFailedTry();
    return Taken::kChanged;
}

void HttpSource::Adopt(const Answer& answer)
{
    version_.etagsDisagree = version_.etagsDisagree ||
                             (version_.held && *answer.lastModified &&
                              strcmp(version_.lastModified, answer.lastModified) == 0 &&
                              strcmp(version_.etag, answer.etag) != 0);
    version_.etag = answer.etag;
    version_.lastModified = answer.lastModified;
}

bool HttpSource::Send(const Asked& asked, DWORD* error)
{
    CString headers;
    *error = 0;
    Close();
    // A connect handle of its own for each request: under Wine a redirect followed by one
    // request moves its connect handle to the new host, but not to the new scheme.
    if (connection_)
        InternetCloseHandle(connection_);
    connection_ = InternetConnectA(session_, target_.host, target_.port, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0);
    if (connection_)
        request_ = HttpOpenRequestA(connection_, "GET", target_.path, NULL, NULL, NULL,
                                    rules_.requestFlags | (target_.secure ? INTERNET_FLAG_SECURE : 0), 0);
    if (!request_) {
        const DWORD failure = GetLastError();
        *error = failure ? failure : ERROR_INTERNET_CANNOT_CONNECT;
        return false;
    }
    cancel_.Publish(request_);
    // Only a request handle made this way takes a receive timeout before it is sent.
    InternetSetOptionA(request_, INTERNET_OPTION_RECEIVE_TIMEOUT, &retry_.receiveTimeoutMs,
                       sizeof(retry_.receiveTimeoutMs));
    InternetSetOptionA(request_, INTERNET_OPTION_CONNECT_TIMEOUT, &retry_.connectTimeoutMs,
                       sizeof(retry_.connectTimeoutMs));
    if (asked.ranged) {
        CString last;
        if (asked.end != kToTheEnd)
            last.Format("%llu", static_cast<unsigned long long>(asked.end - 1));
        // An empty If-Range would name no version, and servers take it for another one.
        headers.Format("Range: bytes=%llu-%s\r\n%s%s%s", static_cast<unsigned long long>(asked.offset),
                       last.GetString(), *asked.ifRange ? "If-Range: " : "", asked.ifRange,
                       *asked.ifRange ? "\r\n" : "");
    }
    if (!HttpSendRequestA(request_, headers.IsEmpty() ? NULL : headers.GetString(),
                          headers.IsEmpty() ? 0 : static_cast<DWORD>(-1), NULL, 0)) {
        const DWORD failure = GetLastError();
        *error = failure ? failure : ERROR_INTERNET_CONNECTION_RESET;
        return false;
    }
    return true;
}

void HttpSource::Collect(Answer* answer, AnswerText* text)
{
    // Room for any 64-bit length, and no more: a longer text is no length.
    char value[32];
    DWORD size = sizeof(answer->status);
    if (!HttpQueryInfoA(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &answer->status, &size, NULL)) {
        answer->error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
        return;
    }
    if (QueryText(HTTP_QUERY_CONTENT_LENGTH, value, sizeof(value))) {
        char* end = NULL;
        answer->contentLength = _strtoui64(value, &end, 10);
        answer->hasLength = end != value && *end == '\0';
    }
    answer->chunked = QueryText(HTTP_QUERY_TRANSFER_ENCODING, value, sizeof(value)) && _stricmp(value, "chunked") == 0;
    QueryText(HTTP_QUERY_CONTENT_RANGE, text->contentRange, sizeof(text->contentRange));
    QueryText(HTTP_QUERY_CONTENT_TYPE, text->contentType, sizeof(text->contentType));
    QueryText(HTTP_QUERY_ETAG, text->etag, sizeof(text->etag));
    QueryText(HTTP_QUERY_LAST_MODIFIED, text->lastModified, sizeof(text->lastModified));
    version_.takesRanges = version_.takesRanges || answer->status == HTTP_STATUS_PARTIAL_CONTENT ||
                           (QueryText(HTTP_QUERY_ACCEPT_RANGES, value, sizeof(value)) && _stricmp(value, "bytes") == 0);
}

bool HttpSource::Skip(ULONGLONG from, ULONGLONG count, const BYTE* heldByte, bool* differs)
{
    BYTE scrap[64 * 1024];
    *differs = false;
    for (ULONGLONG at = from, left = count; left > 0;) {
        const DWORD wanted = left < sizeof(scrap) ? static_cast<DWORD>(left) : sizeof(scrap);
        DWORD read = 0;
        if (!InternetReadFile(request_, scrap, wanted, &read) || read == 0 || read > wanted)
            return false;
        bytesReceived_ += read;
        // A whole answer to a range must begin with the bytes that name the version held.
        if (rules_.byContent && versionBytes_ && at < versionBytes_->Size()) {
            const ULONGLONG named = versionBytes_->Size() - at;
            if (!versionBytes_->Match(at, scrap, read < named ? read : static_cast<DWORD>(named))) {
                *differs = true;
                return false;
            }
        }
        at += read;
        left -= read;
        if (left == 0 && heldByte && scrap[read - 1] != *heldByte) {
            *differs = true;
            return false;
        }
    }
    return true;
}

// Only bytes beyond any reached before are progress: a resource that starts over, or a
// link that always drops at the same byte, must still run out of patience.
void HttpSource::NoteProgress()
{
    if (window_.position <= window_.furthest)
        return;
    window_.furthest = window_.position;
    outage_.tries = 0;
    outage_.channelErrors = 0;
}

// The outage is counted from its first failed try, so that time asleep, time spent on
// other work between requests or a slow piece does not use up its window.
void HttpSource::CountFailedTry()
{
    if (outage_.tries++ == 0)
        outage_.startMs = RetryClockMs();
}

HRESULT HttpSource::Read(void* buffer, DWORD size, DWORD* got)
{
    *got = 0;
    for (;;) {
        if (cancel_.IsCancelled())
            return E_ABORT;
        if (version_.held && window_.position >= End())
            return S_OK;
        if (request_ && window_.position < window_.requestEnd) {
            const ULONGLONG end = End() < window_.requestEnd ? End() : window_.requestEnd;
            DWORD wanted = size < piece_.Size() ? size : piece_.Size();
            if (wanted > end - window_.position)
                wanted = static_cast<DWORD>(end - window_.position);
            DWORD read = 0;
            piece_.Start();
            BOOL ok = InternetReadFile(request_, buffer, wanted, &read);
            if (ok && read > wanted)
                return E_FAIL;
            if (ok && read > 0) {
                if (wanted == piece_.Size())
                    piece_.Finished(read);
                window_.position += read;
                bytesReceived_ += read;
                NoteProgress();
                *got = read;
                return S_OK;
            }
            // Closed under the read by Cancel(): a stop, not a drop.
            if (cancel_.IsCancelled())
                return E_ABORT;
            // A failed read, a receive timeout, or a body that ended before its length
            // (WinINet reports a connection closed by the server as a normal end).
            CountFailedTry();
        }
        // Otherwise the open request has brought what it was asked for, and the rest is
        // asked for at once.
        Close();
        HRESULT hr = Ask();
        if (hr != S_OK)
            return hr;
    }
}

HRESULT HttpSource::Seek(ULONGLONG offset, ULONGLONG end)
{
    if (offset > version_.length || end < offset ||
        (offset < window_.position && !(version_.takesRanges && CanAskForRanges())))
        return E_FAIL;
    // Still inside what the open request brings.
    if (request_ && offset == window_.position &&
        (end < version_.length ? end : version_.length) <= window_.requestEnd) {
        window_.end = end;
        return S_OK;
    }
    if (!version_.takesRanges || !CanAskForRanges()) {
        window_.end = kToTheEnd;
        BYTE scrap[64 * 1024];
        while (window_.position < offset) {
            ULONGLONG left = offset - window_.position;
            DWORD got = 0;
            HRESULT hr = Read(scrap, left < sizeof(scrap) ? static_cast<DWORD>(left) : sizeof(scrap), &got);
            if (hr != S_OK)
                return hr;
            if (got == 0)
                return E_FAIL;
        }
        return S_OK;
    }
    Close();
    window_.position = offset;
    window_.end = end;
    if (offset >= End())
        return S_OK;
    return Ask();
}

HRESULT HttpSource::Wait(DWORD waitMs)
{
    const ULONGLONG started = GetTickCount64();
    int shown = -1;
    for (;;) {
        if (cancel_.IsCancelled())
            return E_ABORT;
        const ULONGLONG elapsed = GetTickCount64() - started;
        if (elapsed >= waitMs)
            return S_OK;
        const DWORD left = static_cast<DWORD>(waitMs - elapsed);
        const int seconds = static_cast<int>((left + 999) / 1000);
        if (seconds != shown) {
            progress_.WaitingForLink(seconds);
            outage_.told = true;
            shown = seconds;
        }
        // Until the countdown shows the next second, or the token is cancelled.
        if (cancel_.WaitCancelled(left - static_cast<DWORD>(seconds - 1) * 1000))
            return E_ABORT;
    }
}

void HttpSource::EndWait()
{
    if (!outage_.told)
        return;
    outage_.told = false;
    progress_.WaitingForLink(0);
}

bool HttpSource::LastModified(FILETIME* time) const
{
    SYSTEMTIME parsed;
    return !version_.lastModified.IsEmpty() && InternetTimeToSystemTimeA(version_.lastModified, &parsed, 0) &&
           SystemTimeToFileTime(&parsed, time);
}

bool HttpSource::QueryText(DWORD query, char* text, DWORD size) const
{
    DWORD length = size;
    text[0] = '\0';
    if (!HttpQueryInfoA(request_, query, text, &length, NULL) || length >= size) {
        text[0] = '\0';
        return false;
    }
    text[length] = '\0';
    return true;
}

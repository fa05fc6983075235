#include "HttpSource.h"

#include <cstdlib>
#include <cstring>

#include "CancelToken.h"
#include "ProgressSink.h"

// The headers of an answer that the judge reads, as text.
struct AnswerText {
    char contentRange[128];
    char contentType[256];
    char etag[256];
    char lastModified[64];
};

HttpSource::HttpSource(const TransferEnv& env, const char* url, const HttpRules& rules)
    : session_(env.session), url_(url), rules_(rules), cancel_(env.cancel), progress_(env.progress), retry_(env.retry)
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
    urlValid_ = InternetCrackUrlA(url, 0, 0, &parts) &&
                (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS) && host[0];
    if (!urlValid_)
        return;
    host_ = host;
    path_.Format("%s%s", path[0] ? path : "/", extra);
    port_ = parts.nPort;
    secure_ = parts.nScheme == INTERNET_SCHEME_HTTPS;
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

void HttpSource::StartFrom(ULONGLONG offset, const char* ifRange)
{
    held_ = offset > 0;
    position_ = offset;
    lastModified_ = ifRange;
}

ULONGLONG HttpSource::End() const
{
    return windowEnd_ < length_ ? windowEnd_ : length_;
}

HRESULT HttpSource::Open()
{
    progressTick_ = GetTickCount();
    return urlValid_ ? Ask() : E_FAIL;
}

const char* HttpSource::Validator() const
{
    return IsStrongEtag(etag_) && !etagsDisagree_ ? etag_.GetString() : lastModified_.GetString();
}

Asked HttpSource::WhatToAsk() const
{
    const char* validator = Validator();
    // The first part of a resource of which nothing is held: whatever version answers.
    const bool firstPart = !held_ && !wholeNext_ && windowEnd_ != kToTheEnd;
    // Without a validator a range could join the bytes of two versions: the whole is asked for.
    const bool whole = !firstPart && (wholeNext_ || !held_ || !*validator);
    Asked asked = {};
    asked.offset = whole || firstPart ? 0 : position_;
    asked.end = whole || windowEnd_ >= length_ ? kToTheEnd : windowEnd_;
    asked.ranged = !whole;
    asked.ifRange = whole || firstPart ? "" : validator;
    asked.length = held_ ? length_ : kUnknownLength;
    asked.etag = etag_;
    asked.lastModified = lastModified_;
    return asked;
}

HRESULT HttpSource::Ask()
{
    for (;;) {
        if (tries_ > 0) {
            DWORD waitMs = 0;
            if (!WaitBeforeTry(rules_, retry_.patience, tries_, GetTickCount() - progressTick_, bytesReceived_ > 0,
                               &waitMs)) {
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
        const Verdict verdict = JudgeAnswer(rules_, retry_.patience, asked, answer, channelErrors_);
        if (answer.error == ERROR_INTERNET_SECURITY_CHANNEL_ERROR)
            ++channelErrors_;
        switch (verdict.next) {
        case Next::kUse:
        case Next::kComplete: {
            HRESULT hr = Follow(verdict, answer, asked.end);
            if (hr != S_FALSE)
                return hr;
            break;
        }
        case Next::kStartOver:
            wholeNext_ = true;
            break;
        case Next::kRetry:
            break;
        case Next::kGiveUp:
            Close();
            EndWait();
            return E_FAIL;
        }
        // Every try that brings nothing usable counts, a start-over too, so no path
        // repeats for ever.
        Close();
        ++tries_;
    }
}

// Takes a usable answer: S_OK, S_RESOURCE_CHANGED when bytes of another version were
// delivered before, or S_FALSE when the bytes to drop did not arrive.
HRESULT HttpSource::Follow(const Verdict& verdict, const Answer& answer, ULONGLONG end)
{
    const bool delivered = answered_;
    if (verdict.next == Next::kComplete) {
        Close();
        length_ = position_ = requestEnd_ = verdict.length;
        held_ = answered_ = true;
        return S_OK;
    }
    if (!held_ || verdict.newVersion) {
        windowEnd_ = kToTheEnd;
        // Nodes of a farm may tag the same bytes differently, but not date them so.
        etagsDisagree_ = etagsDisagree_ || (held_ && *answer.lastModified &&
                                            strcmp(lastModified_, answer.lastModified) == 0 &&
                                            strcmp(etag_, answer.etag) != 0);
        etag_ = answer.etag;
        lastModified_ = answer.lastModified;
    }
    held_ = answered_ = true;
    wholeNext_ = false;
    length_ = verdict.length;
    position_ = verdict.first;
    requestEnd_ = verdict.first == 0 ? length_ : (end < length_ ? end : length_);
    if (verdict.skip > 0) {
        takesRanges_ = false;
        if (!Skip(verdict.skip))
            return S_FALSE;
    }
    if (!verdict.newVersion || !delivered)
        return S_OK;
    // Starting over is no progress, so that no path repeats for ever; a server that
    // names no version gives no other way on, and is no fault.
    if (*Validator())
        ++tries_;
    return S_RESOURCE_CHANGED;
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
    connection_ = InternetConnectA(session_, host_, port_, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0);
    if (connection_)
        request_ = HttpOpenRequestA(connection_, "GET", path_, NULL, NULL, NULL,
                                    rules_.requestFlags | (secure_ ? INTERNET_FLAG_SECURE : 0), 0);
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
    takesRanges_ = takesRanges_ || answer->status == HTTP_STATUS_PARTIAL_CONTENT ||
                   (QueryText(HTTP_QUERY_ACCEPT_RANGES, value, sizeof(value)) && _stricmp(value, "bytes") == 0);
}

// The server sends the same version whole: the bytes the caller already has are read
// and dropped.
bool HttpSource::Skip(ULONGLONG count)
{
    BYTE scrap[64 * 1024];
    while (position_ < count) {
        ULONGLONG left = count - position_;
        DWORD wanted = left < sizeof(scrap) ? static_cast<DWORD>(left) : sizeof(scrap);
        DWORD read = 0;
        if (!InternetReadFile(request_, scrap, wanted, &read) || read == 0 || read > wanted)
            return false;
        position_ += read;
        bytesReceived_ += read;
    }
    return true;
}

// Only bytes beyond any reached before are progress: a resource that starts over, or a
// link that always drops at the same byte, must still run out of patience.
void HttpSource::NoteProgress()
{
    if (position_ <= furthest_)
        return;
    furthest_ = position_;
    tries_ = 0;
    progressTick_ = GetTickCount();
}

HRESULT HttpSource::Read(void* buffer, DWORD size, DWORD* got)
{
    *got = 0;
    for (;;) {
        if (cancel_.IsCancelled())
            return E_ABORT;
        if (answered_ && position_ >= End())
            return S_OK;
        if (request_ && position_ < requestEnd_) {
            const ULONGLONG left = (End() < requestEnd_ ? End() : requestEnd_) - position_;
            DWORD wanted = size < piece_.Size() ? size : piece_.Size();
            if (wanted > left)
                wanted = static_cast<DWORD>(left);
            DWORD read = 0;
            piece_.Start();
            BOOL ok = InternetReadFile(request_, buffer, wanted, &read);
            if (ok && read > wanted)
                return E_FAIL;
            if (ok && read > 0) {
                if (wanted == piece_.Size())
                    piece_.Finished(read);
                position_ += read;
                bytesReceived_ += read;
                NoteProgress();
                EndWait();
                *got = read;
                return S_OK;
            }
            // Closed under the read by Cancel(): a stop, not a drop.
            if (cancel_.IsCancelled())
                return E_ABORT;
            // A failed read, a receive timeout, or a body that ended before its length
            // (WinINet reports a connection closed by the server as a normal end).
            ++tries_;
        }
        Close();
        HRESULT hr = Ask();
        if (hr != S_OK)
            return hr;
    }
}

HRESULT HttpSource::Seek(ULONGLONG offset, ULONGLONG end)
{
    if (offset < position_ || offset > length_ || end < offset)
        return E_FAIL;
    // Still inside what the open request brings.
    if (request_ && offset == position_ && (end < length_ ? end : length_) <= requestEnd_) {
        windowEnd_ = end;
        return S_OK;
    }
    if (!takesRanges_ || !*Validator()) {
        windowEnd_ = kToTheEnd;
        BYTE scrap[64 * 1024];
        while (position_ < offset) {
            ULONGLONG left = offset - position_;
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
    position_ = offset;
    windowEnd_ = end;
    if (offset >= End())
        return S_OK;
    return Ask();
}

HRESULT HttpSource::Wait(DWORD waitMs)
{
    const DWORD started = GetTickCount();
    int shown = -1;
    for (;;) {
        if (cancel_.IsCancelled())
            return E_ABORT;
        DWORD elapsed = GetTickCount() - started;
        if (elapsed >= waitMs)
            return S_OK;
        int seconds = static_cast<int>((waitMs - elapsed + 999) / 1000);
        if (seconds != shown) {
            progress_.WaitingForLink(seconds);
            waiting_ = true;
            shown = seconds;
        }
        DWORD left = waitMs - elapsed;
        Sleep(left < 50 ? left : 50);
    }
}

void HttpSource::EndWait()
{
    if (!waiting_)
        return;
    waiting_ = false;
    progress_.WaitingForLink(0);
}

bool HttpSource::LastModified(FILETIME* time) const
{
    SYSTEMTIME parsed;
    return !lastModified_.IsEmpty() && InternetTimeToSystemTimeA(lastModified_, &parsed, 0) &&
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

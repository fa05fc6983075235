#include "HttpSource.h"

#include <mbstring.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "AbortFlag.h"
#include "ByteProgress.h"
#include "OpenRequest.h"
#include "RetryNotice.h"

namespace {

// A certificate or TLS failure is the server's or the network's refusal, never a transient.
bool IsSecurityFailure(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
        return true;
    default:
        return false;
    }
}

// Statuses that say "try again later": a busy or restarting server or gateway.
bool IsRetriedStatus(DWORD status)
{
    return status == 408 || status == 429 || status == 502 || status == 503 || status == 504;
}

// "bytes <first>-<last>/<total>".
bool ParseContentRange(const char* text, ULONGLONG* first, ULONGLONG* last, ULONGLONG* total)
{
    if (strncmp(text, "bytes ", 6) != 0)
        return false;
    char* end = NULL;
    const ULONGLONG from = _strtoui64(text + 6, &end, 10);
    if (end == text + 6 || *end != '-')
        return false;
    const char* at = end + 1;
    const ULONGLONG to = _strtoui64(at, &end, 10);
    if (end == at || *end != '/')
        return false;
    at = end + 1;
    const ULONGLONG whole = _strtoui64(at, &end, 10);
    if (end == at || *end != '\0' || from > to || to >= whole)
        return false;
    *first = from;
    *last = to;
    *total = whole;
    return true;
}

}  // namespace

HttpSource::HttpSource(HINTERNET session, const char* url, const HttpRules& rules, const int* abortFlag,
                       OpenRequest* openRequest, const RetrySettings& retry)
    : session_(session), url_(url), rules_(rules), abortFlag_(abortFlag), openRequest_(openRequest), retry_(retry)
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
        CloseRequest(openRequest_, request_);
        request_ = NULL;
    }
}

void HttpSource::StartFrom(ULONGLONG offset, const char* ifRange)
{
    startOffset_ = offset;
    startValidator_ = ifRange;
}

void HttpSource::FirstAskFor(ULONGLONG end)
{
    windowEnd_ = end;
}

ULONGLONG HttpSource::End() const
{
    return windowEnd_ < length_ ? windowEnd_ : length_;
}

HRESULT HttpSource::Open()
{
    Outcome outcome = RequestNext();
    return outcome == kRetry ? Reconnect() : ResultOf(outcome);
}

HRESULT HttpSource::ResultOf(Outcome outcome)
{
    switch (outcome) {
    case kAccepted:
        return S_OK;
    case kChanged:
        return S_RESOURCE_CHANGED;
    case kAborted:
        return E_ABORT;
    default:
        return E_FAIL;
    }
}

// The first request, or the next one from where the bytes stopped.
HttpSource::Outcome HttpSource::RequestNext()
{
    if (!answered_)
        return Request(startOffset_, startOffset_ > 0 || windowEnd_ != kWhole);
    return Request(position_, position_ > 0 || windowEnd_ < length_);
}

HRESULT HttpSource::Read(void* buffer, DWORD size, DWORD* got)
{
    *got = 0;
    for (;;) {
        if (IsAbortRequested(abortFlag_))
            return E_ABORT;
        if (answered_ && position_ == End())
            return S_OK;
        if (request_) {
            ULONGLONG left = End() - position_;
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
                // Only bytes beyond any reached before are progress: a resource that
                // starts over, or a link that always drops at the same byte, must
                // still run out of retries.
                if (position_ > furthest_) {
                    furthest_ = position_;
                    retries_ = 0;
                }
                RestoreCaption();
                *got = read;
                return S_OK;
            }
            // Closed under the read by a confirmed abort: a stop, not a drop.
            if (IsAbortRequested(abortFlag_))
                return E_ABORT;
            // A failed read, a receive timeout, or a body that ended before its length
            // (WinINet reports a connection closed by the server as a normal end).
            Close();
        }
        HRESULT hr = Reconnect();
        if (hr != S_OK)
            return hr;
    }
}

HRESULT HttpSource::Resume()
{
    Outcome outcome = Request(position_, true);
    return outcome == kRetry ? Reconnect() : ResultOf(outcome);
}

HRESULT HttpSource::ReadFully(void* buffer, DWORD size, DWORD* got, ByteProgress& progress)
{
    *got = 0;
    BYTE* at = static_cast<BYTE*>(buffer);
    while (*got < size) {
        DWORD read = 0;
        HRESULT hr = Read(at + *got, size - *got, &read);
        if (hr != S_OK)
            return hr;
        if (read == 0)
            break;
        *got += read;
        progress.Add(read);
        if (*got < size)
            progress.ReportIfDue();
    }
    return S_OK;
}

HRESULT HttpSource::Seek(ULONGLONG offset, ULONGLONG end)
{
    if (offset < position_ || offset > length_ || end < offset)
        return E_FAIL;
    // Still inside what the open request brings.
    if (request_ && offset == position_ && (end < length_ ? end : length_) <= End())
        return S_OK;
    if (ignoresRanges_ || Validator().IsEmpty()) {
        windowEnd_ = kWhole;
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
    position_ = offset;
    windowEnd_ = end;
    if (offset == end)
        return S_OK;
    return Resume();
}

// Waits, then asks again from where the bytes stopped, until an answer is accepted or
// the retries run out.
HRESULT HttpSource::Reconnect()
{
    for (;;) {
        if (retries_ >= kMaxRetries) {
            RestoreCaption();
            return E_FAIL;
        }
        HRESULT hr = WaitBeforeRetry();
        if (FAILED(hr))
            return hr;
        ++retries_;
        Outcome outcome = RequestNext();
        if (outcome == kRefused)
            RestoreCaption();
        if (outcome != kRetry)
            return ResultOf(outcome);
    }
}

HttpSource::Outcome HttpSource::Request(ULONGLONG offset, bool useRange)
{
    CString headers;
    CString validator = Validator();
    DWORD status = 0;
    DWORD size = sizeof(status);
    ULONGLONG length = 0;

    Close();
    if (!urlValid_)
        return kRefused;
    // Without a validator a range could join the bytes of two versions: ask for the whole.
    // The first request may ask for a part: whatever version answers is the one read.
    if (useRange && answered_ && validator.IsEmpty())
        useRange = false;
    const ULONGLONG end = answered_ ? End() : windowEnd_;
    const bool bounded = end != kWhole && (!answered_ || end < length_);
    // A connect handle of its own for each request: under Wine a redirect followed by one
    // request moves its connect handle to the new host, but not to the new scheme.
    if (connection_)
        InternetCloseHandle(connection_);
    connection_ = InternetConnectA(session_, host_, port_, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection_)
        return kRetry;
    request_ = HttpOpenRequestA(connection_, "GET", path_, NULL, NULL, NULL,
                                rules_.requestFlags | (secure_ ? INTERNET_FLAG_SECURE : 0), 0);
    if (!request_)
        return kRetry;
    PublishRequest(openRequest_, request_);
    // Only a request handle made this way takes a receive timeout before it is sent.
    InternetSetOptionA(request_, INTERNET_OPTION_RECEIVE_TIMEOUT, &retry_.receiveTimeoutMs,
                       sizeof(retry_.receiveTimeoutMs));
    InternetSetOptionA(request_, INTERNET_OPTION_CONNECT_TIMEOUT, &retry_.connectTimeoutMs,
                       sizeof(retry_.connectTimeoutMs));
    if (useRange) {
        CString last;
        CString range;
        if (bounded)
            last.Format("%llu", static_cast<unsigned long long>(end - 1));
        range.Format("Range: bytes=%llu-%s\r\n", static_cast<unsigned long long>(offset), last.GetString());
        if (validator.IsEmpty())
            headers = range.GetString();
        else
            headers.Format("%sIf-Range: %s\r\n", range.GetString(), validator.GetString());
    }
    if (!HttpSendRequestA(request_, headers.IsEmpty() ? NULL : headers.GetString(),
                          headers.IsEmpty() ? 0 : static_cast<DWORD>(-1), NULL, 0)) {
        DWORD error = GetLastError();
        if (IsAbortRequested(abortFlag_))
            return kAborted;
        return IsSecurityFailure(error) ? kRefused : kRetry;
    }
    if (!HttpQueryInfoA(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, NULL))
        return kRetry;
    if (IsRetriedStatus(status))
        return kRetry;
    if (!answered_ && useRange)
        return CheckStartAnswer(status);
    if (status != HTTP_STATUS_OK && !(useRange && status == HTTP_STATUS_PARTIAL_CONTENT))
        return kRefused;
    // No Content-Length (a chunked body) or one that is not a length: the contract is broken.
    if (!ContentLength(&length))
        return kRefused;
    if (!answered_)
        return CheckFirstAnswer(length);
    return CheckResumedAnswer(status, length, offset);
}

bool HttpSource::ContentLength(ULONGLONG* length) const
{
    char text[32];
    if (!QueryText(HTTP_QUERY_CONTENT_LENGTH, text, sizeof(text)))
        return false;
    LONGLONG value = _atoi64(text);
    *length = static_cast<ULONGLONG>(value);
    return value >= 0;
}

void HttpSource::StoreValidators()
{
    char text[256];
    etag_ = QueryText(HTTP_QUERY_ETAG, text, sizeof(text)) ? text : "";
    lastModified_ = QueryText(HTTP_QUERY_LAST_MODIFIED, text, sizeof(text)) ? text : "";
}

// The answer to a first request for the rest of what the caller holds.
HttpSource::Outcome HttpSource::CheckStartAnswer(DWORD status)
{
    char text[256];
    ULONGLONG length = 0;
    ULONGLONG first = 0;
    ULONGLONG last = 0;
    ULONGLONG total = 0;
    if (status == HTTP_STATUS_OK) {
        // The whole body follows, from its first byte.
        if (startValidator_.IsEmpty())
            ignoresRanges_ = true;
        windowEnd_ = kWhole;
        return ContentLength(&length) ? CheckFirstAnswer(length) : kRefused;
    }
    if (status == 416) {
        // Nothing past the end: what the caller holds is the whole of this version.
        CString complete;
        complete.Format("bytes */%llu", static_cast<unsigned long long>(startOffset_));
        if (QueryText(HTTP_QUERY_CONTENT_RANGE, text, sizeof(text)) && strcmp(text, complete) == 0 &&
            startOffset_ <= rules_.maxLength) {
            StoreValidators();
            answered_ = true;
            length_ = position_ = furthest_ = startOffset_;
            return kAccepted;
        }
    } else if (status == HTTP_STATUS_PARTIAL_CONTENT) {
        if (ContentLength(&length) && QueryText(HTTP_QUERY_CONTENT_RANGE, text, sizeof(text)) &&
            ParseContentRange(text, &first, &last, &total) && first == startOffset_ &&
            length == last - first + 1 && last + 1 == (windowEnd_ < total ? windowEnd_ : total) &&
            total <= rules_.maxLength) {
            StoreValidators();
            answered_ = true;
            length_ = total;
            position_ = furthest_ = startOffset_;
            return kAccepted;
        }
    } else {
        return kRefused;
    }
    // An answer that does not continue what the caller holds: the whole resource.
    startOffset_ = 0;
    return Request(0, false);
}

bool HttpSource::LastModified(FILETIME* time) const
{
    SYSTEMTIME parsed;
    return !lastModified_.IsEmpty() && InternetTimeToSystemTimeA(lastModified_, &parsed, 0) &&
           SystemTimeToFileTime(&parsed, time);
}

HttpSource::Outcome HttpSource::CheckFirstAnswer(ULONGLONG length)
{
    char type[256];
    if (length > rules_.maxLength || (rules_.refuseEmpty && length == 0))
        return kRefused;
    if (rules_.typePrefix) {
        if (!QueryText(HTTP_QUERY_CONTENT_TYPE, type, sizeof(type)) ||
            _mbsstr(reinterpret_cast<unsigned char*>(type),
                    reinterpret_cast<const unsigned char*>(rules_.typePrefix)) !=
                reinterpret_cast<unsigned char*>(type))
            return kRefused;
    }
    StoreValidators();
    answered_ = true;
    length_ = length;
    position_ = 0;
    return kAccepted;
}

HttpSource::Outcome HttpSource::CheckResumedAnswer(DWORD status, ULONGLONG length, ULONGLONG offset)
{
    char text[256];
    if (status == HTTP_STATUS_PARTIAL_CONTENT) {
        ULONGLONG first = 0;
        ULONGLONG last = 0;
        ULONGLONG total = 0;
        if (QueryText(HTTP_QUERY_CONTENT_RANGE, text, sizeof(text)) &&
            ParseContentRange(text, &first, &last, &total) && first == offset && total == length_ &&
            length == last - first + 1 && last + 1 == End())
            return kAccepted;
        // A range that does not continue this version: ask for the whole resource again.
        return Request(offset, false);
    }
    CString validator = Validator();
    CString etag = QueryText(HTTP_QUERY_ETAG, text, sizeof(text)) ? text : "";
    CString lastModified = QueryText(HTTP_QUERY_LAST_MODIFIED, text, sizeof(text)) ? text : "";
    const CString& now = etag_.IsEmpty() || etag_[0] == 'W' ? lastModified : etag;
    if (length == length_ && !validator.IsEmpty() && strcmp(now, validator) == 0) {
        ignoresRanges_ = true;
        windowEnd_ = kWhole;
        return SkipTo(offset);
    }
    // Another version: its bytes start over, whatever the caller already has.
    if (length > rules_.maxLength || (rules_.refuseEmpty && length == 0))
        return kRefused;
    etag_ = etag;
    lastModified_ = lastModified;
    length_ = length;
    position_ = 0;
    return kChanged;
}

// The server ignores ranges and sends the same version whole: the bytes the caller
// already has are read and dropped.
HttpSource::Outcome HttpSource::SkipTo(ULONGLONG offset)
{
    BYTE scrap[64 * 1024];
    ULONGLONG skipped = 0;
    while (skipped < offset) {
        ULONGLONG left = offset - skipped;
        DWORD wanted = left < sizeof(scrap) ? static_cast<DWORD>(left) : sizeof(scrap);
        DWORD read = 0;
        BOOL ok = InternetReadFile(request_, scrap, wanted, &read);
        if (IsAbortRequested(abortFlag_))
            return kAborted;
        if (!ok || read == 0 || read > wanted) {
            Close();
            return kRetry;
        }
        skipped += read;
        bytesReceived_ += read;
    }
    return kAccepted;
}

HRESULT HttpSource::WaitBeforeRetry()
{
    const DWORD waitMs = retry_.firstWaitMs << retries_;
    const DWORD started = GetTickCount();
    int shown = -1;
    for (;;) {
        if (IsAbortRequested(abortFlag_))
            return E_ABORT;
        DWORD elapsed = GetTickCount() - started;
        if (elapsed >= waitMs)
            return S_OK;
        int seconds = static_cast<int>((waitMs - elapsed + 999) / 1000);
        if (seconds != shown) {
            ShowNotice(seconds);
            shown = seconds;
        }
        DWORD left = waitMs - elapsed;
        Sleep(left < 50 ? left : 50);
    }
}

void HttpSource::ShowNotice(int seconds)
{
    if (!retry_.notice)
        return;
    if (!noticeShown_) {
        int length = GetWindowTextLengthA(retry_.notice);
        GetWindowTextA(retry_.notice, ownCaption_.GetBuffer(length + 1), length + 1);
        ownCaption_.ReleaseBuffer();
        noticeShown_ = true;
    }
    char text[96];
    snprintf(text, sizeof(text), kRetryNoticeFormat, seconds);
    SetWindowTextA(retry_.notice, text);
}

void HttpSource::RestoreCaption()
{
    if (!noticeShown_)
        return;
    noticeShown_ = false;
    SetWindowTextA(retry_.notice, ownCaption_);
}

bool HttpSource::QueryText(DWORD query, char* text, DWORD size) const
{
    DWORD length = size;
    if (!HttpQueryInfoA(request_, query, text, &length, NULL) || length >= size)
        return false;
    text[length] = '\0';
    return true;
}

CString HttpSource::Validator() const
{
    if (!answered_)
        return startValidator_;
    if (!etag_.IsEmpty() && etag_[0] != 'W')
        return etag_;
    return lastModified_;
}

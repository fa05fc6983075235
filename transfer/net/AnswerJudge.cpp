#include "AnswerJudge.h"

#include <wininet.h>

#include <mbstring.h>

#include <cstdlib>
#include <cstring>

namespace {

// Statuses that say "try again later": a busy or restarting server or gateway.
bool IsRetriedStatus(DWORD status)
{
    return status == 408 || status == 429 || status == 502 || status == 503 || status == 504;
}

bool Empty(const char* text)
{
    return !text || !*text;
}

bool Same(const char* a, const char* b)
{
    return !Empty(a) && !Empty(b) && strcmp(a, b) == 0;
}

// Whether the answer names the version that If-Range named: by its strong ETag, or by
// its date when a date was sent.
bool CarriesValidator(const char* ifRange, const Answer& answer)
{
    return IsStrongEtag(ifRange) ? Same(ifRange, answer.etag) : Same(ifRange, answer.lastModified);
}

bool TypeAccepted(const char* prefix, const char* type)
{
    if (!prefix)
        return true;
    if (Empty(type))
        return false;
    const unsigned char* at = reinterpret_cast<const unsigned char*>(type);
    return _mbsstr(at, reinterpret_cast<const unsigned char*>(prefix)) == at;
}

Verdict Use(ULONGLONG first, ULONGLONG skip, ULONGLONG length, ULONGLONG end, bool newVersion)
{
    return Verdict{Next::kUse, first, skip, length, end, newVersion, false};
}

Verdict Only(Next next)
{
    return Verdict{next, 0, 0, 0, 0, false, false};
}

// A 206 that is exactly the range asked for, of a total within the rules.
bool IsRangeAsked(const HttpRules& rules, const Asked& asked, const Answer& answer, ULONGLONG* last,
                  ULONGLONG* total)
{
    ULONGLONG first = 0;
    if (!answer.hasLength || !ParseContentRange(answer.contentRange, &first, last, total))
        return false;
    const ULONGLONG end = asked.end < *total ? asked.end : *total;
    return first == asked.offset && *last + 1 == end && answer.contentLength == *last - first + 1 &&
           *total <= rules.maxLength;
}

// A whole body, from its first byte.
Verdict UseWhole(const HttpRules& rules, const Answer& answer, bool newVersion)
{
    if (answer.chunked || !answer.hasLength || answer.contentLength > rules.maxLength ||
        (rules.refuseEmpty && answer.contentLength == 0) || !TypeAccepted(rules.typePrefix, answer.contentType))
        return Only(Next::kGiveUp);
    return Use(0, 0, answer.contentLength, answer.contentLength, newVersion);
}

Verdict JudgeRange(const HttpRules& rules, const Asked& asked, const Answer& answer)
{
    ULONGLONG last = 0;
    ULONGLONG total = 0;
    // Bytes from another version, whatever their range, would mix two versions: a range
    // names its version by If-Range, or, for a resource that names its versions by its
    // own bytes, is taken on the length held and proved by the digests of what it holds.
    if (!IsRangeAsked(rules, asked, answer, &last, &total) ||
        (asked.length != kUnknownLength && total != asked.length) ||
        (!rules.byContent && !CarriesValidator(asked.ifRange, answer)))
        return Only(Next::kStartOver);
    return Use(asked.offset, 0, total, last + 1, false);
}

// The copy's last byte onward, asked without If-Range: the answer's date and total say
// whether the copy is the whole resource, its beginning, or another version.
Verdict JudgeProof(const HttpRules& rules, const Asked& asked, const Answer& answer)
{
    const HeldCopy& copy = *asked.proof;
    const bool sameDate = DatesTheCopy(answer.lastModified, copy);
    ULONGLONG last = 0;
    ULONGLONG total = 0;
    if (answer.status == HTTP_STATUS_PARTIAL_CONTENT) {
        if (!sameDate || !IsRangeAsked(rules, asked, answer, &last, &total))
            return Only(Next::kStartOver);
        return Verdict{total == copy.size ? Next::kComplete : Next::kUse, asked.offset, copy.size, total, last + 1,
                       false, true};
    }
    if (answer.status != HTTP_STATUS_OK)
        return Only(answer.status == 416 ? Next::kStartOver : Next::kGiveUp);
    // A server that sends no ranges: the same date and length is the copy, a larger
    // length its continuation.
    if (sameDate && !answer.chunked && answer.hasLength && answer.contentLength == copy.size)
        return Verdict{Next::kComplete, copy.size, 0, copy.size, copy.size, false, false};
    if (sameDate && !answer.chunked && answer.hasLength && answer.contentLength > copy.size &&
        answer.contentLength <= rules.maxLength)
        return Verdict{Next::kUse, 0, copy.size, answer.contentLength, answer.contentLength, false, true};
    return UseWhole(rules, answer, true);
}

// The first bytes of a resource of which nothing is held: any version will do, from 0.
Verdict JudgeFirstPart(const HttpRules& rules, const Asked& asked, const Answer& answer)
{
    ULONGLONG last = 0;
    ULONGLONG total = 0;
    if (answer.status == HTTP_STATUS_OK)
        return UseWhole(rules, answer, false);
    if (answer.status != HTTP_STATUS_PARTIAL_CONTENT)
        return Only(answer.status == 416 ? Next::kStartOver : Next::kGiveUp);
    if (!IsRangeAsked(rules, asked, answer, &last, &total) || (rules.refuseEmpty && total == 0))
        return Only(Next::kStartOver);
    return Use(0, 0, total, last + 1, false);
}

// A whole body to a range: the server sends no ranges, or the version changed.
Verdict JudgeWholeAfterRange(const HttpRules& rules, const Asked& asked, const Answer& answer)
{
    const bool sameVersion = (rules.byContent || CarriesValidator(asked.ifRange, answer)) && answer.hasLength &&
                             answer.contentLength >= asked.offset &&
                             (asked.length == kUnknownLength || answer.contentLength == asked.length);
    if (sameVersion && !answer.chunked)
        return Use(0, asked.offset, answer.contentLength, answer.contentLength, false);
    return UseWhole(rules, answer, true);
}

}  // namespace

Verdict JudgeAnswer(const HttpRules& rules, const Patience& patience, const Asked& asked, const Answer& answer,
                    int channelErrors)
{
    if (answer.error == ERROR_INTERNET_SECURITY_CHANNEL_ERROR)
        return Only(channelErrors + 1 >= patience.channelErrorTries ? Next::kGiveUp : Next::kRetry);
    if (answer.error)
        return Only(IsSecurityFailure(answer.error) ? Next::kGiveUp : Next::kRetry);
    // No status line: the connection closed before any answer (Wine then reports status
    // 0 rather than an error), as a restarting server or a resetting middlebox does.
    if (answer.status < 100 || IsRetriedStatus(answer.status))
        return Only(Next::kRetry);
    if (!asked.ranged)
        return answer.status == HTTP_STATUS_OK ? UseWhole(rules, answer, asked.length != kUnknownLength)
                                               : Only(Next::kGiveUp);
    // A chunked answer has no length to check the range against; a plain GET may still do.
    if (answer.chunked && answer.status != HTTP_STATUS_OK)
        return Only(Next::kStartOver);
    if (asked.proof)
        return JudgeProof(rules, asked, answer);
    if (asked.offset == 0 && asked.length == kUnknownLength)
        return JudgeFirstPart(rules, asked, answer);
    switch (answer.status) {
    case HTTP_STATUS_PARTIAL_CONTENT:
        return JudgeRange(rules, asked, answer);
    // The range lies beyond the resource's end: it became shorter.
    case 416:
        return Only(Next::kStartOver);
    case HTTP_STATUS_OK:
        return JudgeWholeAfterRange(rules, asked, answer);
    default:
        return Only(Next::kGiveUp);
    }
}

bool WaitBeforeTry(const HttpRules& rules, const Patience& patience, int tries, ULONGLONG outageMs,
                   bool receivedAny, DWORD* waitMs)
{
    const ULONGLONG limit = rules.firstContact && !receivedAny ? patience.firstContactMs : patience.windowMs;
    if (outageMs >= limit)
        return false;
    ULONGLONG wait = patience.firstWaitMs;
    for (int i = 1; i < tries && wait < patience.longestWaitMs; ++i)
        wait *= 2;
    if (wait > patience.longestWaitMs)
        wait = patience.longestWaitMs;
    *waitMs = static_cast<DWORD>(wait < limit - outageMs ? wait : limit - outageMs);
    return true;
}

bool DatesTheCopy(const char* lastModified, const HeldCopy& copy)
{
    SYSTEMTIME parsed;
    FILETIME time;
    return !Empty(lastModified) && InternetTimeToSystemTimeA(lastModified, &parsed, 0) &&
           SystemTimeToFileTime(&parsed, &time) && TimeAsKept(copy.time, time, copy.volume);
}

bool ParseContentRange(const char* text, ULONGLONG* first, ULONGLONG* last, ULONGLONG* total)
{
    if (Empty(text) || strncmp(text, "bytes ", 6) != 0)
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

bool IsStrongEtag(const char* etag)
{
    return !Empty(etag) && etag[0] == '"';
}

bool IsSecurityFailure(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR:
    case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
    case ERROR_INTERNET_MIXED_SECURITY:
    case ERROR_INTERNET_CHG_POST_IS_NON_SECURE:
    case ERROR_INTERNET_POST_IS_NON_SECURE:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_CLIENT_AUTH_NOT_SETUP:
    case ERROR_INTERNET_HTTPS_HTTP_SUBMIT_REDIR:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
        return true;
    default:
        return false;
    }
}

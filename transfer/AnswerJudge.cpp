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

Verdict Use(ULONGLONG first, ULONGLONG skip, ULONGLONG length, bool newVersion)
{
    return Verdict{Next::kUse, first, skip, length, newVersion};
}

Verdict Only(Next next)
{
    return Verdict{next, 0, 0, 0, false};
}

// A whole body, from its first byte.
Verdict UseWhole(const HttpRules& rules, const Answer& answer, bool newVersion)
{
    if (answer.chunked || !answer.hasLength || answer.contentLength > rules.maxLength ||
        (rules.refuseEmpty && answer.contentLength == 0) || !TypeAccepted(rules.typePrefix, answer.contentType))
        return Only(Next::kGiveUp);
    return Use(0, 0, answer.contentLength, newVersion);
}

Verdict JudgeRange(const HttpRules& rules, const Asked& asked, const Answer& answer)
{
    ULONGLONG first = 0;
    ULONGLONG last = 0;
    ULONGLONG total = 0;
    if (!answer.hasLength || !ParseContentRange(answer.contentRange, &first, &last, &total))
        return Only(Next::kStartOver);
    const ULONGLONG end = asked.end < total ? asked.end : total;
    const bool continues = first == asked.offset && last + 1 == end && answer.contentLength == last - first + 1 &&
                           (asked.length == kUnknownLength || total == asked.length) && total <= rules.maxLength;
    // Bytes from another version, whatever their range, would mix two versions.
    if (!continues || !CarriesValidator(asked.ifRange, answer))
        return Only(Next::kStartOver);
    return Use(first, 0, total, false);
}

// The first bytes of a resource of which nothing is held: any version will do, from 0.
Verdict JudgeFirstPart(const HttpRules& rules, const Asked& asked, const Answer& answer)
{
    ULONGLONG first = 0;
    ULONGLONG last = 0;
    ULONGLONG total = 0;
    if (answer.status == HTTP_STATUS_OK)
        return UseWhole(rules, answer, false);
    if (answer.status != HTTP_STATUS_PARTIAL_CONTENT)
        return Only(answer.status == 416 ? Next::kStartOver : Next::kGiveUp);
    if (!answer.hasLength || !ParseContentRange(answer.contentRange, &first, &last, &total) || first != 0 ||
        last + 1 != (asked.end < total ? asked.end : total) || answer.contentLength != last + 1 ||
        total > rules.maxLength || (rules.refuseEmpty && total == 0))
        return Only(Next::kStartOver);
    return Use(0, 0, total, false);
}

// A range past the end under If-Range: the condition held (a changed version would have
// come whole, with 200), so what the caller holds is complete. Apache and lighttpd send
// no Content-Range and no validators with it.
Verdict JudgeNothingLeft(const HttpRules& rules, const Asked& asked, const Answer& answer)
{
    const bool openRange = asked.end == kToTheEnd;
    const bool lengthAgrees = asked.length == kUnknownLength || asked.length == asked.offset;
    if (Empty(asked.ifRange) || !openRange || !lengthAgrees || asked.offset > rules.maxLength)
        return Only(Next::kStartOver);
    if (!Empty(answer.contentRange)) {
        const char* total = answer.contentRange;
        if (strncmp(total, "bytes */", 8) != 0)
            return Only(Next::kStartOver);
        char* end = NULL;
        const ULONGLONG size = _strtoui64(total + 8, &end, 10);
        if (end == total + 8 || *end != '\0' || size != asked.offset)
            return Only(Next::kStartOver);
    }
    return Verdict{Next::kComplete, asked.offset, 0, asked.offset, false};
}

// A whole body to a range: the server sends no ranges, or the version changed.
Verdict JudgeWholeAfterRange(const HttpRules& rules, const Asked& asked, const Answer& answer)
{
    const bool sameVersion = CarriesValidator(asked.ifRange, answer) && answer.hasLength &&
                             answer.contentLength >= asked.offset &&
                             (asked.length == kUnknownLength || answer.contentLength == asked.length);
    if (sameVersion && !answer.chunked)
        return Use(0, asked.offset, answer.contentLength, false);
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
    if (Empty(asked.ifRange) && asked.offset == 0 && asked.length == kUnknownLength)
        return JudgeFirstPart(rules, asked, answer);
    switch (answer.status) {
    case HTTP_STATUS_PARTIAL_CONTENT:
        return JudgeRange(rules, asked, answer);
    case 416:
        return JudgeNothingLeft(rules, asked, answer);
    case HTTP_STATUS_OK:
        return JudgeWholeAfterRange(rules, asked, answer);
    default:
        return Only(Next::kGiveUp);
    }
}

bool WaitBeforeTry(const HttpRules& rules, const Patience& patience, int tries, DWORD sinceProgressMs,
                   bool receivedAny, DWORD* waitMs)
{
    const DWORD limit = rules.firstContact && !receivedAny ? patience.firstContactMs : patience.windowMs;
    if (sinceProgressMs >= limit)
        return false;
    ULONGLONG wait = patience.firstWaitMs;
    for (int i = 1; i < tries && wait < patience.longestWaitMs; ++i)
        wait *= 2;
    *waitMs = static_cast<DWORD>(wait < patience.longestWaitMs ? wait : patience.longestWaitMs);
    return true;
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

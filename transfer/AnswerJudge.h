// What to do with each answer of the update server, and how long to wait before the next
// try: pure decisions, so that every rule lives once and is tested without a server.
#pragma once

#include <windows.h>

#include "ByteSource.h"

const ULONGLONG kUnknownLength = ~0ull;

// What a caller demands of an answer that starts a resource; a refused answer is final.
struct HttpRules {
    DWORD requestFlags;
    // The largest Content-Length accepted, and whether 0 is refused.
    ULONGLONG maxLength;
    bool refuseEmpty;
    // When set, the Content-Type must begin with this text.
    const char* typePrefix;
    // Gives up sooner while nothing at all has arrived (see Patience::firstContactMs):
    // a user who starts without a network learns it at once.
    bool firstContact;
};

// How long to wait between tries, and for how long to keep trying without progress.
// The program keeps the defaults; tests shorten them.
struct Patience {
    DWORD firstWaitMs = 1000;
    // Each wait doubles the one before, up to this.
    DWORD longestWaitMs = 30 * 1000;
    // Tries go on while the last progress is younger than this...
    DWORD windowMs = 120 * 1000;
    // ...or than this, under HttpRules::firstContact, while nothing has arrived.
    DWORD firstContactMs = 30 * 1000;
    // A TLS channel error (12157) is also what a cut handshake gives, so it is tried this
    // many times before it counts as the server's refusal.
    int channelErrorTries = 3;
};

// The request an answer belongs to.
struct Asked {
    ULONGLONG offset;
    // Where the range asked for ends (exclusive), or kToTheEnd.
    ULONGLONG end;
    // Whether a Range header went out, and the If-Range validator with it: "" only for the
    // first part of a resource of which nothing is held.
    bool ranged;
    const char* ifRange;
    // The total length the bytes held so far belong to, or kUnknownLength.
    ULONGLONG length;
    // The validators of the version held (each "" when the server sent none).
    const char* etag;
    const char* lastModified;
};

// What came back; `error` is WinINet's when the request got no answer.
struct Answer {
    DWORD error;
    DWORD status;
    bool hasLength;
    ULONGLONG contentLength;
    bool chunked;
    const char* contentRange;
    const char* contentType;
    const char* etag;
    const char* lastModified;
};

enum class Next {
    // The body is the resource's from byte `first` (after `skip` bytes to drop).
    kUse,
    // Nothing is missing: what the caller holds is the whole resource.
    kComplete,
    // The body is not to be used: ask again for the whole resource.
    kStartOver,
    // A transient failure: wait and ask again.
    kRetry,
    // Final: a refusal, a status that is not a transient, a security failure.
    kGiveUp,
};

struct Verdict {
    Next next;
    ULONGLONG first;
    ULONGLONG skip;
    ULONGLONG length;
    // kUse of a version other than the one held: its bytes start at 0.
    bool newVersion;
};

// channelErrors counts the TLS channel errors met so far by this resource.
Verdict JudgeAnswer(const HttpRules& rules, const Patience& patience, const Asked& asked, const Answer& answer,
                    int channelErrors);

// The wait before try number `tries` (1 = the first retry) without progress, or false
// when the time for trying is over. `sinceProgressMs` counts from the last progress, or
// from the first request; `receivedAny` tells whether the resource ever brought a byte.
bool WaitBeforeTry(const HttpRules& rules, const Patience& patience, int tries, DWORD sinceProgressMs,
                   bool receivedAny, DWORD* waitMs);

// "bytes <first>-<last>/<total>".
bool ParseContentRange(const char* text, ULONGLONG* first, ULONGLONG* last, ULONGLONG* total);

// A strong ETag names exact bytes; a weak one (W/"...") does not, so it is no validator
// for a range.
bool IsStrongEtag(const char* etag);

// Certificate, TLS and redirect-security failures: the server's or the network's
// refusal. 12157 is not among them (see Patience::channelErrorTries).
bool IsSecurityFailure(DWORD error);

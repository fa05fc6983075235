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
    // The resource's own first bytes name its version, not the server's validators (a
    // pack: its header and entry table, which nodes of a farm send alike whatever ETag or
    // date they give them). No request names a version in If-Range; a range is used when
    // it is the one asked for, of the length held; a whole answer of that length to a
    // range is read on past the bytes held (the source checks that it begins with the
    // version's bytes).
    bool byContent;
};

// How long to wait between tries, and for how long to keep trying without progress.
// The program keeps the defaults; tests shorten them.
struct Patience {
    DWORD firstWaitMs = 1000;
    // Each wait doubles the one before, up to this.
    DWORD longestWaitMs = 30 * 1000;
    // An outage (from the first try that failed after the last progress) is ridden out
    // for this long: an unattended run outlasts a router's restart at night...
    DWORD windowMs = 30 * 60 * 1000;
    // ...or for this long, under HttpRules::firstContact, while nothing has arrived.
    DWORD firstContactMs = 30 * 1000;
    // A TLS channel error (12157) is also what a cut handshake gives, so it is tried this
    // many times without progress before it counts as the server's refusal.
    int channelErrorTries = 3;
};

// The request an answer belongs to.
struct Asked {
    ULONGLONG offset;
    // Where the range asked for ends (exclusive), or kToTheEnd.
    ULONGLONG end;
    // Whether a Range header went out, and the If-Range validator with it: "" for the
    // first part of a resource of which nothing is held, and for a proof.
    bool ranged;
    const char* ifRange;
    // The total length the bytes held so far belong to, or kUnknownLength.
    ULONGLONG length;
    // The validators of the version held (each "" when the server sent none).
    const char* etag;
    const char* lastModified;
    // Set for the first request of a resource that an earlier run left on disk: it asks
    // for the copy's last byte onward, so that even a complete copy is answered with a
    // 206, its total and the server's validators.
    const HeldCopy* proof;
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
    // The body is the resource's from byte `first`; the bytes before `skip` are read and
    // dropped.
    kUse,
    // Nothing is missing: what the caller holds is the whole resource (after the bytes
    // before `skip` are read and dropped).
    kComplete,
    // The body is not to be used: ask again, at once, for the whole resource.
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
    // Where the body's bytes end: the end of the range sent, or `length`.
    ULONGLONG end;
    // kUse of a version other than the one held: its bytes start at 0.
    bool newVersion;
    // The last byte dropped is the proof's copy's last byte read again: unless it is the
    // byte on disk, the copy is another version, and the whole resource is asked for.
    bool checksHeldByte;
};

// channelErrors counts the TLS channel errors met so far by this resource.
Verdict JudgeAnswer(const HttpRules& rules, const Patience& patience, const Asked& asked, const Answer& answer,
                    int channelErrors);

// The wait before try number `tries` (1 = the first retry) without progress, or false
// when the time for trying is over. `outageMs` counts from the first try that failed
// after the last progress (or since the first request); `receivedAny` tells whether the
// resource ever brought a byte. No wait reaches beyond the window.
bool WaitBeforeTry(const HttpRules& rules, const Patience& patience, int tries, ULONGLONG outageMs,
                   bool receivedAny, DWORD* waitMs);

// Whether `lastModified`, an HTTP date, is the time of the copy as its volume keeps it.
bool DatesTheCopy(const char* lastModified, const HeldCopy& copy);

// "bytes <first>-<last>/<total>".
bool ParseContentRange(const char* text, ULONGLONG* first, ULONGLONG* last, ULONGLONG* total);

// A strong ETag names exact bytes; a weak one (W/"...") does not, so it is no validator
// for a range.
bool IsStrongEtag(const char* etag);

// Certificate, TLS and redirect-security failures: the server's or the network's
// refusal. 12157 is not among them (see Patience::channelErrorTries).
bool IsSecurityFailure(DWORD error);

// A resource read front to back: what the pack reader and the plain-file writer read from.
#pragma once

#include <windows.h>

#include "VolumeTimes.h"

class ByteProgress;
class CancelToken;

// Read's answer when the resource changed after some of it was delivered: Length() is the
// new version's, and the next bytes are its first. A success code, so that a caller that
// does not start over still sees no failure: every caller checks for it.
const HRESULT S_RESOURCE_CHANGED = MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_ITF, 0x0201);

// The end of a range that runs to the end of the resource.
const ULONGLONG kToTheEnd = ~0ull;

// What an earlier run left of a resource on disk.
struct HeldCopy {
    // At least 1.
    ULONGLONG size;
    BYTE lastByte;
    // Its last-write time, and how its volume keeps times.
    FILETIME time;
    VolumeTimes volume;
};

// The bytes at the start of a resource that name its version where its validators cannot
// (a pack: its header and entry table, whichever node of a farm sends them).
class VersionBytes {
public:
    virtual ULONGLONG Size() const = 0;
    // Whether the `size` bytes at `offset` (which end at or below Size()) are the version's.
    virtual bool Match(ULONGLONG offset, const BYTE* bytes, DWORD size) const = 0;

protected:
    ~VersionBytes() = default;
};

// Every call is made on one thread. Failures are E_FAIL, and E_ABORT once the source's
// cancel token (if it has one) is cancelled; a caller passes both on unchanged.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Before Open: the caller holds `copy`, which may be the whole of the resource, its
    // beginning, or another version. After Open, Position() tells what it is: copy.size
    // when it is the beginning of the resource and the rest follows, or the whole
    // resource when Length() is copy.size too; 0 when the whole of another version follows.
    virtual void StartFrom(const HeldCopy& copy) = 0;
    // Before Open: only the bytes before `end` are wanted for now (Seek asks for more).
    virtual void FirstAskFor(ULONGLONG end) = 0;
    // Makes the resource readable and its length known.
    virtual HRESULT Open() = 0;
    virtual ULONGLONG Length() const = 0;
    // The offset of the next byte Read delivers.
    virtual ULONGLONG Position() const = 0;
    // The last-modified time of the version being read; false when there is none.
    virtual bool LastModified(FILETIME* time) const = 0;

    // The next bytes, at most `size` (a partial read is allowed: read in a loop; the
    // buffer is the caller's): S_OK with *got > 0, or S_OK with *got == 0 once all
    // Length() bytes (or all before Seek's `end`) have been delivered. Bytes always go on
    // where the last ones ended, unless the answer is S_RESOURCE_CHANGED.
    virtual HRESULT Read(void* buffer, DWORD size, DWORD* got) = 0;
    // Goes to `offset` of the same version, to read what lies before `end` (or kToTheEnd);
    // Read delivers nothing beyond it. Forward always; back only where the source can ask
    // for ranges (E_FAIL otherwise). S_OK, S_RESOURCE_CHANGED, E_ABORT, E_FAIL.
    virtual HRESULT Seek(ULONGLONG offset, ULONGLONG end) = 0;
    // Once the caller has read them: `version`'s bytes (borrowed while the source reads)
    // name the version held. A whole answer to a range is then read on past the bytes
    // held only when it begins with them; otherwise it is another version.
    virtual void NameVersionBy(const VersionBytes* version) = 0;
    // Whether any byte delivered so far came from an answer to a range, or from one read
    // on after a drop: such bytes may belong to another version than those before them.
    virtual bool Resumed() const = 0;
    // Lets go of what the source holds open (a request); a later Read or Seek opens again.
    virtual void Close() = 0;
};

// Reads `size` bytes into `buffer`, fewer only where the source ends (*got tells), and
// tells `progress` of them: of each piece between, when a report is due, and of the
// chunk once it is in. A chunk that is in once `cancel` is cancelled is E_ABORT: it is
// not to be written. S_RESOURCE_CHANGED, E_ABORT and E_FAIL as the source gives them.
HRESULT ReadChunk(ByteSource& source, void* buffer, DWORD size, DWORD* got, ByteProgress& progress,
                  const CancelToken& cancel);

// A pack's file that is already on disk as the pack holds it, so that a second run
// keeps it instead of fetching it again.
#pragma once

#include <windows.h>

#include "PackFormat.h"
#include "VolumeTimes.h"

class ByteProgress;
class CancelToken;

// Reads the file at `path` once, in chunks of `scratchSize` bytes of `scratch`, and
// hashes it, with read access only and sharing it with every other reader and writer.
// When its size and MD5 digest are the entry's, its three times are set to the entry's
// time where they differ by more than its volume keeps (`volume`), and *kept is true; a file that is missing, of another size or
// digest, or cannot be read or stamped, is not kept, and neither is one reached through
// a junction or symbolic link. The bytes read move `progress`
// while it is read, and are taken back when the file is not kept.
// S_OK, or E_ABORT once `cancel` is cancelled.
// Reads the next `size` bytes of `file` in chunks of `scratchSize` bytes of `scratch`, and
// tells in *same whether their MD5 digest is `md5`; each chunk read is added to *read
// (InterlockedExchangeAdd64). S_OK (also when they cannot all be read: not the same), or
// E_ABORT once `cancel` is cancelled.
HRESULT VerifyBytes(HANDLE file, DWORD size, const BYTE (&md5)[16], BYTE* scratch, DWORD scratchSize,
                    volatile LONGLONG* read, const CancelToken& cancel, bool* same);

// Reads the file at `path` once, in chunks of `scratchSize` bytes of `scratch`, and
// hashes it, with read access only and sharing it with every other reader and writer.
// When its size and MD5 digest are the entry's, its three times are set to the entry's
// time where they differ by more than its volume keeps (`volume`), and *kept is true; a
// file that is missing, of another size or digest, or cannot be read or stamped, is not
// kept, and neither is a junction or symbolic link. The bytes read are added to *read.
// S_OK, or E_ABORT once `cancel` is cancelled.
HRESULT VerifyKeptFile(const char* path, const PackEntry& entry, VolumeTimes volume, BYTE* scratch, DWORD scratchSize,
                       volatile LONGLONG* read, const CancelToken& cancel, bool* kept);

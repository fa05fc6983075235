// Unpacking a pack in one pass, straight from its source to the files.
#pragma once

#include <windows.h>

class ByteSource;
class CancelToken;
class ProgressSink;

// Opens `source` and unpacks the pack below `targetDir`: each file is created (with its
// directories), written, stamped with its time and checked against its MD5 digest. Tells
// `progress` the bytes consumed; E_ABORT once `cancel` is cancelled. E_FAIL for every
// failure, including a digest mismatch (reported on standard output; the rest of the pack
// is still unpacked), names that would lead outside targetDir and an entry table above
// kMaxPackTableSize or larger than the source. A pack without entries creates nothing.
//
// `packFolder` is the folder the pack unpacks into as far as the caller knows it; null
// when only the header names it (initial.pack), which must then name a folder below
// targetDir, not targetDir itself, so that no file of the pack lies beside what the
// caller keeps there (targetDir is looked at instead). Where that folder holds files, the
// pack is asked for in parts, its header first; then only where the pack's own folder
// holds files is each file there with the entry's size and digest kept (given the entry's
// time), and only the runs of the other files are read, each with a Seek of its own.
// Otherwise one request brings the pack whole.
//
// The header and table name the pack's version (ByteSource::NameVersionBy). A file whose
// digest fails on bytes of a range or of an answer resumed after a drop is fetched once
// more before it counts (RetryMismatches). When the pack changes on the source
// meanwhile, it is unpacked again from its start, so that no file holds bytes of two
// versions.
HRESULT ExtractPack(ByteSource& source, const char* targetDir, const char* packFolder, ProgressSink& progress,
                    const CancelToken& cancel);

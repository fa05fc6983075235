// A database pack of an offline update, stored as the very file the server holds, each
// of its files checked against its digest as it is written and again on a second run.
#pragma once

#include <windows.h>

#include "TransferEnv.h"

class ByteSource;

// Opens `source`, a pack, and stores it byte for byte as `localPath`; no directory is
// made. Its header and entry table are read as they pass, and every entry's bytes are
// checked against their MD5 digest as they are written (the mismatch line for each that
// fails; the file keeps what the server sent, and the result is E_FAIL, as for a table
// that cannot be read). A pack already at `localPath`:
// - with the server's header and table (whatever its date): each entry is read from disk
//   and checked; the runs of entries that fail, and what is missing when it is shorter,
//   are fetched and written into it at their offsets, and checked. One that passes is
//   only given the server's time where it differs: read access is all it needs;
// - otherwise (another header or table, none that can be read, more bytes than the
//   server's): the new version is received whole as `localPath`.part, checked, and
//   renamed over it; on a failure or an abort the .part goes and the old file stays.
// `anew`: what is at `localPath` is not this pack's (an earlier item of the run wrote
// it), and is only ever replaced whole. Tells `progress` the bytes in place (a stored
// entry that passes counts as done). E_ABORT once `cancel` is cancelled.
HRESULT StorePack(ByteSource& source, const char* localPath, ProgressSink& progress, const CancelToken& cancel,
                  bool anew = false);

// StorePack of the pack that the catalogue lists by `path`: fetched from baseUrl + "/" +
// path and stored as folder + "/" + path, both joined unchanged; a path that could lead
// outside `folder` is refused with E_FAIL before anything is requested.
HRESULT DownloadPackBelow(const TransferEnv& env, const char* baseUrl, const char* folder, const char* path,
                          bool anew = false);

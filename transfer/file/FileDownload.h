// One resource stored byte for byte as a file.
#pragma once

#include <windows.h>

#include "TransferEnv.h"

class ByteSource;

// Opens `source` and stores its bytes as the file at `localPath`; no directory is made.
// Tells `progress` the bytes in place. S_OK when every byte of Length() is stored,
// E_ABORT once `cancel` is cancelled, E_FAIL otherwise. When the source starts over with
// another version, the file is written again from its first byte. A file already at
// `localPath` (an earlier run's) is asked for from its last byte, which proves it by the
// server's date (compared as its volume keeps times) and total: kept when complete,
// continued when short, and otherwise replaced only by a whole new version (also one of
// no bytes), received as `localPath`.part and renamed over it; on a failure or an abort
// the .part file goes and the old file stays as it was. A file that was not there is
// written under its own name, and what arrived of it stays. `anew`: what is at
// `localPath` is not this resource's (an earlier item of the run wrote it), and is only
// ever replaced whole. The network is read in small pieces and the file written in chunks
// of up to 4 MiB.
HRESULT SaveToFile(ByteSource& source, const char* localPath, ProgressSink& progress, const CancelToken& cancel,
                   bool anew = false);

// SaveToFile from `url` (200 and a Content-Length required; redirects followed also
// between HTTP and HTTPS), with env's session, progress and token.
HRESULT DownloadToFile(const TransferEnv& env, const char* url, const char* localPath, bool anew = false);

// A resource that the catalogue lists by `path`: fetched from baseUrl + "/" + path and
// stored as folder + "/" + path, both joined unchanged. A path that could lead outside
// `folder` is refused with E_FAIL before anything is requested.
HRESULT DownloadBelow(const TransferEnv& env, const char* baseUrl, const char* folder, const char* path,
                      bool anew = false);

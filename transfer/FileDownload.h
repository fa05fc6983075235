// One resource of the update server stored byte for byte as a file.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "TransferEnv.h"

// Requests `url` (200 and a Content-Length required) and stores the body as a new file
// at `localPath`; no directory is made. The network is read in small pieces and the file
// written in chunks of up to 4 MiB. Tells env.progress the bytes in place. S_OK when
// every announced byte is stored, E_ABORT once env.cancel stops the download, E_FAIL
// otherwise. A drop is resumed where it stopped; when the resource changed on the server
// meanwhile, the file is written again from its first byte.
// A file already at `localPath` (an earlier run's) is asked for from its end under its
// time: kept when complete, continued when short, and otherwise replaced only by a
// whole new version, received as `localPath`.part and renamed over it; on a failure or
// an abort the .part file goes and the old file stays as it was. A file that was not
// there is written under its own name, and what arrived of it stays.
HRESULT DownloadToFile(const TransferEnv& env, const char* url, const char* localPath);

// A resource that the catalogue lists by `path`: fetched from baseUrl + "/" + path and
// stored as folder + "/" + path, both joined unchanged. A path that could lead outside
// `folder` is refused with E_FAIL before anything is requested.
HRESULT DownloadBelow(const TransferEnv& env, const char* baseUrl, const char* folder, const char* path);

// One resource of the update server stored byte for byte as a file.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <afxcmn.h>

#include "HttpSource.h"

class OpenRequest;

// Requests `url` through `session` (200 and a Content-Length required) and stores the
// body as a new file at `localPath`; no directory is made. The network is read in small
// pieces and the file written in chunks of up to 4 MiB. Moves `progress` (may be null)
// by the bytes received. S_OK when every announced byte is stored, and also when
// *abortFlag (may be null) stops the download, including a read that fails once the
// flag is up; E_FAIL otherwise. What was written stays, also after a failure or an
// abort. Each request is published in `openRequest` (may be null). A drop is resumed
// where it stopped; when the resource changed on the server meanwhile, the file is
// written again from its first byte.
HRESULT DownloadToFile(HINTERNET session, const char* url, const char* localPath, CProgressCtrl* progress,
                       const int* abortFlag, OpenRequest* openRequest,
                       const RetrySettings& retry = RetrySettings());

// A resource that the catalogue lists by `path`: fetched from baseUrl + "/" + path and
// stored as folder + "/" + path, both joined unchanged. A path that could lead outside
// `folder` is refused with E_FAIL before anything is requested.
HRESULT DownloadBelow(HINTERNET session, const char* baseUrl, const char* folder, const char* path,
                      CProgressCtrl* progress, const int* abortFlag, OpenRequest* openRequest,
                      const RetrySettings& retry = RetrySettings());

// Getting latest.xml from the update server into memory.
#pragma once

#include <windows.h>
#include <wininet.h>

// The session every request of the tool goes through: the agent "Zeb application" and
// the system's proxy settings without automatic discovery. Null when it cannot be opened.
HINTERNET OpenUpdateSession();

// A real catalogue is a few MiB; a larger announced length is refused before allocating.
const DWORD kMaxCatalogSize = 64u << 20;

// Requests `url` through `session` and reads the whole body into memory. The answer must
// be 200 with a Content-Length from 1 to kMaxCatalogSize and a Content-Type that begins
// with "text/xml"; a body that ends before its length fails. On success *text is a new[]
// buffer of *size bytes and a NUL, owned by the caller; on failure it is null.
HRESULT FetchCatalogText(HINTERNET session, const char* url, char** text, DWORD* size);

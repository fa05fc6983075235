// Getting latest.xml from the update server into memory.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "TransferEnv.h"

class UpdateCatalog;

// The session every request of the tool goes through: the agent "Zeb application" and
// the system's proxy settings without automatic discovery. Null when it cannot be opened.
HINTERNET OpenUpdateSession();

// A real catalogue is a few MiB; a larger announced length is refused before allocating.
const DWORD kMaxCatalogSize = 64u << 20;

// Requests `url` and reads the whole body into memory. The answer must be 200 with a
// Content-Length from 1 to kMaxCatalogSize and a Content-Type that begins with
// "text/xml"; drops and stalls are retried like every transfer, and a body is taken only
// whole. On success *text is a new[] buffer of *size bytes and a NUL, owned by the
// caller; on failure it is null. E_ABORT once env.cancel is cancelled.
HRESULT FetchCatalogText(const TransferEnv& env, const char* url, char** text, DWORD* size);

// FetchCatalogText, then, once a text has arrived whole, `catalog` is replaced by it and
// parsed: the result is the parse's (E_OUTOFMEMORY when a string could not grow). A
// failed fetch leaves `catalog` as it was.
HRESULT FetchAndParseCatalog(const TransferEnv& env, const char* url, UpdateCatalog* catalog);

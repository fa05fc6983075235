// What every request to the update server sends: the agent and the request flags.
#pragma once

#include <windows.h>
#include <wininet.h>

const char kInternetAgent[] = "Zeb application";

// Always from the server, nothing cached, no cookies, no platform user interface.
const DWORD kPackRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                                INTERNET_FLAG_PRAGMA_NOCACHE;
// The same, and redirects are followed also when they switch between HTTP and HTTPS.
const DWORD kFileRequestFlags = kPackRequestFlags | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

static_assert(kPackRequestFlags == 0x84080300, "pack request flags");
static_assert(kFileRequestFlags == 0x8408C300, "file request flags");

// Files are written in chunks of up to this size, each in a heap buffer of its own
// (ChunkPipeline holds two).
const DWORD kTransferBufferSize = 0x400000;

// Between chunk boundaries, a position is sent at most this often: at full speed a
// message per piece would cost more than the piece.
const DWORD kProgressIntervalMs = 100;

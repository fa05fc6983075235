// The records of a pack archive: a header, a table of entries, then the files' bytes.
#pragma once

#include <windows.h>
#include <cstddef>

#pragma pack(push, 1)

struct PackHeader {
    BYTE reserved[48];   // not interpreted
    char packName[256];  // NUL-terminated: subdirectory of the target that receives the files
    DWORD entryCount;
};

struct PackEntry {
    DWORD fileSize;
    FILETIME fileTime;   // creation, access and write time of the unpacked file
    BYTE md5[16];        // RFC 1321 digest of the file's bytes
    char fileName[256];  // NUL-terminated, relative to the pack's subdirectory; `\` or `/`
};

#pragma pack(pop)

static_assert(sizeof(PackHeader) == 308, "pack header is 308 bytes");
static_assert(sizeof(PackEntry) == 284, "pack entry is 284 bytes");
static_assert(offsetof(PackHeader, packName) == 48 && offsetof(PackHeader, entryCount) == 304,
              "pack header layout");
static_assert(offsetof(PackEntry, fileTime) == 4 && offsetof(PackEntry, md5) == 12 &&
                  offsetof(PackEntry, fileName) == 28,
              "pack entry layout");

// The entry table is held whole, so its size is bounded whatever size the server
// announces: 64 MiB, or 236,298 entries, is far above any real kit (a few thousand
// files) and keeps a hostile pack from making the unpacker allocate gigabytes.
const DWORD kMaxPackTableSize = 64u << 20;
const DWORD kMaxPackEntryCount = kMaxPackTableSize / sizeof(PackEntry);

// True when `field` (a name field of `fieldSize` bytes) holds a NUL and names a
// place inside the directory it is joined to (see IsContainedRelativePath).
bool IsContainedPackName(const char* field, size_t fieldSize);

// The kit job: initial.pack, the kit's databases and ZebDbLst.ini.
#pragma once

#include "TransferEnv.h"
#include "UpdateCatalog.h"

// The number that names a kit in the catalogue's access lists: 161, 160, 164, 163 or 65.
using KitCode = int;

// Whether a database of normalised `access` (UpdateCatalog: "" or ",code,code,")
// belongs to the kit: every kit's when empty, else when it holds the code between commas.
bool BelongsToKit(const char* access, KitCode kit);

// One item of a kit: the pack at `baseUrl`, "/" and `path`, unpacked below `targetDir`
// (PackStream::Extract); `packFolder`, where known, is the folder it unpacks into.
HRESULT DownloadPack(const TransferEnv& env, const char* baseUrl, const char* caption, const char* path,
                     const char* targetDir, const char* packFolder);

// Marks the databases of the kit `kitCode` in `catalog`, unpacks initial.pack into
// `targetFolder`, creates ZebDbLst.ini, then unpacks each marked database into its
// Database folder and lists it. E_ABORT once env.cancel is cancelled; the first failure
// ends the job.
HRESULT RunKit(const TransferEnv& env, UpdateCatalog& catalog, const char* targetFolder, KitCode kitCode);

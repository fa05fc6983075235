// The kit job: initial.pack, the kit's databases and ZebDbLst.ini.
#pragma once

#include "TransferEnv.h"
#include "UpdateCatalog.h"

// One item of a kit: the pack at `baseUrl`, "/" and `path`, unpacked below `targetDir`
// and told to env.progress as `caption`. E_ABORT once env.cancel is cancelled.
HRESULT DownloadKitPack(const TransferEnv& env, const char* baseUrl, const char* caption, const char* path,
                        const char* targetDir);

// Marks the databases of the kit `kitCode` in `catalog`, unpacks initial.pack into
// `targetFolder`, creates ZebDbLst.ini, then unpacks each marked database into its
// Database folder and lists it. E_ABORT once env.cancel is cancelled; the first failure
// ends the job.
HRESULT RunKit(const TransferEnv& env, UpdateCatalog& catalog, const char* targetFolder, int kitCode);

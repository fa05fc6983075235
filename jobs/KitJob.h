// The kit job: initial.pack, the kit's databases and ZebDbLst.ini.
#pragma once

#include "JobContext.h"

// Unpacks the pack at the catalogue's base URL, "/" and `path` below `targetDir`, with
// `caption` over the item bar. E_ABORT once the job's token is cancelled.
HRESULT DownloadKitPack(const JobContext& job, const char* caption, const char* path, const char* targetDir);

// Marks the databases of the kit `kitCode`, unpacks initial.pack into the target folder,
// creates ZebDbLst.ini, then unpacks each marked database into its Database folder and
// lists it. E_ABORT once the job's token is cancelled; the first failure ends the job.
HRESULT RunKit(const JobContext& job, int kitCode);

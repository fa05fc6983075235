// The kit job: initial.pack, the kit's databases and ZebDbLst.ini.
#pragma once

#include "JobContext.h"

// Unpacks the pack at the catalogue's base URL, "/" and `path` below `targetDir`, with
// `caption` over the item bar. `packFolder`, where known, is the folder it unpacks into
// (see PackStream::ExpectFolder). S_OK also when stopped by an abort.
HRESULT DownloadKitPack(const JobContext& job, const char* caption, const char* path, const char* targetDir,
                        const char* packFolder = nullptr);

// Marks the databases of the kit `kitCode`, unpacks initial.pack into the target folder,
// creates ZebDbLst.ini, then unpacks each marked database into its Database folder and
// lists it. S_OK also when stopped by an abort; the first failure ends the job.
HRESULT RunKit(const JobContext& job, int kitCode);

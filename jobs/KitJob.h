// The kit job: initial.pack, the kit's databases and ZebDbLst.ini.
#pragma once

#include "TransferEnv.h"
#include "UpdateCatalog.h"

// Marks the databases of the kit `kitCode` in `catalog`, unpacks initial.pack into
// `targetFolder`, creates ZebDbLst.ini, then unpacks each marked database into its
// Database folder and lists it. E_ABORT once env.cancel is cancelled; the first failure
// ends the job.
HRESULT RunKit(const TransferEnv& env, UpdateCatalog& catalog, const char* targetFolder, int kitCode);

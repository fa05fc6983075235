// The offline-update job: latest.xml, then every listed file and database as plain files.
#pragma once

#include "TransferEnv.h"
#include "UpdateCatalog.h"

// Saves the catalogue's text as latest.xml in `targetFolder`, then downloads every file
// and then every database of the catalogue, in its order, each stored below the target
// folder under its path: a file byte for byte (DownloadBelow), a database's pack byte for
// byte with its files checked by their digests (DownloadPackBelow). An earlier latest.xml is replaced only when every item has
// arrived (the new one waits as latest.xml.part): a run that fails or is cancelled
// leaves it as it was. E_ABORT once env.cancel is cancelled; the first failure ends the
// job.
HRESULT RunOfflineUpdate(const TransferEnv& env, const UpdateCatalog& catalog, const char* targetFolder);

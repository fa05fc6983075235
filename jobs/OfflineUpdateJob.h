// The offline-update job: latest.xml, then every listed file and database as plain files.
#pragma once

#include "JobContext.h"

// Saves the catalogue's text as latest.xml in the target folder, then downloads every file
// and then every database of the catalogue, in its order, each stored below the target
// folder under its path. E_ABORT once the job's token is cancelled; the first failure ends
// the job.
HRESULT RunOfflineUpdate(const JobContext& job);

// What each position of the dialog's radio group downloads.
#pragma once

#include "KitJob.h"

// The kit code of each kit mode (0 to 4), as the catalogue's access lists name it.
const KitCode kKitCodes[] = {161, 160, 164, 163, 65};
const int kKitModeCount = sizeof(kKitCodes) / sizeof(kKitCodes[0]);
// The last button: the files of an offline update; it has no kit code.
const int kOfflineUpdateMode = 5;

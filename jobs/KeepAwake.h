// Keeps the computer from sleeping for idleness while a job runs.
#pragma once

#include <windows.h>

// The one call that tells Windows what the job's thread needs: SetThreadExecutionState,
// unless a test has put another function of the same shape here.
extern EXECUTION_STATE(WINAPI* SetExecutionState)(EXECUTION_STATE flags);

// From construction to destruction the system does not go to sleep after its idle time;
// the display may still turn off. Windows keeps the state per thread, so both calls are
// made on the thread that holds the guard: construct and destroy it on the same thread.
class KeepAwake {
public:
    KeepAwake() { SetExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }
    ~KeepAwake() { SetExecutionState(ES_CONTINUOUS); }
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;
};

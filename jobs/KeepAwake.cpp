#include "KeepAwake.h"

EXECUTION_STATE(WINAPI* SetExecutionState)(EXECUTION_STATE) = SetThreadExecutionState;

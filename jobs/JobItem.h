// One item of a job, as the job's progress tells it.
#pragma once

#include "CancelToken.h"
#include "ProgressSink.h"
#include "TransferEnv.h"

// Tells the item `caption` started, runs its `transfer`, and tells it done when that
// succeeds. A cancel that comes after the transfer's last chunk stops the job before the
// next item: E_ABORT.
template <typename Transfer>
HRESULT RunItem(const TransferEnv& env, const char* caption, Transfer transfer)
{
    env.progress.ItemStarted(caption);
    HRESULT hr = transfer();
    if (SUCCEEDED(hr) && env.cancel.IsCancelled())
        return E_ABORT;
    if (SUCCEEDED(hr))
        env.progress.ItemDone();
    return hr;
}

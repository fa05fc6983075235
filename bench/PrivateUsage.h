// The private memory of this process, and its highest value while a piece of work runs.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <thread>

// Wine fills only the basic counters (cb comes back smaller, PrivateUsage stays 0); its
// PagefileUsage is the resident anonymous memory. Windows gives the commit charge in both.
inline SIZE_T PrivateUsage()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.cb >= sizeof(counters) ? counters.PrivateUsage : counters.PagefileUsage;
}

// The private usage when it is made and the highest seen while it lives, sampled on a
// thread of its own: Wine's PeakPagefileUsage is only the current value.
class PrivateUsagePeak {
public:
    PrivateUsagePeak() : thread_([this] { Sample(); }) {}
    ~PrivateUsagePeak() { Stop(); }
    PrivateUsagePeak(const PrivateUsagePeak&) = delete;
    PrivateUsagePeak& operator=(const PrivateUsagePeak&) = delete;

    SIZE_T Baseline() const { return baseline_; }
    SIZE_T Peak()
    {
        Stop();
        return peak_;
    }

private:
    void Sample()
    {
        for (;;) {
            peak_ = std::max(peak_, PrivateUsage());
            if (stop_)
                return;
            Sleep(5);
        }
    }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

    const SIZE_T baseline_ = PrivateUsage();
    SIZE_T peak_ = baseline_;  // written by the sampler only; read after the join
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

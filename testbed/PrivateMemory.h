// The private memory of this process, read two ways, and its highest value while a piece of work runs.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <thread>

// Under Wine 8 GetProcessMemoryInfo leaves PrivateUsage at 0 (and hands back only the basic
// counters), PeakPagefileUsage is only the current value, and PagefileUsage tracks the
// private memory that has been touched. Windows gives the commit charge in PrivateUsage.
//
// PrivateUsage: Windows' figure, or under Wine PagefileUsage. An allocation never filled does
// not show under Wine; stacks count as far as they are used, as on Windows. The benchmarks
// report this one.
inline SIZE_T PrivateUsage()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// CommittedPrivateBytes: the committed private regions summed over the address space, the
// same way on both systems, so an allocation never filled shows. Under Wine it also holds
// each thread's whole stack, committed when the thread starts and kept for reuse after it
// ends (about 3 MiB for a new thread in the 32-bit prefix, where PagefileUsage grew by 1 MiB).
inline SIZE_T CommittedPrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const BYTE* at = nullptr; VirtualQuery(at, &info, sizeof(info)) == sizeof(info);
         at = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
    }
    return total;
}

// PrivateUsage when it is made and the highest seen while it lives, sampled every 5 ms on a
// thread of its own, since Wine keeps no peak.
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

// The private memory this process has committed, and its highest value while a piece of work runs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>

// Summed over the address space: the committed private regions, which is what Windows
// reports as PrivateUsage. GetProcessMemoryInfo cannot give it under Wine 8: there
// PrivateUsage stays 0, PeakPagefileUsage is only the current value, and PagefileUsage
// tracks only the private memory that has been touched, so an allocation never filled
// would not show.
inline SIZE_T PrivateBytes()
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

// PrivateBytes when it is made and the highest seen while it lives, sampled every 5 ms on
// a thread of its own.
class PrivateBytesPeak {
public:
    PrivateBytesPeak() : thread_([this] { Sample(); }) {}
    ~PrivateBytesPeak() { Stop(); }
    PrivateBytesPeak(const PrivateBytesPeak&) = delete;
    PrivateBytesPeak& operator=(const PrivateBytesPeak&) = delete;

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
            peak_ = std::max(peak_, PrivateBytes());
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

    const SIZE_T baseline_ = PrivateBytes();
    SIZE_T peak_ = baseline_;  // written by the sampler only; read after the join
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

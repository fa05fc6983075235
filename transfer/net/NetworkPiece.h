// How much one network read asks for.
#pragma once

#include <windows.h>

// A synchronous InternetReadFile returns only once its buffer is full, and each call
// has a fixed cost (about 0.1 ms under Wine: 64 KiB pieces cap a loopback download at
// about 350 MB/s, 256 KiB pieces at about 1 GB/s). So the piece grows while reads come
// back quickly and shrinks when one takes long: a fast link is read in few calls, and a
// slow one (128 KiB/s) still moves the bar and sees an abort several times a second.
class NetworkPiece {
public:
    static const DWORD kSmallest = 16 * 1024;
    static const DWORD kFirst = 64 * 1024;
    static const DWORD kLargest = 256 * 1024;

    DWORD Size() const { return size_; }

    // Starts timing the next read.
    void Start() { QueryPerformanceCounter(&started_); }

    // The read that Start() timed has delivered `bytes`: adjusts the next piece.
    void Finished(DWORD bytes)
    {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        const double ms = 1000.0 * static_cast<double>(now.QuadPart - started_.QuadPart) /
                          static_cast<double>(frequency.QuadPart);
        if (ms > kSlowMs && size_ > kSmallest)
            size_ /= 2;
        else if (ms < kQuickMs && bytes == size_ && size_ < kLargest)
            size_ *= 2;
    }

private:
    static constexpr double kQuickMs = 50;
    static constexpr double kSlowMs = 250;

    DWORD size_ = kFirst;
    LARGE_INTEGER started_ = {};
};

// The bytes of one item that a transfer has in place, told to its progress sink.
#pragma once

#include "ProgressSink.h"
#include "ServerAccess.h"

class ByteProgress {
public:
    ByteProgress(ProgressSink& sink, ULONGLONG total) : sink_(sink), total_(total) {}

    void Add(ULONGLONG bytes) { consumed_ += bytes; }
    // Takes back bytes counted ahead (a file on disk that then had to be fetched).
    void TakeBack(ULONGLONG bytes) { consumed_ -= bytes < consumed_ ? bytes : consumed_; }

    // Tells the sink now.
    void Report()
    {
        lastReport_ = GetTickCount();
        sink_.BytesDone(consumed_, total_);
    }

    // Tells the sink when the last report is old enough: between chunk boundaries the
    // bar moves a few times a second however small the network pieces are.
    void ReportIfDue()
    {
        if (GetTickCount() - lastReport_ >= kProgressIntervalMs)
            Report();
    }

private:
    ProgressSink& sink_;
    ULONGLONG total_;
    ULONGLONG consumed_ = 0;
    DWORD lastReport_ = 0;
};

// What a job and its transfers tell whoever shows their progress.
#pragma once

#include <windows.h>

// Called on the thread that runs the job, in this order: JobStarted once, then for each
// item ItemStarted, BytesDone and WaitingForLink as they come, and ItemDone when it is
// complete. A transfer run on its own reports only BytesDone and WaitingForLink.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // The job has `items` items.
    virtual void JobStarted(int items) = 0;
    // The next item, named `caption`.
    virtual void ItemStarted(const char* caption) = 0;
    // `done` of the current item's `total` bytes are in place (kept files count too).
    // `total` changes only when the item starts over with another version.
    virtual void BytesDone(ULONGLONG done, ULONGLONG total) = 0;
    // The link is down and the next try comes in `secondsLeft` seconds; 0 once data
    // flows again or the transfer has given up. A cancelled wait is not ended.
    virtual void WaitingForLink(int secondsLeft) = 0;
    virtual void ItemDone() = 0;
};

// For transfers whose progress nobody shows.
class NoProgress : public ProgressSink {
public:
    void JobStarted(int) override {}
    void ItemStarted(const char*) override {}
    void BytesDone(ULONGLONG, ULONGLONG) override {}
    void WaitingForLink(int) override {}
    void ItemDone() override {}
};

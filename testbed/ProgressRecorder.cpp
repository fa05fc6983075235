#include "ProgressRecorder.h"

void ProgressRecorder::JobStarted(int items)
{
    items_ = items;
    overall_.push_back(0);
}

void ProgressRecorder::ItemStarted(const char* caption)
{
    captions_.push_back(caption);
}

void ProgressRecorder::BytesDone(ULONGLONG done, ULONGLONG total)
{
    bytes_.push_back({done, total});
    if (onBytes)
        onBytes(bytes_.back());
}

void ProgressRecorder::WaitingForLink(int secondsLeft)
{
    waits_.push_back(secondsLeft);
}

void ProgressRecorder::ItemDone()
{
    overall_.push_back(overall_.empty() ? 1 : overall_.back() + 1);
}

std::vector<ULONGLONG> ProgressRecorder::Done() const
{
    std::vector<ULONGLONG> done;
    for (const Bytes& bytes : bytes_)
        done.push_back(bytes.done);
    return done;
}

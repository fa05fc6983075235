// A progress sink that records what a job or a transfer tells it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ProgressSink.h"

class ProgressRecorder : public ProgressSink {
public:
    struct Bytes {
        ULONGLONG done;
        ULONGLONG total;
        bool operator==(const Bytes& other) const { return done == other.done && total == other.total; }
    };

    void JobStarted(int items) override;
    void ItemStarted(const char* caption) override;
    void BytesDone(ULONGLONG done, ULONGLONG total) override;
    void WaitingForLink(int secondsLeft) override;
    void ItemDone() override;

    // Every BytesDone, in order.
    const std::vector<Bytes>& AllBytes() const { return bytes_; }
    // Only the counts done, in order.
    std::vector<ULONGLONG> Done() const;
    // The caption of each item, in order.
    const std::vector<std::string>& Captions() const { return captions_; }
    // The items JobStarted announced (-1 before), and the items done after it: 0, 1, ...
    int Items() const { return items_; }
    const std::vector<int>& Overall() const { return overall_; }
    // Each WaitingForLink's seconds, in order.
    const std::vector<int>& Waits() const { return waits_; }

    // Called on the reporting thread for each BytesDone, after it is recorded.
    std::function<void(const Bytes&)> onBytes;

private:
    std::vector<Bytes> bytes_;
    std::vector<std::string> captions_;
    int items_ = -1;
    std::vector<int> overall_;
    std::vector<int> waits_;
};

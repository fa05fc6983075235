// The caption a transfer shows while it waits to reach the server again, and how the
// dialog tells it from an item's own caption.
#pragma once

#include <cstring>

// %d: the seconds left before the next try.
const char kRetryNoticeFormat[] = "Нет связи с сервером, повтор через %d с";

inline bool IsRetryNotice(const char* caption)
{
    const size_t fixedLength = strchr(kRetryNoticeFormat, '%') - kRetryNoticeFormat;
    return caption && strncmp(caption, kRetryNoticeFormat, fixedLength) == 0;
}

// The texts the dialog and its worker show to the user (Windows-1251 in the program).
#pragma once

#include <cstring>

// The one box for any failed download: the catalogue fetch or a job.
const char kDownloadErrorText[] = "При получении обновления произошла ошибка";

// The item caption while a transfer waits for the link; %d is the seconds left.
const char kRetryNoticeFormat[] = "Нет связи с сервером, повтор через %d с";

// Whether a caption is that notice rather than an item's own text.
inline bool IsRetryNotice(const char* caption)
{
    const size_t fixedLength = strchr(kRetryNoticeFormat, '%') - kRetryNoticeFormat;
    return caption && strncmp(caption, kRetryNoticeFormat, fixedLength) == 0;
}

// The texts the dialog and its worker show to the user (Windows-1251 in the program).
#pragma once

// The one box for any failed download: the catalogue fetch or a job.
const char kDownloadErrorText[] = "При получении обновления произошла ошибка";

// Over the overall bar while a job runs.
const char kOverallCaptionText[] = "Общий ход";

// The item caption while a transfer waits for the link; %d is the seconds left.
const char kRetryNoticeFormat[] = "Нет связи с сервером, повтор через %d с";

// The texts the dialog and its worker show to the user (Windows-1251 in the program).
#pragma once

// The one box for any failed download: the catalogue fetch or a job.
const char kDownloadErrorText[] = "При получении обновления произошла ошибка";

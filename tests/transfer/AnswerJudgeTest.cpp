// Every answer the update server may give, and what the transfer does next: a table.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <string>

#include "AnswerJudge.h"
#include "VolumeTimes.h"

namespace {

const HttpRules kRules = {0, ~0ull, false, nullptr, false, false};
// A pack's: its own bytes name its version.
const HttpRules kPackRules = {0, ~0ull, false, nullptr, false, true};
const char kTag[] = "\"v1\"";
const char kDate[] = "Tue, 01 Dec 2026 10:00:00 GMT";

// A request for the rest of a 1000-byte resource from byte 400, under its ETag.
Asked Resumed(const char* ifRange = kTag, ULONGLONG offset = 400, ULONGLONG end = kToTheEnd)
{
    return Asked{offset, end, true, ifRange, 1000, kTag, kDate, nullptr};
}

FILETIME At(WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME parts = {2026, 12, 2, 1, hour, minute, second, 0};
    FILETIME time = {};
    SystemTimeToFileTime(&parts, &time);
    return time;
}

// A file of 1000 bytes on disk, dated kDate, ending in 'z'.
const HeldCopy kCopy = {1000, 'z', At(10, 0, 0), VolumeTimes::kExact};

Answer Status(DWORD status, ULONGLONG length, const char* contentRange = "", const char* etag = kTag,
              const char* date = kDate)
{
    return Answer{0, status, true, length, false, contentRange, "", etag, date};
}

struct Row {
    const char* what;
    Asked asked;
    Answer answer;
    Next next;
    ULONGLONG first;
    ULONGLONG skip;
    bool newVersion;
};

std::string Name(Next next)
{
    switch (next) {
    case Next::kUse:
        return "use";
    case Next::kComplete:
        return "complete";
    case Next::kStartOver:
        return "start over";
    case Next::kRetry:
        return "retry";
    case Next::kGiveUp:
        return "give up";
    }
    return "?";
}

}  // namespace

TEST(AnswerJudge, EveryAnswerHasOneVerdict)
{
    const Asked first = {0, kToTheEnd, false, "", kUnknownLength, "", "", nullptr};
    // Its last byte onward, without If-Range.
    const Asked proof = {999, kToTheEnd, true, "", kUnknownLength, "", "", &kCopy};
    // The first 300 bytes of a resource of which nothing is held: any version will do.
    const Asked firstPart = {0, 300, true, "", kUnknownLength, "", "", nullptr};
    Answer chunked206 = Status(206, 0, "bytes 400-999/1000");
    chunked206.chunked = true;
    chunked206.hasLength = false;
    Answer chunked200 = Status(200, 0);
    chunked200.chunked = true;
    chunked200.hasLength = false;
    Answer noLength = Status(200, 0);
    noLength.hasLength = false;
    const Row rows[] = {
        {"a first answer", first, Status(200, 1000), Next::kUse, 0, 0, false},
        {"a first answer without a length", first, noLength, Next::kGiveUp, 0, 0, false},
        {"a chunked first answer", first, chunked200, Next::kGiveUp, 0, 0, false},
        {"a 404", first, Status(404, 10), Next::kGiveUp, 0, 0, false},
        {"the first part", firstPart, Status(206, 300, "bytes 0-299/1000"), Next::kUse, 0, 0, false},
        {"the first part, whole (no ranges)", firstPart, Status(200, 1000), Next::kUse, 0, 0, false},
        {"more than the first part", firstPart, Status(206, 1000, "bytes 0-999/1000"), Next::kStartOver, 0, 0,
         false},
        {"a 500", first, Status(500, 10), Next::kGiveUp, 0, 0, false},
        {"a busy server", first, Status(503, 10), Next::kRetry, 0, 0, false},
        {"a connection closed before any answer", Resumed(), Status(0, 0, "", "", ""), Next::kRetry, 0, 0, false},
        {"a gateway that timed out", Resumed(), Status(504, 10), Next::kRetry, 0, 0, false},
        {"the rest, as asked", Resumed(), Status(206, 600, "bytes 400-999/1000"), Next::kUse, 400, 0, false},
        {"the rest, dated as asked", Resumed(kDate), Status(206, 600, "bytes 400-999/1000", "\"other\""),
         Next::kUse, 400, 0, false},
        {"a range of another ETag", Resumed(), Status(206, 600, "bytes 400-999/1000", "\"v2\""), Next::kStartOver,
         0, 0, false},
        {"a range of another date", Resumed(kDate), Status(206, 600, "bytes 400-999/1000", kTag, "Wed"),
         Next::kStartOver, 0, 0, false},
        {"a range without validators", Resumed(), Status(206, 600, "bytes 400-999/1000", "", ""), Next::kStartOver,
         0, 0, false},
        {"a range starting elsewhere", Resumed(), Status(206, 700, "bytes 300-999/1000"), Next::kStartOver, 0, 0,
         false},
        {"a range of another total", Resumed(), Status(206, 600, "bytes 400-999/1200"), Next::kStartOver, 0, 0,
         false},
        {"a range whose length disagrees", Resumed(), Status(206, 500, "bytes 400-999/1000"), Next::kStartOver, 0,
         0, false},
        {"a range without Content-Range", Resumed(), Status(206, 600, ""), Next::kStartOver, 0, 0, false},
        {"a chunked range", Resumed(), chunked206, Next::kStartOver, 0, 0, false},
        {"the bounded range asked for", Resumed(kTag, 400, 700), Status(206, 300, "bytes 400-699/1000"), Next::kUse,
         400, 0, false},
        {"more than the bounded range", Resumed(kTag, 400, 700), Status(206, 600, "bytes 400-999/1000"),
         Next::kStartOver, 0, 0, false},
        {"the same version whole", Resumed(), Status(200, 1000), Next::kUse, 0, 400, false},
        {"another version whole", Resumed(), Status(200, 1200, "", "\"v2\""), Next::kUse, 0, 0, true},
        {"the same ETag, another length", Resumed(), Status(200, 1200), Next::kUse, 0, 0, true},
        {"a whole answer without validators", Resumed(), Status(200, 1000, "", "", ""), Next::kUse, 0, 0, true},
        {"a chunked whole answer to a range", Resumed(), chunked200, Next::kGiveUp, 0, 0, false},
        {"a 416 to a range inside the resource", Resumed(), Status(416, 0, "bytes */1000"), Next::kStartOver, 0, 0,
         false},
        {"a complete file", proof, Status(206, 1, "bytes 999-999/1000", kTag), Next::kComplete, 999, 1000, false},
        {"a complete file dated 1 s later, on NTFS", proof, Status(206, 1, "bytes 999-999/1000", kTag,
         "Tue, 01 Dec 2026 10:00:01 GMT"), Next::kStartOver, 0, 0, false},
        {"a short file", proof, Status(206, 501, "bytes 999-1499/1500", ""), Next::kUse, 999, 1000, false},
        {"a file of another date", proof, Status(206, 1, "bytes 999-999/1000", kTag, "Wed, 02 Dec 2026 10:00:00 GMT"),
         Next::kStartOver, 0, 0, false},
        {"a file whose server sends no date", proof, Status(206, 1, "bytes 999-999/1000", kTag, ""),
         Next::kStartOver, 0, 0, false},
        {"a file now shorter on the server (nginx)", proof, Status(416, 0, "bytes */800", "", ""), Next::kStartOver,
         0, 0, false},
        {"a file now shorter, 416 chunked (Apache)", proof, [] {
             Answer answer = Status(416, 0, "", "", "");
             answer.chunked = true;
             answer.hasLength = false;
             return answer;
         }(),
         Next::kStartOver, 0, 0, false},
        {"a proof answered with another range", proof, Status(206, 1000, "bytes 0-999/1000"), Next::kStartOver, 0, 0,
         false},
        {"a complete file whose server sends the whole (no ranges)", proof, Status(200, 1000, "", "", kDate),
         Next::kComplete, 1000, 0, false},
        {"a short file whose server sends the whole", proof, Status(200, 1500, "", "", kDate), Next::kUse, 0, 1000,
         false},
        {"a file changed on the server, sent whole", proof, Status(200, 1500, "", "", "Wed, 02 Dec 2026 10:00:00 GMT"),
         Next::kUse, 0, 0, true},
        {"a file emptied on the server", proof, Status(200, 0, "", "", "Wed, 02 Dec 2026 10:00:00 GMT"), Next::kUse,
         0, 0, true},
        {"a file gone from the server", proof, Status(404, 10), Next::kGiveUp, 0, 0, false},
        {"a 304 to a range", Resumed(), Status(304, 0), Next::kGiveUp, 0, 0, false},
    };
    for (const Row& row : rows) {
        Verdict verdict = JudgeAnswer(kRules, Patience(), row.asked, row.answer, 0);
        EXPECT_EQ(Name(row.next), Name(verdict.next)) << row.what;
        if (verdict.next != row.next || (row.next != Next::kUse && row.next != Next::kComplete))
            continue;
        EXPECT_EQ(row.first, verdict.first) << row.what;
        EXPECT_EQ(row.skip, verdict.skip) << row.what;
        EXPECT_EQ(row.newVersion, verdict.newVersion) << row.what;
        // The byte read again before what follows is the copy's last, not to be written.
        EXPECT_EQ(row.asked.proof && row.skip > row.first, verdict.checksHeldByte) << row.what;
    }
}

TEST(AnswerJudge, ARangeEndsWhereItWasAskedToAndAWholeBodyAtItsLength)
{
    const Asked header = {0, 308, true, "", kUnknownLength, "", "", nullptr};
    EXPECT_EQ(308u, JudgeAnswer(kRules, Patience(), header, Status(206, 308, "bytes 0-307/5000"), 0).end);
    EXPECT_EQ(5000u, JudgeAnswer(kRules, Patience(), header, Status(200, 5000), 0).end);
    const Asked table = {308, 1444, true, kTag, 5000, kTag, kDate, nullptr};
    EXPECT_EQ(1444u, JudgeAnswer(kRules, Patience(), table, Status(206, 1136, "bytes 308-1443/5000"), 0).end);
}

TEST(AnswerJudge, TimesAreComparedAsTheVolumeKeepsThem)
{
    struct TimeRow {
        const char* what;
        FILETIME readBack;
        VolumeTimes volume;
        bool same;
    };
    const FILETIME given = At(10, 0, 1);
    const TimeRow rows[] = {
        {"exact", given, VolumeTimes::kExact, true},
        {"exact, on FAT", given, VolumeTimes::kFat, true},
        {"1 s earlier on FAT (an odd second)", At(10, 0, 0), VolumeTimes::kFat, true},
        {"1 s earlier on NTFS", At(10, 0, 0), VolumeTimes::kExact, false},
        {"3 s earlier on FAT", At(9, 59, 58), VolumeTimes::kFat, false},
        {"1 h later on FAT (daylight saving time)", At(11, 0, 1), VolumeTimes::kFat, true},
        {"1 h earlier and 1 s on FAT", At(9, 0, 0), VolumeTimes::kFat, true},
        {"1 h later on NTFS", At(11, 0, 1), VolumeTimes::kExact, false},
        {"2 h later on FAT", At(12, 0, 1), VolumeTimes::kFat, false},
    };
    for (const TimeRow& row : rows)
        EXPECT_EQ(row.same, TimeAsKept(row.readBack, given, row.volume)) << row.what;
    // The date of an answer against a copy of each volume.
    HeldCopy onFat = kCopy;
    onFat.volume = VolumeTimes::kFat;
    EXPECT_TRUE(DatesTheCopy("Tue, 01 Dec 2026 10:00:01 GMT", onFat));
    EXPECT_FALSE(DatesTheCopy("Tue, 01 Dec 2026 10:00:01 GMT", kCopy));
    EXPECT_FALSE(DatesTheCopy("", onFat));
}

TEST(AnswerJudge, WhatTheCallerDemandsIsFinal)
{
    const HttpRules catalogue = {0, 64 << 20, true, "text/xml", true, false};
    const Asked first = {0, kToTheEnd, false, "", kUnknownLength, "", "", nullptr};
    Answer xml = Status(200, 100);
    xml.contentType = "text/xml; charset=windows-1251";
    EXPECT_EQ(Next::kUse, JudgeAnswer(catalogue, Patience(), first, xml, 0).next);
    Answer html = xml;
    html.contentType = "text/html";
    EXPECT_EQ(Next::kGiveUp, JudgeAnswer(catalogue, Patience(), first, html, 0).next);
    Answer empty = xml;
    empty.contentLength = 0;
    EXPECT_EQ(Next::kGiveUp, JudgeAnswer(catalogue, Patience(), first, empty, 0).next);
    Answer huge = xml;
    huge.contentLength = (64 << 20) + 1;
    EXPECT_EQ(Next::kGiveUp, JudgeAnswer(catalogue, Patience(), first, huge, 0).next);
    // Another version after a drop must meet the same demands.
    const Asked resumed = {50, kToTheEnd, true, kTag, 100, kTag, "", nullptr};
    Answer changed = html;
    changed.etag = "\"v2\"";
    EXPECT_EQ(Next::kGiveUp, JudgeAnswer(catalogue, Patience(), resumed, changed, 0).next);
}

TEST(AnswerJudge, SecurityFailuresAreFinalAndAChannelErrorIsTriedAFewTimes)
{
    const Asked first = {0, kToTheEnd, false, "", kUnknownLength, "", "", nullptr};
    Answer failed = {};
    for (DWORD error : {ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERROR_INTERNET_SEC_CERT_CN_INVALID,
                        ERROR_INTERNET_INVALID_CA, ERROR_INTERNET_SEC_CERT_REVOKED,
                        ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR}) {
        failed.error = error;
        EXPECT_EQ(Next::kGiveUp, JudgeAnswer(kRules, Patience(), first, failed, 0).next) << error;
    }
    for (DWORD error : {ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_CONNECTION_RESET, ERROR_INTERNET_TIMEOUT,
                        ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_HTTP_INVALID_SERVER_RESPONSE}) {
        failed.error = error;
        EXPECT_EQ(Next::kRetry, JudgeAnswer(kRules, Patience(), first, failed, 5).next) << error;
    }
    failed.error = ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    EXPECT_EQ(Next::kRetry, JudgeAnswer(kRules, Patience(), first, failed, 0).next);
    EXPECT_EQ(Next::kRetry, JudgeAnswer(kRules, Patience(), first, failed, 1).next);
    EXPECT_EQ(Next::kGiveUp, JudgeAnswer(kRules, Patience(), first, failed, 2).next);
}

TEST(AnswerJudge, WaitsGrowToHalfAMinuteAndAnOutageIsRiddenOutForHalfAnHour)
{
    const HttpRules file = kRules;
    const HttpRules catalogue = {0, ~0ull, false, nullptr, true, false};
    const Patience patience;
    ULONGLONG outage = 0;
    std::string waits;
    for (int tries = 1;; ++tries) {
        DWORD waitMs = 0;
        if (!WaitBeforeTry(file, patience, tries, outage, true, &waitMs))
            break;
        if (tries <= 8)
            waits += std::to_string(waitMs / 1000) + " ";
        // Each try itself takes a while too.
        outage += waitMs + 500;
    }
    EXPECT_EQ("1 2 4 8 16 30 30 30 ", waits);
    EXPECT_GE(outage, 30 * 60 * 1000u);
    EXPECT_LT(outage, 31 * 60 * 1000u);
    // No wait reaches beyond the window.
    DWORD waitMs = 0;
    ASSERT_TRUE(WaitBeforeTry(file, patience, 20, 30 * 60 * 1000 - 5000, true, &waitMs));
    EXPECT_EQ(5000u, waitMs);

    // The catalogue before anything arrived: about 30 s, as a user without a network expects.
    outage = 0;
    int tries = 1;
    for (waitMs = 0; WaitBeforeTry(catalogue, patience, tries, outage, false, &waitMs); ++tries)
        outage += waitMs;
    EXPECT_EQ(6, tries);
    EXPECT_LE(outage, 31000u);
    // Once it has received something, it has the whole window.
    EXPECT_TRUE(WaitBeforeTry(catalogue, patience, 7, 60000, true, &waitMs));
    EXPECT_EQ(30000u, waitMs);
}

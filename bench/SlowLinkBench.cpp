// The server first: winsock2.h must come before windows.h.
#include "HttpTestServer.h"

#include "SlowLinkBench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CatalogText.h"
#include "PackWriter.h"
#include "TestFiles.h"
#include "ToolProcess.h"
#include "WindowDriver.h"
#include "resource.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const char kCatalogPath[] = "/ulvooffline/update/latest.xml";

struct Figures {
    double largestGapMs = 0;  // between two positions of the item bar while the pack arrives
    double yesToExitMs = -1;  // from Yes to the end of the process; -1: it did not end
};

// One run of the program: the "Креспа" kit (initial.pack only) into a fresh folder. The
// bar is watched for `watchMs` (or until the server stalls), then Cancel and "Да".
Figures RunOnce(const char* program, HttpTestServer& server, const std::string& folder, DWORD watchMs,
                bool untilStall)
{
    Figures figures;
    ToolProcess tool;
    WindowDriver driver(tool.Start(server.Url(kCatalogPath), program));
    if (!driver.Dialog())
        return figures;
    const int stallsBefore = server.StalledCount();
    driver.Click(IDC_KIT_KRESPA);
    driver.Type(IDC_TARGET_FOLDER, folder);
    driver.Click(IDOK);
    driver.WaitUntil([&] { return driver.Position(IDC_ITEM_PROGRESS) > 0; }, 30000);
    LRESULT last = driver.Position(IDC_ITEM_PROGRESS);
    Clock::time_point lastMove = Clock::now();
    Clock::time_point start = lastMove;
    while (untilStall ? server.StalledCount() == stallsBefore : MillisecondsSince(start) < watchMs) {
        LRESULT position = driver.Position(IDC_ITEM_PROGRESS);
        if (position != last) {
            figures.largestGapMs = std::max(figures.largestGapMs, MillisecondsSince(lastMove));
            last = position;
            lastMove = Clock::now();
        }
        Sleep(5);
    }
    if (untilStall)
        Sleep(300);  // the program is now blocked in a read that never returns
    driver.Click(IDCANCEL);
    if (driver.WaitForBox(10000) != "Прервать загрузку?")
        return figures;
    Clock::time_point yes = Clock::now();
    driver.Answer(IDYES);
    if (tool.WaitForExit(30000))
        figures.yesToExitMs = MillisecondsSince(yes);
    return figures;
}

// The time from Cancel on an idle dialog to the end of the process: what Wine itself
// takes to end a program that closes normally.
double IdleExitMs(const char* program, HttpTestServer& server)
{
    ToolProcess tool;
    WindowDriver driver(tool.Start(server.Url(kCatalogPath), program));
    if (!driver.Dialog())
        return -1;
    Clock::time_point cancel = Clock::now();
    driver.Click(IDCANCEL);
    return tool.WaitForExit(30000) ? MillisecondsSince(cancel) : -1;
}

std::string Summary(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    char text[128];
    if (values.empty() || values.front() < 0)
        return "did not end";
    snprintf(text, sizeof(text), "median %6.0f ms  (min %6.0f, max %6.0f)", values[values.size() / 2], values.front(),
             values.back());
    return text;
}

}  // namespace

void RunSlowLinkBench(const char* program, int rounds)
{
    TempDir temp;
    HttpTestServer server;
    server.Serve(kCatalogPath, HttpResponse::Ok(CatalogXml(server.Url("/base"), {}, {}), "text/xml"));
    PackLayout layout;
    layout.packName = "Bin";
    layout.files.push_back(PackFile("big.bin", GeneratedData(9, 16 << 20)));
    const std::string pack = BuildPack(layout);

    std::vector<double> idle;
    for (int round = 0; round < rounds; ++round)
        idle.push_back(IdleExitMs(program, server));
    printf("Cancel on the idle dialog to the end of the process: %s\n", Summary(idle).c_str());

    struct Link {
        const char* name;
        size_t bytesPerSecond;  // 0: full speed until the stall
    };
    const Link links[] = {{"1 MiB/s", 1 << 20}, {"128 KiB/s", 128 << 10}, {"stalled after 2 MiB", 0}};
    int run = 0;
    for (const Link& link : links) {
        HttpResponse response = link.bytesPerSecond ? HttpResponse::AtRate(pack, link.bytesPerSecond)
                                                    : HttpResponse::Ok(pack);
        if (!link.bytesPerSecond)
            response.stallAfterBytes = 2 << 20;
        server.Serve("/base/initial.pack", response);
        std::vector<double> gaps;
        std::vector<double> exits;
        for (int round = 0; round < rounds; ++round) {
            Figures figures = RunOnce(program, server, temp / ("run" + std::to_string(run++)), 4000,
                                      link.bytesPerSecond == 0);
            gaps.push_back(figures.largestGapMs);
            exits.push_back(figures.yesToExitMs);
        }
        printf("%-20s largest gap between two bar positions: %s (goal: at most 1000 ms)\n", link.name,
               link.bytesPerSecond ? Summary(gaps).c_str() : "(no flow)");
        printf("%-20s Yes (\"Da\") to the end of the process: %s (goal: at most %d ms)\n", link.name,
               Summary(exits).c_str(), link.bytesPerSecond ? 1000 : 2000);
    }
}

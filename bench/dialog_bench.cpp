// How the dialog answers while a 1 GiB kit downloads: the time until it is shown, and
// the latency of a repaint, of a message round trip and of the Cancel question.
#include "HttpTestServer.h"

#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "CatalogText.h"
#include "SlowLinkBench.h"
#include "TestCatalogUrl.h"
#include "DownloadDialog.h"
#include "PackWriter.h"
#include "TestFiles.h"
#include "WindowDriver.h"
#include "resource.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Stats {
    std::vector<double> samples;
    void Print(const char* what) const
    {
        std::vector<double> sorted = samples;
        std::sort(sorted.begin(), sorted.end());
        if (sorted.empty())
            return;
        printf("%-22s n=%3zu  median %6.1f ms  p95 %6.1f ms  max %6.1f ms  (goal: within 100 ms)\n", what,
               sorted.size(), sorted[sorted.size() / 2], sorted[sorted.size() * 95 / 100], sorted.back());
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // dialog_bench.exe [files] [tool_under_test.exe [rounds]]
    if (argc > 2) {
        RunSlowLinkBench(argv[2], argc > 3 ? atoi(argv[3]) : 3);
        printf("\n");
    }
    int fileCount = argc > 1 ? atoi(argv[1]) : 64;  // 16 MiB each: 1 GiB by default
    CoInitialize(NULL);
    TempDir temp;
    PackLayout layout;
    layout.packName = "Bin";
    for (int i = 0; i < fileCount; ++i) {
        PackedFile file = PackFile("f" + std::to_string(i) + ".bin", "");
        file.generatedSize = 16 << 20;
        file.seed = i;
        layout.files.push_back(file);
    }
    std::string packPath = temp / "initial.pack";
    printf("writing a pack of %d x 16 MiB ...\n", fileCount);
    if (!WritePackFile(packPath, layout))
        return 1;

    HttpTestServer server;
    HttpResponse pack;
    pack.bodyFile = packPath;
    server.Serve("/base/initial.pack", pack);
    server.Serve("/ulvooffline/update/latest.xml",
                 HttpResponse::Ok(CatalogXml(server.Url("/base"), {}, {}), "text/xml"));
    std::string url = server.Url("/ulvooffline/update/latest.xml");
    SetTestCatalogUrl(url.c_str());

    DownloadDialog dialog;
    Stats roundTrip, repaint, cancel;
    double shownMs = -1;
    bool finished = false;
    Clock::time_point start = Clock::now();
    std::thread driverThread([&] {
        WindowDriver waiter;
        waiter.SetPollInterval(1);
        waiter.WaitUntil([&] { return dialog.GetSafeHwnd() && IsWindowVisible(dialog.GetSafeHwnd()); }, 60000);
        shownMs = MillisecondsSince(start);
        WindowDriver driver(dialog.GetSafeHwnd());
        driver.SetPollInterval(1);
        driver.Click(IDC_KIT_KRESPA);
        driver.Type(IDC_TARGET_FOLDER, temp / "kit");
        driver.Click(IDOK);
        driver.WaitUntil([&] { return !driver.IsVisible(IDOK); }, 60000);
        Clock::time_point runStart = Clock::now();
        int round = 0;
        while (driver.Text(IDCANCEL) != "Закрыть") {
            Clock::time_point t = Clock::now();
            DWORD_PTR result;
            SendMessageTimeoutA(driver.Dialog(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            roundTrip.samples.push_back(MillisecondsSince(t));
            t = Clock::now();
            RedrawWindow(driver.Dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_ERASE);
            repaint.samples.push_back(MillisecondsSince(t));
            if (++round % 10 == 0) {
                t = Clock::now();
                PostMessageA(driver.Control(IDCANCEL), BM_CLICK, 0, 0);
                bool asked = !driver.WaitForBox(5000).empty();
                cancel.samples.push_back(MillisecondsSince(t));
                if (asked)
                    driver.Answer(IDNO);
            }
            Sleep(50);
        }
        printf("job ran %.1f s\n", MillisecondsSince(runStart) / 1000);
        finished = true;
        driver.Click(IDCANCEL);
    });
    dialog.DoModal();
    driverThread.join();
    SetTestCatalogUrl(nullptr);

    printf("dialog shown after      %6.1f ms (construction and DoModal to a visible window)\n", shownMs);
    roundTrip.Print("message round trip");
    repaint.Print("repaint of the dialog");
    cancel.Print("Cancel to its question");
    return finished ? 0 : 1;
}

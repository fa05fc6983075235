// Measures how long a large catalogue takes to parse, and how the time grows with its size.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "UpdateCatalog.h"
#include "XmlDocument.h"

namespace {

const int kSmallCount = 10000;
const int kLargeCount = 20000;
const int kFileCount = 1000;
const double kSmallGoalSeconds = 1.0;
const double kRatioGoal = 2.3;

// A catalogue shaped like the real one: Cyrillic names, access lists with blanks.
std::string CatalogueText(int databases, int files)
{
    static const char* const access[] = {"161, 160", "65", "", "164,163, 161", "160"};
    std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
                       "<latest base=\"https://updates.example/ulvooffline/update\">\r\n  <databases>\r\n";
    for (int i = 0; i < databases; ++i) {
        std::string n = std::to_string(i);
        text += "    <database name=\"Информационный банк " + n + "\" path=\"db/bank" + n + ".pack\"";
        if (i % 7 != 0)
            text += std::string(" access=\"") + access[i % 5] + "\"";
        text += "/>\r\n";
    }
    text += "  </databases>\r\n  <files>\r\n";
    for (int i = 0; i < files; ++i) {
        std::string n = std::to_string(i);
        text += "    <file name=\"Файл обновления " + n + "\" path=\"files/update" + n + ".dat\"/>\r\n";
    }
    return text + "  </files>\r\n</latest>\r\n";
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The document load alone, to tell the parser's share from the model building's.
double LoadSeconds(const std::string& text)
{
    IXMLDOMDocument* document = nullptr;
    auto start = std::chrono::steady_clock::now();
    HRESULT hr = LoadXmlDocument(text.c_str(), &document);
    double seconds = SecondsSince(start);
    if (document)
        document->Release();
    return FAILED(hr) ? -1 : seconds;
}

// StoreText and ParseCatalog as a fetch does them; -1 when the parse fails.
double ParseSeconds(const std::string& text, int expectedDatabases)
{
    UpdateCatalog catalog;
    char* buffer = new char[text.size() + 1];
    memcpy(buffer, text.c_str(), text.size() + 1);
    auto start = std::chrono::steady_clock::now();
    catalog.StoreText(buffer, static_cast<int>(text.size() + 1));
    HRESULT hr = catalog.ParseCatalog();
    double seconds = SecondsSince(start);
    bool complete = SUCCEEDED(hr) && catalog.databaseCount == expectedDatabases && catalog.fileCount == kFileCount;
    return complete ? seconds : -1;
}

struct Figures {
    double load = 1e9;
    double parse = 1e9;
};

// The best of a few runs: the machine is shared.
bool Measure(int databases, int runs, Figures* figures)
{
    std::string text = CatalogueText(databases, kFileCount);
    printf("%6d databases + %d files (%.1f MiB):", databases, kFileCount,
           static_cast<double>(text.size()) / (1024.0 * 1024.0));
    for (int run = 0; run < runs; ++run) {
        double load = LoadSeconds(text);
        double parse = ParseSeconds(text, databases);
        if (load < 0 || parse < 0) {
            printf(" parse failed\n");
            return false;
        }
        printf(" [load %.3f s, parse %.3f s]", load, parse);
        fflush(stdout);
        figures->load = std::min(figures->load, load);
        figures->parse = std::min(figures->parse, parse);
    }
    printf("\n");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 3;
    if (runs < 1) {
        fprintf(stderr, "usage: catalog_bench [runs]\n");
        return 2;
    }
    if (FAILED(CoInitialize(NULL)))
        return 1;

    // One small parse first, so that loading MSXML is not timed.
    ParseSeconds(CatalogueText(10, kFileCount), 10);

    Figures small, large;
    if (!Measure(kSmallCount, runs, &small) || !Measure(kLargeCount, runs, &large))
        return 1;

    double ratio = large.parse / small.parse;
    printf("\nbest of %d runs (StoreText + ParseCatalog; load = LoadXmlDocument alone):\n", runs);
    printf("  %d databases: parse %.3f s (load %.3f s)   goal: under %.1f s   %s\n", kSmallCount, small.parse,
           small.load, kSmallGoalSeconds, small.parse < kSmallGoalSeconds ? "met" : "NOT MET");
    printf("  %d databases: parse %.3f s (load %.3f s)\n", kLargeCount, large.parse, large.load);
    printf("  ratio %dk/%dk: %.2f (load alone %.2f)   goal: at most %.1f   %s\n", kLargeCount / 1000,
           kSmallCount / 1000, ratio, large.load / small.load, kRatioGoal, ratio <= kRatioGoal ? "met" : "NOT MET");
    return 0;
}

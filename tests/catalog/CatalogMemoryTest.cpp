// Loads and parses repeated many times must leave the process's private memory where it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "CatalogTestSupport.h"
#include "PrivateMemory.h"
#include "XmlDocument.h"

namespace {

std::string SampleCatalogue(bool broken)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<latest base=\"https://files.example/base\">\r\n"
                       "<files><file name=\"Установка\" path=\"setup.exe\"/></files>\r\n<databases>\r\n";
    for (int i = 0; i < 50; ++i) {
        std::string n = std::to_string(i);
        text += "  <database name=\"База " + n + "\" path=\"db/" + n + ".pack\" access=\"161, 160\"/>\r\n";
    }
    // A record without a path at the end: the parse fails with a full list built.
    if (broken)
        text += "  <database name=\"broken\"/>\r\n";
    return text + "</databases>\r\n</latest>\r\n";
}

// One round: a bare load with lookups, a parse that succeeds, and one that fails and leaves
// its partial model to the destructor.
void Round(const std::string& good, const std::string& broken)
{
    IXMLDOMDocument* document = nullptr;
    IXMLDOMNode* latest = nullptr;
    CString base;
    if (SUCCEEDED(LoadXmlDocument(good.c_str(), &document)) &&
        FindChildByName(document, "latest", &latest) == S_OK) {
        GetAttributeText(latest, "base", &base);
        latest->Release();
    }
    if (document)
        document->Release();

    UpdateCatalog parsed;
    ASSERT_EQ(S_OK, StoreAndParse(parsed, good));
    ASSERT_EQ(50, parsed.databaseCount);
    UpdateCatalog failed;
    ASSERT_EQ(E_FAIL, StoreAndParse(failed, broken));
    ASSERT_EQ(51, failed.databaseCount);
}

TEST(CatalogMemory, AThousandLoadsAndParsesLeavePrivateMemoryFlat)
{
    const std::string good = SampleCatalogue(false);
    const std::string broken = SampleCatalogue(true);
    // The first rounds load MSXML and fill its caches and the heaps.
    for (int i = 0; i < 100; ++i)
        ASSERT_NO_FATAL_FAILURE(Round(good, broken));

    const SIZE_T before = CommittedPrivateBytes();
    for (int i = 0; i < 1000; ++i)
        ASSERT_NO_FATAL_FAILURE(Round(good, broken));
    const SIZE_T after = CommittedPrivateBytes();

    const double growthMib = (static_cast<double>(after) - static_cast<double>(before)) / (1024.0 * 1024.0);
    printf("private memory: %.1f MiB before, %.1f MiB after 1000 rounds (growth %.2f MiB)\n",
           static_cast<double>(before) / (1024.0 * 1024.0), static_cast<double>(after) / (1024.0 * 1024.0),
           growthMib);
    ASSERT_GT(before, 0u) << "no private memory counted";
    EXPECT_LT(growthMib, 2.0);
}

}  // namespace

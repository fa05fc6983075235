#include "TestCatalogUrl.h"

#include <cstdlib>
#include <string>

#include "CatalogUrl.h"

namespace {

std::string testUrl;

}  // namespace

void SetTestCatalogUrl(const char* url)
{
    testUrl = url ? url : "";
}

const char* CatalogUrl()
{
    if (!testUrl.empty())
        return testUrl.c_str();
    const char* fromEnvironment = getenv("ZEB_TEST_CATALOG_URL");
    // Port 9 (discard) on loopback: nothing answers, so a fetch fails at once.
    return fromEnvironment ? fromEnvironment : "http://127.0.0.1:9/ulvooffline/update/latest.xml";
}

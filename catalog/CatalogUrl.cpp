#include "CatalogUrl.h"

#ifndef ZEB_CATALOG_URL
#error "ZEB_CATALOG_URL must be defined by the build"
#endif

namespace {
const char* overrideUrl = nullptr;
}

const char* CatalogUrl()
{
    return overrideUrl ? overrideUrl : ZEB_CATALOG_URL;
}

void SetCatalogUrlForTests(const char* url)
{
    overrideUrl = url;
}

#include "CatalogUrl.h"

#ifndef ZEB_CATALOG_URL
#error "ZEB_CATALOG_URL must be defined by the build"
#endif

const char* CatalogUrl()
{
    return ZEB_CATALOG_URL;
}

// Where the catalogue lives. The program links the URL fixed when it is built (CMake's
// CATALOG_URL, CatalogUrl.cpp); test programs link their own definition instead.
#pragma once

// The URL FetchCatalog requests.
const char* CatalogUrl();

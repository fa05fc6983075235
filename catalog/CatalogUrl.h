// Where the catalogue lives: fixed when the program is built (CMake's CATALOG_URL).
#pragma once

// The URL FetchCatalog requests.
const char* CatalogUrl();

// Points the fetch elsewhere; only tests use this, the program never does.
void SetCatalogUrlForTests(const char* url);

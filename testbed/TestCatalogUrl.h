// The catalogue URL of test programs, which link this instead of the built-in one.
#pragma once

// Points every later catalogue fetch of this process at `url` (null: back to the
// environment variable ZEB_TEST_CATALOG_URL, which a test sets for a program it starts).
void SetTestCatalogUrl(const char* url);

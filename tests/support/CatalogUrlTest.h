// The one fixture that points this process's catalogue fetches somewhere, for one test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "TestCatalogUrl.h"

class CatalogUrlTest : public ::testing::Test {
protected:
    // Every later fetch of this test asks `url`; after the test, the built-in default again.
    void UseCatalogUrl(const std::string& url)
    {
        catalogUrl = url;
        SetTestCatalogUrl(catalogUrl.c_str());
    }
    void TearDown() override { SetTestCatalogUrl(nullptr); }

    std::string catalogUrl;
};

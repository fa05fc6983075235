// COM for the test thread: the catalogue code runs where COM is already initialised.
#include <objbase.h>

#include <gtest/gtest.h>

namespace {

class ComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(NULL))); }
    void TearDown() override { CoUninitialize(); }
};

// Registered before gtest_main's RUN_ALL_TESTS runs.
::testing::Environment* const comEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace

// The fixtures in tests/data are reachable from native and Wine test programs alike.
#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"

TEST(TestSupport, FixtureFilesAreReadable) {
    FILE* f = std::fopen(FixturePath("dcl/aiai.plain").c_str(), "rb");
    ASSERT_NE(f, nullptr) << FixturePath("dcl/aiai.plain");
    char text[14] = {};
    EXPECT_EQ(std::fread(text, 1, 13, f), 13u);
    EXPECT_STREQ(text, "AIAIAIAIAIAIA");
    std::fclose(f);
}

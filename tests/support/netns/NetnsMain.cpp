// The main of every test program that netns-run starts: no test runs before
// the program has made sure that it is inside the test namespace.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/netns/TestNamespace.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string problem = vxtest::netns::checkTestNamespace();
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: refusing to run: %s\n", argv[0], problem.c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "support/ElfExports.h"

extern "C" int vxCtlHeaderC99Probe(void);

namespace {

const std::string kLibrary = "libVeltraxCTL.so";

TEST(LibraryInterface, ExportsOnlyItsVxCtlFunctions) {
    EXPECT_EQ(vxtest::exportedSymbols(vxtest::besideTestProgram(kLibrary)),
              (std::set<std::string>{"VX_CTL_GetFullVersionString"}));
}

TEST(LibraryInterface, LoadsByFileNameAndGivesItsVersion) {
    void* library = ::dlopen(vxtest::besideTestProgram(kLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    const auto version = reinterpret_cast<const char* (*)()>(::dlsym(library, "VX_CTL_GetFullVersionString"));
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version(), "1.1.44.63212");
    ::dlclose(library);
}

TEST(LibraryInterface, PublicHeaderIsPlainC99) {
    EXPECT_EQ(vxCtlHeaderC99Probe(), 0x10 + 0x06 + 0x0E + 0x12);
}

}  // namespace

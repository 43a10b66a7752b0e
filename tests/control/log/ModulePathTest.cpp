#include "LogTestSupport.h"
#include "platform/ModulePath.h"

namespace {

using namespace logtest;
namespace fs = std::filesystem;

const int localAnchor = 0;

TEST(ModulePath, ExecutableFolderIsWhereThisProgramLies) {
    const auto exe = fs::canonical("/proc/self/exe");
    EXPECT_EQ(vxplatform::executableDirectory(), exe.parent_path().string());
    EXPECT_EQ(vxplatform::modulePath(&localAnchor), exe.string());
}

TEST(ModulePath, AddressesOutsideAnyFileGiveNothing) {
    int onStack = 0;
    EXPECT_EQ(vxplatform::modulePath(&onStack), "");
    EXPECT_EQ(vxplatform::moduleDirectory(&onStack), "");
}

TEST(ModulePath, DirectoryAndJoin) {
    EXPECT_EQ(vxplatform::directoryOf("/a/b/c.so"), "/a/b");
    EXPECT_EQ(vxplatform::directoryOf("/c.so"), "/");
    EXPECT_EQ(vxplatform::directoryOf("c.so"), "");
    EXPECT_EQ(vxplatform::joinPath("/a/b", "x.ini"), "/a/b/x.ini");
    EXPECT_EQ(vxplatform::joinPath("/a/b/", "x.ini"), "/a/b/x.ini");
}

}  // namespace

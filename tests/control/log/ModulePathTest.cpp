#include <dlfcn.h>

#include "LogTestSupport.h"
#include "VeltraxIO.h"
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

TEST(ModulePath, SharedLibraryFolderComesFromTheLoadedFile) {
    // The controller API tests link the device I/O library as a shared one.
    const auto ioFolder = vxplatform::moduleDirectory(reinterpret_cast<const void*>(&VX_IO_Open));
    EXPECT_TRUE(fs::exists(fs::path(ioFolder) / "libVeltraxIO.so")) << ioFolder;

    TempDir dir;
    const std::string copy = dir.file("libcopy.so");
    fs::copy_file(fs::path(ioFolder) / "libVeltraxIO.so", copy);
    void* handle = ::dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    void* symbol = ::dlsym(handle, "VX_IO_Open");
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(vxplatform::moduleDirectory(symbol), dir.path());
    EXPECT_EQ(vxplatform::modulePath(symbol), copy);
    ::dlclose(handle);
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

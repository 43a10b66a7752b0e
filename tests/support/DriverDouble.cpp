#include <dlfcn.h>

#include <filesystem>
#include <string>

// A test program started by hand from the build tree has no library path.
// The I/O library looks for the FTDI driver only there and keeps a failed
// load for the life of the process, so USB tests would fail once another
// test had touched USB first. Loaded here from beside this program, the
// library's load by name finds the double already in the process.
namespace {
[[maybe_unused]] const bool kDriverDoubleLoaded = [] {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) return false;
    for (const char* name : {"libftd2xx.so", "libFTChipID.so"}) {
        const std::string path = (folder / name).string();
        dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    }
    return true;
}();
}  // namespace

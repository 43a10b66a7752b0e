// vxsim-fwimage: writes a firmware file that the simulated bootloader takes.
//
//   vxsim-fwimage [--kind N] [--version LINE.MAJOR.MINOR.BUILD] [--variant N]
//                 [--frames N] [--frame-bytes N] [--seed N] FILE
//
// A FILE ending in ".fw6" carries the hardware variant in its header.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Text.h"
#include "sim/BootImage.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: vxsim-fwimage [--kind N] [--version LINE.MAJOR.MINOR.BUILD] "
                 "[--variant N] [--frames N] [--frame-bytes N] [--seed N] FILE\n");
}

bool number(const std::string& text, unsigned long max, unsigned long* value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long parsed = std::strtoul(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed > max) return false;
    *value = parsed;
    return true;
}

// LINE.MAJOR.MINOR.BUILD: line 0-31 and major 0-7 share the first version byte.
bool version(const std::string& text, vxsim::BootImageRecipe* recipe) {
    const std::vector<std::string> parts = vxplatform::splitText(text, ".");
    constexpr unsigned long kMax[] = {31, 7, 255, 65535};
    unsigned long values[4] = {};
    if (parts.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i)
        if (!number(parts[i], kMax[i], &values[i])) return false;
    recipe->version1 = static_cast<uint8_t>(values[0] << 3 | values[1]);
    recipe->version2 = static_cast<uint8_t>(values[2]);
    recipe->version3 = static_cast<uint16_t>(values[3]);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    vxsim::BootImageRecipe recipe;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option.rfind("--", 0) != 0 && path.empty()) {
            path = option;
            continue;
        }
        unsigned long n = 0;
        const bool hasValue = i + 1 < argc;
        const std::string value = hasValue ? argv[++i] : "";
        bool ok = false;
        if (option == "--version") {
            ok = version(value, &recipe);
        } else if (option == "--kind" && number(value, 30, &n)) {
            recipe.kindIndex = static_cast<uint8_t>(n);
            ok = true;
        } else if (option == "--variant" && number(value, 255, &n)) {
            recipe.variant = static_cast<uint8_t>(n);
            ok = true;
        } else if (option == "--frames" && number(value, 65535, &n)) {
            recipe.dataFrames = static_cast<uint16_t>(n);
            ok = true;
        } else if (option == "--frame-bytes" && number(value, 1024, &n)) {
            recipe.frameContent = n;
            ok = true;
        } else if (option == "--seed" && number(value, 0xFFFFFFFFul, &n)) {
            recipe.seed = static_cast<uint32_t>(n);
            ok = true;
        }
        if (!ok) {
            usage();
            return 2;
        }
    }
    if (path.empty()) {
        usage();
        return 2;
    }
    if (!vxsim::writeBootImageFile(path, recipe)) {
        std::fprintf(stderr, "vxsim-fwimage: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

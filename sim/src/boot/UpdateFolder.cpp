#include "sim/UpdateFolder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace vxsim {

std::vector<UpdateFile> newerFirmware(const std::vector<BootModule>& modules, uint16_t frames,
                                      size_t frameContent) {
    std::vector<UpdateFile> files;
    for (const BootModule& module : modules) {
        const uint8_t kind = bootKindIndex(module.word);
        auto same = std::find_if(files.begin(), files.end(),
                                 [&](const UpdateFile& file) { return file.recipe.kindIndex == kind; });
        if (same == files.end()) {
            BootImageRecipe recipe;
            recipe.kindIndex = kind;
            recipe.variant = module.variant.value_or(bootimage::kAnyVariant);
            recipe.version1 = module.version1;
            recipe.version2 = 0;
            recipe.version3 = 1;
            recipe.dataFrames = frames;
            recipe.frameContent = frameContent;
            recipe.seed = kind;
            files.push_back({"kind" + std::to_string(kind) + ".fw6", recipe});
            same = files.end() - 1;
        }
        // Newer than every module of its kind, within the same line and major version.
        BootImageRecipe& recipe = same->recipe;
        if (module.version1 == recipe.version1 && module.version2 >= recipe.version2)
            recipe.version2 = static_cast<uint8_t>(std::min(module.version2 + 1, 255));
    }
    return files;
}

std::string writeUpdateFolder(const std::string& folder, const std::vector<UpdateFile>& files) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) return folder + ": " + error.message();
    std::string list = "<!DOCTYPE VXFirmwareUpdateConfiguration>\n<VXFirmwareUpdateConfiguration>\n";
    for (const UpdateFile& file : files) {
        const std::string path = (fs::path(folder) / file.name).string();
        if (!writeBootImageFile(path, file.recipe)) return path + ": cannot be written";
        list += "<file name=\"" + file.name + "\"/>\n";
    }
    list += "</VXFirmwareUpdateConfiguration>\n";
    const std::string path = (fs::path(folder) / "update.xml").string();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << list;
    out.close();
    if (!out) return path + ": cannot be written";
    return {};
}

}  // namespace vxsim

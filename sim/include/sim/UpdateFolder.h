#pragma once

#include <string>
#include <vector>

#include "sim/BootImage.h"
#include "sim/Bootloader.h"

namespace vxsim {

// One firmware file of an update folder and the recipe it was written from.
struct UpdateFile {
    std::string name;
    BootImageRecipe recipe;
};

// The firmware files that bring `modules` to a newer version: one per
// module kind, for the first module's hardware variant, the minor version
// one above the highest of that kind (the build reset to 1). `frames` data
// frames of `frameContent` bytes each.
std::vector<UpdateFile> newerFirmware(const std::vector<BootModule>& modules, uint16_t frames = 4,
                                      size_t frameContent = 48);

// Writes each file into `folder` (made if needed) and "update.xml" naming
// them in order; gives what went wrong, empty on success.
std::string writeUpdateFolder(const std::string& folder, const std::vector<UpdateFile>& files);

}  // namespace vxsim

#pragma once

// What a built shared library lets other modules bind to, read from its
// file: the names its dynamic symbol table defines.

#include <elf.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace vxtest {

// `fileName` in the folder of the running test program, where the build
// puts the libraries.
inline std::string besideTestProgram(const std::string& fileName) {
    char self[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return std::string();
    std::string path(self, static_cast<size_t>(length));
    return path.substr(0, path.rfind('/')) + "/" + fileName;
}

// Names of the symbols a 64-bit ELF shared object defines in its dynamic
// symbol table, i.e. what other modules can bind to.
inline std::set<std::string> exportedSymbols(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> image((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr)) return names;
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64) {
        return names;
    }
    auto section = [&](size_t index) {
        Elf64_Shdr shdr;
        std::memcpy(&shdr, image.data() + header.e_shoff + index * header.e_shentsize, sizeof shdr);
        return shdr;
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr dynsym = section(i);
        if (dynsym.sh_type != SHT_DYNSYM) continue;
        const Elf64_Shdr strings = section(dynsym.sh_link);
        for (size_t offset = 0; offset + sizeof(Elf64_Sym) <= dynsym.sh_size;
             offset += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, image.data() + dynsym.sh_offset + offset, sizeof symbol);
            const int binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || symbol.st_name == 0) continue;
            if (binding == STB_LOCAL) continue;
            names.insert(image.data() + strings.sh_offset + symbol.st_name);
        }
    }
    return names;
}

}  // namespace vxtest

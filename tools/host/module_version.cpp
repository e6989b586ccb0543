// module_version.cpp - the version a filter module carries, read without
// loading it: a module that is not the filter need not be run to be named.
#include "tools/host/module_version.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

std::string module_version(const std::string &path)
{
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return "";
    std::vector<char> data(size);
    char *name = nullptr, *version = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\ProductName", (void **)&name, &length) ||
        !VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\ProductVersion", (void **)&version, &length))
        return "";
    return std::string(name) + " " + version;
}

#else
#include <elf.h>

// section_text - the NUL-ended text at the start of the section named name
// in an ELF file of class Ehdr/Shdr; "" when there is none.
template <class Ehdr, class Shdr> static std::string section_text(const std::vector<char> &file, const char *name)
{
    Ehdr h;
    if (file.size() < sizeof h)
        return "";
    memcpy(&h, file.data(), sizeof h);
    auto header = [&](size_t i, Shdr *s) {
        size_t at = (size_t)h.e_shoff + i * sizeof(Shdr);
        if (h.e_shentsize != sizeof(Shdr) || at + sizeof(Shdr) > file.size())
            return false;
        memcpy(s, file.data() + at, sizeof(Shdr));
        return true;
    };
    Shdr names, s;
    if (!header(h.e_shstrndx, &names))
        return "";
    for (size_t i = 0; i < h.e_shnum && header(i, &s); i++) {
        size_t at = (size_t)names.sh_offset + s.sh_name;
        if (at >= file.size() || strncmp(file.data() + at, name, file.size() - at) != 0)
            continue;
        if ((size_t)s.sh_offset + s.sh_size > file.size())
            return "";
        std::string text(file.data() + s.sh_offset, (size_t)s.sh_size);
        return text.substr(0, text.find('\0'));
    }
    return "";
}

std::string module_version(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < EI_NIDENT || memcmp(file.data(), ELFMAG, SELFMAG) != 0)
        return "";
    if (file[EI_CLASS] == ELFCLASS64)
        return section_text<Elf64_Ehdr, Elf64_Shdr>(file, ".filter_version");
    return section_text<Elf32_Ehdr, Elf32_Shdr>(file, ".filter_version");
}

#endif

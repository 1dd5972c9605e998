#include "LocalDebugInfo.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <elfutils/libdwelf.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

// libdw's standard look-ups (dwfl_standard_find_debuginfo, dwfl_build_id_find_elf) end, when a file
// is not found locally, in the debuginfod client, which asks every server in DEBUGINFOD_URLS in turn
// and waits for each. The look-ups here are made of the local parts only.

namespace {

constexpr std::string_view kDeletedNote = " (deleted)";

// The module userdata that marks the program's own executable.
char gOwnExecutable;

// Where the system keeps debug files under the path of the file they belong to.
constexpr std::string_view kDebugDirectory = "/usr/lib/debug";

std::string OwnExecutablePath()
{
    char path[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path);
    return size > 0 ? std::string(WithoutDeletedNote(std::string_view(path, static_cast<std::size_t>(size))))
                    : std::string();
}

int FindElf(Dwfl_Module* module, void** userData, const char* name, Dwarf_Addr base, char** fileName,
            Elf** elf)
{
    if (*userData == &gOwnExecutable) {
        const int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            *fileName = strdup(name);
            return fd;
        }
    }
    // Opens the mapped file by its path, or reads a module without one (the vDSO) from memory;
    // nothing else.
    return dwfl_linux_proc_find_elf(module, userData, name, base, fileName, elf);
}

bool SameBuildId(int fd, const unsigned char* bits, int size)
{
    Elf* elf = elf_begin(fd, ELF_C_READ_MMAP, nullptr);
    if (!elf)
        return false;
    const void* id = nullptr;
    const ssize_t idSize = dwelf_elf_gnu_build_id(elf, &id);
    const bool same = idSize == size && std::memcmp(id, bits, static_cast<std::size_t>(size)) == 0;
    elf_end(elf);
    return same;
}

int FindDebugInfo(Dwfl_Module* module, void** userData, const char* name, Dwarf_Addr base,
                  const char* fileName, const char* debugLink, GElf_Word crc, char** debugFileName)
{
    // /usr/lib/debug/.build-id/xx/yyyy.debug, where the system's debug packages put them.
    const int byId = dwfl_build_id_find_debuginfo(module, userData, name, base, fileName, debugLink, crc,
                                                  debugFileName);
    if (byId >= 0 || !fileName || !debugLink || !*debugLink)
        return byId;
    // The debug link's file beside the module, in .debug beside it, or under the debug directory.
    // Only a file of the same build-id will do: a debug file of another build names wrong lines.
    const unsigned char* bits = nullptr;
    GElf_Addr where = 0;
    const int size = dwfl_module_build_id(module, &bits, &where);
    if (size <= 0)
        return -1;
    const std::string_view file = WithoutDeletedNote(fileName);
    const std::string directory(file.substr(0, file.rfind('/') == std::string_view::npos ? 0 : file.rfind('/')));
    const std::string candidates[] = {
        directory + '/' + debugLink,
        directory + "/.debug/" + debugLink,
        std::string(kDebugDirectory) + directory + '/' + debugLink,
    };
    for (const std::string& candidate : candidates) {
        if (candidate == file)
            continue;
        const int fd = open(candidate.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (SameBuildId(fd, bits, size)) {
            *debugFileName = strdup(candidate.c_str());
            return fd;
        }
        close(fd);
    }
    return -1;
}

} // namespace

const Dwfl_Callbacks& LocalDebugInfoCallbacks()
{
    static char* debugInfoPath = nullptr;
    static const Dwfl_Callbacks callbacks = {
        .find_elf = FindElf,
        .find_debuginfo = FindDebugInfo,
        .section_address = nullptr,
        .debuginfo_path = &debugInfoPath,
    };
    elf_version(EV_CURRENT);
    return callbacks;
}

void MarkOwnExecutable(Dwfl* dwfl, std::uintptr_t anchor)
{
    Dwfl_Module* module = dwfl && anchor ? dwfl_addrmodule(dwfl, anchor) : nullptr;
    if (!module)
        return;
    void** userData = nullptr;
    const char* name = dwfl_module_info(module, &userData, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr);
    const std::string own = OwnExecutablePath();
    if (name && userData && !own.empty() && WithoutDeletedNote(name) == own)
        *userData = &gOwnExecutable;
}

std::string_view WithoutDeletedNote(std::string_view path)
{
    if (path.ends_with(kDeletedNote))
        path.remove_suffix(kDeletedNote.size());
    return path;
}

#include "platform/sim/runtime/library_search.h"

#include "platform/sim/runtime/drive_path.h"
#include "platform/sim/windows_choices.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace winsim {
namespace {

#if defined(__x86_64__)
constexpr Elf64_Half kHostMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr Elf64_Half kHostMachine = EM_AARCH64;
#else
#error "the machine type of shared libraries on this architecture is not known"
#endif

constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL;

// Where to look for a library and under which file name.
struct LibraryLookup {
    std::vector<std::string> folders;
    std::string fileName;
    bool alsoSystemSearch;
};

bool isRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// A 64-bit shared object for this machine; anything else is not an image this process can load.
bool isLoadableImage(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd == -1) {
        return false;
    }
    Elf64_Ehdr header{};
    const bool complete = ::read(fd, &header, sizeof header) == static_cast<ssize_t>(sizeof header);
    ::close(fd);
    return complete && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_type == ET_DYN &&
           header.e_machine == kHostMachine;
}

OpenedLibrary openLibraryFile(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), kOpenFlags);
    if (handle != nullptr) {
        return {handle, ERROR_SUCCESS};
    }
    const char* reason = ::dlerror();
    if (!isLoadableImage(path)) {
        return {nullptr, ERROR_BAD_EXE_FORMAT};
    }
    // The dynamic loader tells a missing imported symbol from a missing dependency only in its
    // message; Windows reports the two with different errors.
    if (reason != nullptr && std::strstr(reason, "undefined symbol") != nullptr) {
        return {nullptr, ERROR_PROC_NOT_FOUND};
    }
    return {nullptr, ERROR_MOD_NOT_FOUND};
}

const std::string& executableFolder() {
    static const std::string folder = [] {
        char path[PATH_MAX];
        const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
        if (length <= 0 || length == static_cast<ssize_t>(sizeof path)) {
            return std::string();
        }
        const std::string executable(path, static_cast<std::size_t>(length));
        return executable.substr(0, std::max<std::size_t>(executable.rfind('/'), 1));
    }();
    return folder;
}

bool namesFolder(const std::string& name) {
    return name.find_first_of("/\\") != std::string::npos || isWindowsDrivePath(name);
}

// Without a folder and an extension the default extension is added; a trailing dot asks for the
// name without one and is dropped.
std::string withDefaultExtension(std::string name) {
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    } else if (name.find('.') == std::string::npos) {
        name += choice::kDefaultLibraryExtension;
    }
    return name;
}

std::optional<LibraryLookup> lookupOf(const std::string& name, const MachineFacts& machine) {
    if (!namesFolder(name)) {
        LibraryLookup lookup{machine.libraryPath, withDefaultExtension(name), true};
        if (!executableFolder().empty()) {
            lookup.folders.push_back(executableFolder());
        }
        return lookup;
    }
    std::string hostPath = name;
    if (isWindowsDrivePath(name)) {
        std::optional<std::string> mapped = hostPathOfDrivePath(name, machine);
        if (!mapped) {
            return std::nullopt;
        }
        hostPath = std::move(*mapped);
    }
    std::replace(hostPath.begin(), hostPath.end(), '\\', '/');
    if (hostPath.back() == '.') {
        hostPath.pop_back();
    }
    const std::size_t slash = hostPath.rfind('/');
    return LibraryLookup{{slash == 0 ? "/" : hostPath.substr(0, slash)}, hostPath.substr(slash + 1), false};
}

} // namespace

OpenedLibrary openNamedLibrary(const std::string& name, const MachineFacts& machine) {
    const std::optional<LibraryLookup> lookup = name.empty() ? std::nullopt : lookupOf(name, machine);
    if (!lookup || lookup->fileName.empty()) {
        return {nullptr, ERROR_MOD_NOT_FOUND};
    }
    for (const std::string& folder : lookup->folders) {
        for (const char* prefix : choice::kLibraryFilePrefixes) {
            const std::string candidate = folder + '/' + prefix + lookup->fileName;
            if (isRegularFile(candidate)) {
                return openLibraryFile(candidate);
            }
        }
    }
    if (lookup->alsoSystemSearch) {
        for (const char* prefix : choice::kLibraryFilePrefixes) {
            void* handle = ::dlopen((prefix + lookup->fileName).c_str(), kOpenFlags);
            if (handle != nullptr) {
                return {handle, ERROR_SUCCESS};
            }
        }
    }
    return {nullptr, ERROR_MOD_NOT_FOUND};
}

} // namespace winsim

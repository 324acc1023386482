// LoadLibraryExW, GetProcAddress and FreeLibrary of the simulated Windows, over the dynamic loader.
// A module handle is the dynamic loader's handle, which is the same for every load of one file;
// the table counts the loads made through these calls, so that a handle stays valid exactly until
// as many FreeLibrary calls as loads, and each load is paired with one dlopen and each
// FreeLibrary with one dlclose. Both calls write the call log (call_log.h); FreeLibrary names the
// module by the name of its latest load that is still counted.
#include "platform/sim/call_log.h"
#include "platform/sim/runtime/library_search.h"
#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/utf16.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/windows_choices.h"

#include <dlfcn.h>
#include <link.h>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

class ModuleTable {
public:
    // One reference per load, under the name the program loaded it by.
    void addReference(void* module, std::string name) {
        std::lock_guard<std::mutex> guard(mutex_);
        references_[module].push_back(std::move(name));
    }

    // The name of the reference dropped; empty when the module is not loaded through LoadLibraryExW.
    std::optional<std::string> dropReference(void* module) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = references_.find(module);
        if (found == references_.end()) {
            return std::nullopt;
        }
        std::string name = std::move(found->second.back());
        found->second.pop_back();
        if (found->second.empty()) {
            references_.erase(found);
        }
        return name;
    }

    // Runs the lookup while the module cannot be freed by another thread.
    template <typename Lookup> bool withLoadedModule(void* module, Lookup lookup) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (references_.count(module) == 0) {
            return false;
        }
        lookup();
        return true;
    }

private:
    std::mutex mutex_;
    std::unordered_map<void*, std::vector<std::string>> references_;
};

ModuleTable& modules() {
    static ModuleTable* const table = new ModuleTable;
    return *table;
}

// Windows looks for an export in the module's own export table only; the dynamic loader also
// searches the module's dependencies, so a symbol found there is not the module's export.
bool isDefinedInModule(void* symbol, void* module) {
    Dl_info info{};
    link_map* symbolMap = nullptr;
    link_map* moduleMap = nullptr;
    return ::dladdr1(symbol, &info, reinterpret_cast<void**>(&symbolMap), RTLD_DL_LINKMAP) != 0 &&
           ::dlinfo(module, RTLD_DI_LINKMAP, &moduleMap) == 0 && symbolMap == moduleMap;
}

// The module's export of that name, or null with the error.
void* exportOf(void* module, LPCSTR procName, DWORD* error) {
    if (reinterpret_cast<std::uintptr_t>(procName) < winsim::choice::kOrdinalLimit) {
        *error = ERROR_PROC_NOT_FOUND;
        return nullptr;
    }
    if (winsim::takeInjectedFault("GetProcAddress", procName, error)) { // by symbol name
        return nullptr;
    }
    void* symbol = ::dlsym(module, procName);
    if (symbol == nullptr || !isDefinedInModule(symbol, module)) {
        *error = ERROR_PROC_NOT_FOUND;
        return nullptr;
    }
    return symbol;
}

} // namespace

namespace {

HMODULE failLoad(const char* name, DWORD error) {
    sim::logFailedCall("LoadLibraryExW", name, error);
    SetLastError(error);
    return nullptr;
}

} // namespace

WINSIM_API HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
    if (fileName == nullptr) {
        return failLoad(nullptr, ERROR_INVALID_PARAMETER);
    }
    const std::string name = winsim::utf8FromUtf16(fileName);
    if (file != nullptr || flags != 0) {
        return failLoad(name.c_str(), winsim::choice::kUnsupportedLoadRequestError);
    }
    // A fault names the library as the program names it (UTF-8), before any extension is added.
    DWORD injected = ERROR_SUCCESS;
    if (winsim::takeInjectedFault("LoadLibraryExW", name, &injected)) {
        return failLoad(name.c_str(), injected);
    }
    const winsim::OpenedLibrary library = winsim::openNamedLibrary(name, *winsim::currentMachineFacts());
    if (library.handle == nullptr) {
        return failLoad(name.c_str(), library.error);
    }
    sim::logCall("LoadLibraryExW", name.c_str());
    modules().addReference(library.handle, name);
    return static_cast<HMODULE>(library.handle);
}

WINSIM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    void* symbol = nullptr;
    DWORD error = winsim::choice::kNullModuleError;
    if (module != nullptr &&
        !modules().withLoadedModule(module, [&] { symbol = exportOf(module, procName, &error); })) {
        error = ERROR_INVALID_HANDLE;
    }
    if (symbol == nullptr) {
        SetLastError(error);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

WINSIM_API BOOL WINAPI FreeLibrary(HMODULE module) {
    const std::optional<std::string> name = modules().dropReference(module);
    if (!name) {
        sim::logFailedCall("FreeLibrary", "(unknown module)", ERROR_INVALID_HANDLE);
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::logCall("FreeLibrary", name->c_str());
    ::dlclose(module);
    return TRUE;
}

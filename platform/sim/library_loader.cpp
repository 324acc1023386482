// LoadLibraryExW, GetProcAddress and FreeLibrary of the simulated Windows, over the dynamic loader.
// A module handle is the dynamic loader's handle, which is the same for every load of one file;
// the table counts the loads made through these calls, so that a handle stays valid exactly until
// as many FreeLibrary calls as loads, and each load is paired with one dlopen and each
// FreeLibrary with one dlclose.
#include "platform/sim/windows_choices.h"
#include "platform/sim/library_search.h"
#include "platform/sim/utf16.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/win32_files.h"

#include <dlfcn.h>
#include <link.h>
#include <mutex>
#include <unordered_map>

namespace {

class ModuleTable {
public:
    void addReference(void* module) {
        std::lock_guard<std::mutex> guard(mutex_);
        ++references_[module];
    }

    // False when the module is not loaded through LoadLibraryExW.
    bool dropReference(void* module) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = references_.find(module);
        if (found == references_.end()) {
            return false;
        }
        if (--found->second == 0) {
            references_.erase(found);
        }
        return true;
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
    std::unordered_map<void*, unsigned long> references_;
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

WINSIM_API HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags) {
    if (fileName == nullptr || file != nullptr || flags != 0) {
        SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER
                                         : winsim::choice::kUnsupportedLoadRequestError);
        return nullptr;
    }
    const std::string name = winsim::utf8FromUtf16(fileName);
    // A fault names the library as the program names it (UTF-8), before any extension is added.
    DWORD injected = ERROR_SUCCESS;
    if (winsim::takeInjectedFault("LoadLibraryExW", name, &injected)) {
        SetLastError(injected);
        return nullptr;
    }
    const winsim::OpenedLibrary library = winsim::openNamedLibrary(name, *winsim::currentMachineFacts());
    if (library.handle == nullptr) {
        SetLastError(library.error);
        return nullptr;
    }
    modules().addReference(library.handle);
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
    if (!modules().dropReference(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ::dlclose(module);
    return TRUE;
}

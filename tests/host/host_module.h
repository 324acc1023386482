// What the host-level tests share: the module and machine files as a host finds them, and owning
// handles for what the module hands out. Only the host's own headers and the BSTR calls (on Windows
// the system's, elsewhere the simulated ones).
#pragma once

#include "hwsys/hwsys.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "platform/sim/win32_ole.h"
#include <dlfcn.h>
#endif

#include <memory>
#include <string>

namespace hosttest {

#ifdef _WIN32
// Found beside the test program, where the Windows loader looks first.
inline void* loadModule() { return LoadLibraryExW(L"qvkelpsysapiexpertu", nullptr, 0); }
inline void* findExport(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
inline std::string loadError() { return "Win32 error " + std::to_string(GetLastError()); }
struct LibraryCloser {
    void operator()(void* handle) const { FreeLibrary(static_cast<HMODULE>(handle)); }
};
#else
inline const std::string kModulePath = std::string(QV_RUNTIME_DIR) + "/libqvkelpsysapiexpertu.so";
inline const std::string kMachines = std::string(QV_SOURCE_DIR) + "/examples/tests/";

inline void* loadModule() { return dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL); }
inline void* findExport(void* module, const char* name) { return dlsym(module, name); }
inline std::string loadError() { return dlerror(); }
struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
#endif

struct Releaser {
    void operator()(IUnknown* object) const { object->Release(); }
};
template <class I> using ComRef = std::unique_ptr<I, Releaser>;

struct BstrFreer {
    void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, BstrFreer>;

// Loads the module by name once per suite, as a host does, and resolves its one export.
class LoadedModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library.reset(loadModule());
        ASSERT_NE(library, nullptr) << loadError();
        create = reinterpret_cast<createSysApiExpertFunction>(findExport(library.get(), "createSysApiExpert"));
        ASSERT_NE(create, nullptr) << loadError();
    }
    static void TearDownTestSuite() {
        create = nullptr;
        library.reset();
    }

    static inline std::unique_ptr<void, LibraryCloser> library;
    static inline createSysApiExpertFunction create = nullptr;
};

} // namespace hosttest

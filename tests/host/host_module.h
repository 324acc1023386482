// What the host-level tests share: the module and machine files as a host finds them, and owning
// handles for what the module hands out. Only the host's own headers and the simulated BSTR calls.
#pragma once

#include "com/CqvBStr.h"
#include "com/com_ptr.h"
#include "hwsys/hwsys.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <memory>
#include <string>

namespace hosttest {

inline const std::string kModulePath = std::string(QV_RUNTIME_DIR) + "/libqvkelpsysapiexpertu.so";
inline const std::string kMachines = std::string(QV_SOURCE_DIR) + "/examples/tests/";

struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};

template <class I> using ComRef = qv::com_ptr<I>;
using qvkelpsysapiexpert::CqvBStr;

// Loads the module by name once per suite, as a host does, and resolves its one export.
class LoadedModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library.reset(dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL));
        ASSERT_NE(library, nullptr) << dlerror();
        create = reinterpret_cast<createSysApiExpertFunction>(dlsym(library.get(), "createSysApiExpert"));
        ASSERT_NE(create, nullptr) << dlerror();
    }
    static void TearDownTestSuite() {
        create = nullptr;
        library.reset();
    }

    static inline std::unique_ptr<void, LibraryCloser> library;
    static inline createSysApiExpertFunction create = nullptr;
};

} // namespace hosttest

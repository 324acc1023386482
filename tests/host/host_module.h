// What the host-level tests share: the module and machine files as a host finds them, the module
// loaded by name as a host loads it, and the owners every program uses for what the module hands out.
#pragma once

#include "com/CqvBStr.h"
#include "com/com_ptr.h"
#include "hwsys/hwsys.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace hosttest {

#ifndef _WIN32
inline const std::string kModulePath = std::string(QV_RUNTIME_DIR) + "/libqvkelpsysapiexpertu.so";
inline const std::string kMachines = std::string(QV_SOURCE_DIR) + "/examples/tests/";
#endif

template <class I> using ComRef = qv::com_ptr<I>;
using qvkelpsysapiexpert::CqvBStr;

// Loads the module by name once per suite, as a host does, and resolves its one export.
class LoadedModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library.reset(LoadLibraryExW(OLESTR("qvkelpsysapiexpertu"), nullptr, 0));
        ASSERT_NE(library, nullptr) << "Win32 error " << GetLastError();
        create = reinterpret_cast<createSysApiExpertFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(library.get(), "createSysApiExpert")));
        ASSERT_NE(create, nullptr);
    }
    static void TearDownTestSuite() {
        create = nullptr;
        library.reset();
    }

    static inline qv::unique_hmodule library;
    static inline createSysApiExpertFunction create = nullptr;
};

} // namespace hosttest

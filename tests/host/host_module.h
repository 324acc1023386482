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
#endif
#ifdef QV_SOURCE_DIR
inline const std::string kMachines = std::string(QV_SOURCE_DIR) + "/examples/tests/";
#endif

// The tests keep wide text as std::u16string; the host interfaces take OLECHAR, which is wchar_t on
// Windows and char16_t elsewhere: the same 16-bit units either way.
inline const OLECHAR* ole(const std::u16string& text) {
    return reinterpret_cast<const OLECHAR*>(text.c_str());
}
inline const OLECHAR* ole(const char16_t* text) {
    return reinterpret_cast<const OLECHAR*>(text);
}
inline std::u16string fromOle(const OLECHAR* text, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
inline std::u16string fromOle(const OLECHAR* text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// Whether the simulation stands in for the system's files, locks and library loader, so that its
// faults and call-log lines for those calls exist: on Linux. On Windows they are the system's own.
#ifdef _WIN32
inline constexpr bool kRuntimeIsSimulated = false;
#else
inline constexpr bool kRuntimeIsSimulated = true;
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

// RenameResource through an expert of its own, as a separate host call would come: the rename's
// result, or the failure of making the expert.
inline HRESULT renameThroughNewExpert(createSysApiExpertFunction create, const std::u16string& itemName,
                                      const std::u16string& alias) {
    IhwSysExpert2* raw = nullptr;
    const HRESULT created = create(&raw);
    if (created != S_OK) {
        return FAILED(created) ? created : E_FAIL;
    }
    const auto expert = ComRef<IhwSysExpert2>::attach(raw);
    LONG inUse = -1;
    void* reserved = nullptr;
    return expert->RenameResource(ole(itemName), ole(alias), 0, &inUse, &reserved);
}

} // namespace hosttest

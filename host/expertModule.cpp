#include "host/expertModule.h"

#include <cstdio>

namespace hwconfig {
namespace {

#ifdef _WIN32
constexpr const WCHAR* kModuleName = L"qvkelpsysapiexpertu";
#else
constexpr const WCHAR* kModuleName = u"qvkelpsysapiexpertu";
#endif
constexpr const char* kEntryName = "createSysApiExpert";

} // namespace

std::string formatHResult(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

ExpertModule::ExpertModule() : module_(LoadLibraryExW(kModuleName, nullptr, 0)) {
    if (!module_) {
        throw HostError("cannot load the module qvkelpsysapiexpertu (Win32 error " +
                        std::to_string(GetLastError()) + ")");
    }
    // Through the generic function pointer type, as every cast of GetProcAddress's result must go.
    const auto create = reinterpret_cast<createSysApiExpertFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_.get(), kEntryName)));
    if (create == nullptr) {
        throw HostError("the module has no export createSysApiExpert");
    }
    const HRESULT result = create(expert_.put());
    if (FAILED(result) || !expert_) {
        expert_.reset();
        throw HostError("createSysApiExpert failed with HRESULT " + formatHResult(result));
    }
}

} // namespace hwconfig

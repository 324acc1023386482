#include "host/expertModule.h"

#include "host/errorNames.h"

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
    return describeHResult(result);
}

HostError failedCall(const std::string& what, HRESULT result, int exitCode) {
    return HostError(what + ": " + describeHResult(result), exitCode, result);
}

void throwIfFailed(HRESULT result, const std::string& what) {
    if (FAILED(result)) {
        throw failedCall(what, result);
    }
}

ExpertModule::ExpertModule() : module_(LoadLibraryExW(kModuleName, nullptr, 0)) {
    if (!module_) {
        throw HostError("loading the module qvkelpsysapiexpertu failed: " + describeWin32Error(GetLastError()));
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
        throw failedCall("creating the expert (createSysApiExpert) failed", FAILED(result) ? result : E_POINTER);
    }
}

} // namespace hwconfig

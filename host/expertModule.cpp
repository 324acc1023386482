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

ExpertModule::ExpertModule() {
    module_ = LoadLibraryExW(kModuleName, nullptr, 0);
    if (module_ == nullptr) {
        throw HostError("loading the module qvkelpsysapiexpertu failed: " + describeWin32Error(GetLastError()));
    }
    // Through the generic function pointer type, as every cast of GetProcAddress's result must go.
    const auto create = reinterpret_cast<createSysApiExpertFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, kEntryName)));
    if (create == nullptr) {
        FreeLibrary(module_);
        throw HostError("the module has no export createSysApiExpert");
    }
    const HRESULT result = create(expert_.put());
    if (FAILED(result) || !expert_) {
        expert_.reset();
        FreeLibrary(module_);
        throw HostError("creating the expert (createSysApiExpert) failed",
                        FAILED(result) ? result : E_POINTER);
    }
}

ExpertModule::~ExpertModule() {
    // The expert's code lives in the module: release it before unloading.
    expert_.reset();
    FreeLibrary(module_);
}

} // namespace hwconfig

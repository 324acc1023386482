// A stand-in for the PXI services library on a machine without PXI: every location query reports
// that no such device exists. It lets the module load under Wine, where discovery is not run.
#include "support/status.h"

#include <cstdint>

namespace {

constexpr std::int32_t kDeviceNotFound = -52006;

} // namespace

extern "C" {

void nQVPXIINIT100_openPXISession(nQVOSALS100::tStatus*) {}

void nQVPXIINIT100_getDeviceU32Attribute(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                         std::uint32_t*, nQVOSALS100::tStatus* status) {
    if (status != nullptr && status->code >= 0) {
        status->code = kDeviceNotFound;
    }
}

void nQVPXIINIT100_closePXISession(nQVOSALS100::tStatus*) {}

} // extern "C"

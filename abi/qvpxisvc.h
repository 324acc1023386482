// The PXI services library: chassis and slot of a PXI module, found by its PCI bus, device and
// function numbers. Each call reports into the caller's status record and does nothing when the
// record already holds an error; a session is opened before and closed after attribute reads.
#pragma once

#include "abi/osalStatus.h"

#include <cstdint>

#if defined(_WIN32) && defined(QVPXISVC_BUILD)
#define QVPXISVC_API __declspec(dllexport)
#elif defined(_WIN32)
#define QVPXISVC_API __declspec(dllimport)
#else
#define QVPXISVC_API __attribute__((visibility("default")))
#endif

namespace nQVPXIINIT100 {
constexpr std::uint32_t kAttributeChassisNumber = 0;
constexpr std::uint32_t kAttributeSlotNumber = 3;
} // namespace nQVPXIINIT100

extern "C" {

QVPXISVC_API void nQVPXIINIT100_openPXISession(nQVOSALS100::tStatusRecord* status);
// Writes the attribute to *value only on success.
QVPXISVC_API void nQVPXIINIT100_getDeviceU32Attribute(std::uint32_t bus, std::uint32_t device,
                                                      std::uint32_t function, std::uint32_t attribute,
                                                      std::uint32_t* value, nQVOSALS100::tStatusRecord* status);
// Ends the calling thread's session even when the status holds an error, so that a failed read
// never leaves a session open.
QVPXISVC_API void nQVPXIINIT100_closePXISession(nQVOSALS100::tStatusRecord* status);

} // extern "C"

#include "host/errorNames.h"

#include "hwsys/hwsys_errors.h"
#include "support/statusCodes.h"

#include <cstdio>

namespace hwconfig {
namespace {

template <typename Code> struct NamedCode {
    Code value;
    const char* name;
};

#define HWCONFIG_NAMED(code) {code, #code}

constexpr NamedCode<HRESULT> kHResults[] = {
    HWCONFIG_NAMED(S_OK),
    HWCONFIG_NAMED(S_FALSE),
    HWCONFIG_NAMED(E_NOTIMPL),
    HWCONFIG_NAMED(E_NOINTERFACE),
    HWCONFIG_NAMED(E_POINTER),
    HWCONFIG_NAMED(E_FAIL),
    HWCONFIG_NAMED(E_UNEXPECTED),
    HWCONFIG_NAMED(E_ACCESSDENIED),
    HWCONFIG_NAMED(E_OUTOFMEMORY),
    HWCONFIG_NAMED(E_INVALIDARG),
    HWCONFIG_NAMED(HW_E_PROPERTY_TYPE_MISMATCH),
    HWCONFIG_NAMED(HW_E_PROPERTY_NOT_FOUND),
    HWCONFIG_NAMED(HW_E_UNSUPPORTED_TEST_MODE),
    HWCONFIG_NAMED(HW_E_INVALID_ALIAS),
    HWCONFIG_NAMED(HW_E_ALIAS_IN_USE),
    HWCONFIG_NAMED(HW_E_FILE_ACCESS_DENIED),
    HWCONFIG_NAMED(HW_E_INVALID_CAL_DATE),
    HWCONFIG_NAMED(HW_E_CAL_INTERVAL_TOO_LONG),
    HWCONFIG_NAMED(HW_E_CAL_PASSWORD_INVALID),
    HWCONFIG_NAMED(HW_E_TIMEOUT),
};

constexpr NamedCode<DWORD> kWin32Errors[] = {
    HWCONFIG_NAMED(ERROR_INVALID_FUNCTION),
    HWCONFIG_NAMED(ERROR_FILE_NOT_FOUND),
    HWCONFIG_NAMED(ERROR_PATH_NOT_FOUND),
    HWCONFIG_NAMED(ERROR_ACCESS_DENIED),
    HWCONFIG_NAMED(ERROR_INVALID_HANDLE),
    HWCONFIG_NAMED(ERROR_NOT_ENOUGH_MEMORY),
    HWCONFIG_NAMED(ERROR_INVALID_DATA),
    HWCONFIG_NAMED(ERROR_OUTOFMEMORY),
    HWCONFIG_NAMED(ERROR_NOT_READY),
    HWCONFIG_NAMED(ERROR_GEN_FAILURE),
    HWCONFIG_NAMED(ERROR_SHARING_VIOLATION),
    HWCONFIG_NAMED(ERROR_LOCK_VIOLATION),
    HWCONFIG_NAMED(ERROR_NOT_SUPPORTED),
    HWCONFIG_NAMED(ERROR_INVALID_PARAMETER),
    HWCONFIG_NAMED(ERROR_INSUFFICIENT_BUFFER),
    HWCONFIG_NAMED(ERROR_MOD_NOT_FOUND),
    HWCONFIG_NAMED(ERROR_PROC_NOT_FOUND),
    HWCONFIG_NAMED(ERROR_BAD_EXE_FORMAT),
    HWCONFIG_NAMED(ERROR_MORE_DATA),
    HWCONFIG_NAMED(ERROR_NO_MORE_ITEMS),
    HWCONFIG_NAMED(ERROR_DEVICE_REMOVED),
    HWCONFIG_NAMED(ERROR_INVALID_USER_BUFFER),
    HWCONFIG_NAMED(ERROR_NO_SUCH_DEVINST),
};

constexpr NamedCode<std::int32_t> kStatusCodes[] = {
    {nQVOSALS100::osalStatusMemoryFull, "osalStatusMemoryFull"},
    {nQVOSALS100::osalStatusNotSupported, "osalStatusNotSupported"},
    {nQVOSALS100::osalStatusUnexpected, "osalStatusUnexpected"},
    {nQVOSALS100::osalStatusWrongType, "osalStatusWrongType"},
    {nQVOSALS100::osalStatusInvalidParameter, "osalStatusInvalidParameter"},
    {nQVOSALS100::osalStatusResourceNotFound, "osalStatusResourceNotFound"},
    {nQVOSALS100::osalStatusTimeout, "osalStatusTimeout"},
    {nQVOSALS100::osalStatusOSFault, "osalStatusOSFault"},
    {nQVOSALS100::osalStatusAccessDenied, "osalStatusAccessDenied"},
    {nQVOSALS100::osalStatusBufferTooSmall, "osalStatusBufferTooSmall"},
    {nQVOSALS100::osalStatusDeviceRemoved, "osalStatusDeviceRemoved"},
    {nQVOSALS100::osalStatusFileAccessDenied, "osalStatusFileAccessDenied"},
    {nQVOSALS100::boardStatusCalPasswordInvalid, "boardStatusCalPasswordInvalid"},
};

#undef HWCONFIG_NAMED

template <typename Code, std::size_t N> const char* findName(const NamedCode<Code> (&table)[N], Code value) {
    for (const NamedCode<Code>& entry : table) {
        if (entry.value == value) {
            return entry.name;
        }
    }
    return nullptr;
}

constexpr HRESULT kWin32Facility = static_cast<HRESULT>(0x80070000u);
constexpr HRESULT kFacilityMask = static_cast<HRESULT>(0xFFFF0000u);

std::string withNumber(const char* name, const std::string& number) {
    return name != nullptr ? std::string(name) + " (" + number + ")" : number;
}

} // namespace

std::string hresultHex(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

std::string hresultName(HRESULT result) {
    if (const char* name = findName(kHResults, result)) {
        return name;
    }
    if ((result & kFacilityMask) == kWin32Facility) {
        if (const char* win32Name = findName(kWin32Errors, static_cast<DWORD>(result & 0xFFFF))) {
            return std::string("HRESULT_FROM_WIN32(") + win32Name + ")";
        }
    }
    return {};
}

std::string describeHResult(HRESULT result) {
    const std::string name = hresultName(result);
    return name.empty() ? hresultHex(result) : name + " (" + hresultHex(result) + ")";
}

std::string describeStatusCode(std::int32_t code) {
    return withNumber(findName(kStatusCodes, code), std::to_string(code));
}

std::string describeWin32Error(DWORD error) {
    if (const char* name = findName(kWin32Errors, error)) {
        return withNumber(name, std::to_string(error));
    }
    const auto asStatus = static_cast<std::int32_t>(error);
    return asStatus < 0 ? describeStatusCode(asStatus) : std::to_string(error);
}

} // namespace hwconfig

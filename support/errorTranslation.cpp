#include "support/errorTranslation.h"

#include "support/statusCodes.h"

#include <algorithm>
#include <iterator>

namespace {

template <class From, class To> struct Translation {
    using Source = From;
    using Target = To;
    From from;
    To to;
};

// The row of `table` for `from`, or `otherwise` when the table has none.
template <class From, class To, std::size_t N>
To translate(const Translation<From, To> (&table)[N], typename Translation<From, To>::Source from,
             typename Translation<From, To>::Target otherwise) noexcept {
    const auto* end = std::end(table);
    const auto* row =
        std::find_if(std::begin(table), end, [from](const Translation<From, To>& entry) { return entry.from == from; });
    return row == end ? otherwise : row->to;
}

} // namespace

namespace nQVOSALS100 {
namespace {

using Win32ToStatus = Translation<std::uint32_t, std::int32_t>;

constexpr Win32ToStatus kStatusOfWin32Error[] = {
    {ERROR_SUCCESS, osalStatusSuccess},
    {ERROR_IO_PENDING, osalStatusPending},
    {ERROR_NOT_ENOUGH_MEMORY, osalStatusMemoryFull},
    {ERROR_NO_SYSTEM_RESOURCES, osalStatusMemoryFull},
    {ERROR_NOT_SUPPORTED, osalStatusNotSupported},
    {ERROR_INVALID_FUNCTION, osalStatusNotSupported},
    {ERROR_GEN_FAILURE, osalStatusUnexpected},
    {ERROR_IO_DEVICE, osalStatusUnexpected},
    {ERROR_INVALID_PARAMETER, osalStatusInvalidParameter},
    {ERROR_FILE_NOT_FOUND, osalStatusResourceNotFound},
    {ERROR_KEY_DOES_NOT_EXIST, osalStatusResourceNotFound},
    {ERROR_SEM_TIMEOUT, osalStatusTimeout},
    {WAIT_TIMEOUT, osalStatusTimeout},
    {ERROR_INTERNAL_ERROR, osalStatusOSFault},
    {ERROR_ACCESS_DENIED, osalStatusAccessDenied},
    {ERROR_NOT_READY, osalStatusNotReady},
    {ERROR_HANDLE_EOF, osalStatusEndOfFile},
    {ERROR_ALREADY_EXISTS, osalStatusAlreadyExists},
    {ERROR_INSUFFICIENT_BUFFER, osalStatusBufferTooSmall},
    {ERROR_DEVICE_REMOVED, osalStatusDeviceRemoved},
    {ERROR_INSUFFICIENT_POWER, osalStatusInsufficientPower},
};
// Success and exactly twenty errors are translated; a new row changes what hosts receive.
static_assert(std::size(kStatusOfWin32Error) == 21);

using StatusToHResult = Translation<std::int32_t, HRESULT>;

// The errors with an HRESULT of their own; success, warnings and every other error follow rules.
constexpr StatusToHResult kHResultOfStatus[] = {
    {osalStatusMemoryFull, E_OUTOFMEMORY},
    {osalStatusNotSupported, E_NOTIMPL},
    {osalStatusUnexpected, E_UNEXPECTED},
    {osalStatusInvalidParameter, E_INVALIDARG},
    {osalStatusTimeout, HW_E_TIMEOUT},
    {osalStatusFileAccessDenied, HW_E_FILE_ACCESS_DENIED},
    {boardStatusCalPasswordInvalid, HW_E_CAL_PASSWORD_INVALID},
};

using StatusToText = Translation<std::int32_t, const char*>;

// The names are the ones the module's reports have always carried, irregular spelling included:
// whoever reads a payload matches on them.
constexpr StatusToText kErrorConstantOfStatus[] = {
    {osalStatusMemoryFull, "qvosalerr_memoryFull"},
    {osalStatusInvalidParameter, "qvosalerr_invalidParameter"},
    {osalStatusResourceNotFound, "osalStatusResourceNotFound"},
    {osalStatusOSFault, "nQVOSALS100::tStatus::kOSFault"},
};

} // namespace

std::int32_t statusOfWin32Error(std::uint32_t win32Error) noexcept {
    return translate(kStatusOfWin32Error, win32Error, osalStatusUnexpected);
}

HRESULT statusToHResult(std::int32_t code) noexcept {
    if (code == osalStatusSuccess) {
        return S_OK;
    }
    if (code > 0) {
        return S_FALSE;
    }
    return translate(kHResultOfStatus, code, E_FAIL);
}

const char* errorConstantOf(std::int32_t code) noexcept {
    return translate(kErrorConstantOfStatus, code, nullptr);
}

} // namespace nQVOSALS100

namespace qv::brix::osdep {
namespace {

// The support library's own codes for operating-system failures.
constexpr std::uint32_t kOSNoError = 0;
constexpr std::uint32_t kOSInvalidArgument = 1;
constexpr std::uint32_t kOSOutOfMemory = 2;
constexpr std::uint32_t kOSEndOfFile = 4;
constexpr std::uint32_t kOSNotFound = 7;
constexpr std::uint32_t kOSInUse = 8;
constexpr std::uint32_t kOSDiskFull = 9;
constexpr std::uint32_t kOSTooManyOpenFiles = 11;
constexpr std::uint32_t kOSBadFormat = 23;
constexpr std::uint32_t kOSNoSuchDevice = 37;
constexpr std::uint32_t kOSAlreadyExists = static_cast<std::uint32_t>(-98);
constexpr std::uint32_t kOSDataError = static_cast<std::uint32_t>(-508);
// Access denied keeps the system's own code, as an HRESULT.
constexpr std::uint32_t kOSAccessDenied = static_cast<std::uint32_t>(E_ACCESSDENIED);

using Win32ToOSCode = Translation<DWORD, std::uint32_t>;

constexpr Win32ToOSCode kOSCodeOfWin32Error[] = {
    {ERROR_SUCCESS, kOSNoError},
    {ERROR_FILE_NOT_FOUND, kOSNotFound},
    {ERROR_PATH_NOT_FOUND, kOSNotFound},
    {ERROR_INVALID_DRIVE, kOSNotFound},
    {ERROR_TOO_MANY_OPEN_FILES, kOSTooManyOpenFiles},
    {ERROR_ACCESS_DENIED, kOSAccessDenied},
    {ERROR_INVALID_HANDLE, kOSInvalidArgument},
    {ERROR_INVALID_PARAMETER, kOSInvalidArgument},
    {ERROR_NOT_ENOUGH_MEMORY, kOSOutOfMemory},
    {ERROR_OUTOFMEMORY, kOSOutOfMemory},
    {ERROR_BAD_FORMAT, kOSBadFormat},
    {ERROR_CURRENT_DIRECTORY, kOSInUse},
    {ERROR_WRITE_PROTECT, kOSInUse},
    {ERROR_SHARING_VIOLATION, kOSInUse},
    {ERROR_LOCK_VIOLATION, kOSInUse},
    {ERROR_BAD_UNIT, kOSNoSuchDevice},
    {ERROR_CRC, kOSDataError},
    {ERROR_HANDLE_EOF, kOSEndOfFile},
    {ERROR_HANDLE_DISK_FULL, kOSDiskFull},
    {ERROR_FILE_EXISTS, kOSAlreadyExists},
};

} // namespace

std::uint32_t winErrorCodeOf(DWORD win32Error) noexcept {
    return translate(kOSCodeOfWin32Error, win32Error, kOSOtherError);
}

} // namespace qv::brix::osdep

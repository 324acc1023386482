#include "enumeration/tDeviceInterfaceIterator.h"

#include "support/statusCodes.h"

#include <cstddef>
#include <cstring>

namespace nQVOSALS100 {
namespace {

constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr DWORD kPresentInterfacesOfAnyClass = DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE;

} // namespace

template <typename OpenSet> void tDeviceInterfaceIterator::open(OpenSet&& openSet, tStatus* status) {
    interfaceData_.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    if (status->isFatal()) {
        return;
    }
    deviceInfoSet_.reset(openSet());
    if (!deviceInfoSet_) {
        setStatusFromWin32Error(GetLastError(), status, __FILE__, __LINE__);
        return;
    }
    index_ = 0;
    enumerateCurrent();
    reportEnumerationFailure(status);
}

tDeviceInterfaceIterator::tDeviceInterfaceIterator(const GUID& interfaceClass, tStatus* status)
    : interfaceClass_(interfaceClass) {
    open([this] { return SetupDiGetClassDevsA(&interfaceClass_, nullptr, nullptr, kPresentInterfaces); }, status);
}

tDeviceInterfaceIterator::tDeviceInterfaceIterator(const GUID& interfaceClass, const tBasicString& enumerator,
                                                   tStatus* status)
    : interfaceClass_(interfaceClass) {
    open([this, &enumerator] {
        return SetupDiGetClassDevsA(&interfaceClass_, enumerator.c_str(), nullptr, kPresentInterfacesOfAnyClass);
    },
         status);
}

tDeviceInterfaceIterator::tDeviceInterfaceIterator(const GUID& interfaceClass, tNoDevice, tStatus* status)
    : interfaceClass_(interfaceClass) {
    open([this] { return SetupDiCreateDeviceInfoList(&interfaceClass_, nullptr); }, status);
}

tDeviceInterfaceIterator::~tDeviceInterfaceIterator() {
    close();
}

void tDeviceInterfaceIterator::enumerateCurrent() {
    interfaceData_.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    valid_ = SetupDiEnumDeviceInterfaces(deviceInfoSet_.get(), nullptr, &interfaceClass_, index_, &interfaceData_);
    enumerationError_ = valid_ != 0 ? ERROR_SUCCESS : GetLastError();
}

void tDeviceInterfaceIterator::reportEnumerationFailure(tStatus* status) const {
    if (enumerationError_ != ERROR_SUCCESS && enumerationError_ != ERROR_NO_MORE_ITEMS) {
        setStatusFromWin32Error(enumerationError_, status, __FILE__, __LINE__);
    }
}

void tDeviceInterfaceIterator::advance() {
    slotPathCache_.clear();
    if (!deviceInfoSet_) {
        valid_ = 0;
        return;
    }
    ++index_;
    enumerateCurrent();
}

SP_DEVINFO_DATA tDeviceInterfaceIterator::getDeviceInfo() {
    SP_DEVINFO_DATA deviceInfo{};
    deviceInfo.cbSize = sizeof(SP_DEVINFO_DATA);
    deviceInfo.DevInst = 0;
    // Without a detail buffer the call always "fails" for want of room, yet fills the device record;
    // the record itself tells whether it worked.
    SetupDiGetDeviceInterfaceDetailA(deviceInfoSet_.get(), &interfaceData_, nullptr, 0, nullptr, &deviceInfo);
    return deviceInfo;
}

void tDeviceInterfaceIterator::getDevicePath(tDevicePath* path, tStatus* status) {
    if (status->isFatal()) {
        return;
    }
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(path->text);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    DWORD requiredSize = 0;
    const BOOL succeeded = SetupDiGetDeviceInterfaceDetailA(deviceInfoSet_.get(), &interfaceData_, detail,
                                                            tDevicePath::kCapacity, &requiredSize, nullptr);
    if (requiredSize > tDevicePath::kCapacity) {
        status->setCode(osalStatusBufferTooSmall, kComponentName, __FILE__, __LINE__);
        return;
    }
    if (!succeeded) {
        setStatusFromWin32Error(GetLastError(), status, __FILE__, __LINE__);
        return;
    }
    constexpr std::size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const std::size_t room = tDevicePath::kCapacity - kPathOffset;
    const void* end = std::memchr(path->text + kPathOffset, '\0', room);
    const std::size_t length =
        end != nullptr ? static_cast<const char*>(end) - (path->text + kPathOffset) : room - 1;
    std::memmove(path->text, path->text + kPathOffset, length);
    path->text[length] = '\0';
    path->length = static_cast<std::uint32_t>(length + 1);
}

void tDeviceInterfaceIterator::close() {
    deviceInfoSet_.reset();
    valid_ = 0;
    enumerationError_ = ERROR_SUCCESS;
    index_ = kClosedIndex;
    slotPathCache_.release();
}

} // namespace nQVOSALS100

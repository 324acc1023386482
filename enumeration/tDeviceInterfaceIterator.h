// One position in a set of present device interfaces of one interface class.
#pragma once

#include "enumeration/tBasicString.h"
#include "platform/win32.h"
#include "support/status.h"
#include "support/unique_any.h"

#include <cstdint>

namespace nQVOSALS100 {

// A device path as the iterator delivers it: the text, NUL-terminated, at the start of a fixed
// area, and its length with the NUL. The area doubles as the system's detail record while the path
// is fetched, hence its alignment.
struct tDevicePath {
    static constexpr std::uint32_t kCapacity = 256;
    alignas(SP_DEVICE_INTERFACE_DETAIL_DATA_A) char text[kCapacity];
    std::uint32_t length;
};

class tDeviceInterfaceIterator {
public:
    static constexpr std::uint32_t kClosedIndex = 0xFFFFFFFFu;

    // All present interfaces of the class.
    tDeviceInterfaceIterator(const GUID& interfaceClass, tStatus* status);
    // The present interfaces of the class that belong to the devices the enumerator text names
    // (a device instance ID narrows the set to that device).
    tDeviceInterfaceIterator(const GUID& interfaceClass, const tBasicString& enumerator, tStatus* status);
    // No interface at all: an empty set of the class, made without asking for any device, for a
    // name that names none.
    struct tNoDevice {};
    static constexpr tNoDevice kNoDevice{};
    tDeviceInterfaceIterator(const GUID& interfaceClass, tNoDevice, tStatus* status);
    ~tDeviceInterfaceIterator();
    tDeviceInterfaceIterator(const tDeviceInterfaceIterator&) = delete;
    tDeviceInterfaceIterator& operator=(const tDeviceInterfaceIterator&) = delete;

    // Whether the iterator stands on an interface.
    bool isValid() const { return valid_ != 0; }
    void advance();
    // Records in the status why the last step found no interface, unless the set simply had no
    // more: an error there must not pass for the end of the walk. Opening reports it by itself.
    void reportEnumerationFailure(tStatus* status) const;
    // The owning device's record of the current interface. DevInst is 0 when the system could not
    // tell it; GetLastError then says why.
    SP_DEVINFO_DATA getDeviceInfo();
    void getDevicePath(tDevicePath* path, tStatus* status);
    void close();

    HDEVINFO deviceInfoSet() const { return deviceInfoSet_.get(); }
    const GUID& interfaceClass() const { return interfaceClass_; }
    std::uint32_t index() const { return index_; }
    SP_DEVICE_INTERFACE_DATA* interfaceData() { return &interfaceData_; }
    // The PCI slot path of the current device, once computed; empty until then.
    tBasicString& slotPathCache() { return slotPathCache_; }

private:
    // Takes the set `openSet` opens, unless the status already holds an error, and stands on its
    // first interface.
    template <typename OpenSet> void open(OpenSet&& openSet, tStatus* status);
    void enumerateCurrent();

    GUID interfaceClass_;
    qv::unique_hdevinfo deviceInfoSet_;
    std::uint32_t index_ = 0;
    SP_DEVICE_INTERFACE_DATA interfaceData_{};
    std::int32_t valid_ = 0;
    // Why the last SetupDiEnumDeviceInterfaces found nothing; ERROR_SUCCESS while valid.
    DWORD enumerationError_ = ERROR_SUCCESS;
    tBasicString slotPathCache_;
};

} // namespace nQVOSALS100

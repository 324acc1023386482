// The calls the gap-filling setupapi.dll answers itself; every other export is forwarded to Wine's
// builtin (gap_setupapi.def, made from the builtin's export table). Each answer follows the Win32
// documentation named beside it; what it replaces in Wine 8 is recorded in
// platform/sim/windows_choices.h ("Where Wine differs from Windows").
#include "planted_devices.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The instance ID of a device of a set, as Wine's own SetupDiGetDeviceInstanceIdA gives it; the
// builtin validates the set and the SP_DEVINFO_DATA and sets the last error when they are not.
bool instanceIdOf(HDEVINFO set, SP_DEVINFO_DATA* device, std::string& id) {
    using Call = BOOL WINAPI(HDEVINFO, SP_DEVINFO_DATA*, PSTR, DWORD, DWORD*);
    char buffer[MAX_DEVICE_ID_LEN + 1];
    DWORD required = 0;
    if (!gap::builtin<Call>("SetupDiGetDeviceInstanceIdA")(set, device, buffer, sizeof buffer, &required)) {
        return false;
    }
    id = buffer;
    return true;
}

// Gives a filled SP_DEVINFO_DATA the DEVINST of this DLL's numbering, which never hands out 0
// (CM_Get_Device_ID: a DEVINST is "a device instance handle"; Wine's first one is 0, which
// callers take for none). The last error of the call it follows is kept.
void renumber(HDEVINFO set, SP_DEVINFO_DATA* device) {
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return;
    }
    const DWORD error = GetLastError();
    std::string id;
    if (instanceIdOf(set, device, id)) {
        device->DevInst = gap::devInstOf(id);
    }
    SetLastError(error);
}

// SetupDiGetDeviceInterfaceDetailA/W: DeviceInfoData "receives information about the device that
// supports the requested interface", its DevInst the devnode's handle (SP_DEVINFO_DATA): the
// builtin's answer with that renumbered. Wine fills the device also when it reports only the size
// (ERROR_INSUFFICIENT_BUFFER), so it is renumbered then too.
template <class Detail>
BOOL interfaceDetail(const char* name, HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, Detail* detail, DWORD detailSize,
                     DWORD* required, SP_DEVINFO_DATA* device) {
    using Call = BOOL WINAPI(HDEVINFO, SP_DEVICE_INTERFACE_DATA*, Detail*, DWORD, DWORD*, SP_DEVINFO_DATA*);
    const BOOL result = gap::builtin<Call>(name)(set, data, detail, detailSize, required, device);
    if (result || GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        renumber(set, device);
    }
    return result;
}

// SetupDiOpenDeviceInfoA/W: DeviceInfoData "receives information about the device" on success:
// the builtin's answer with its DevInst renumbered.
template <class Char>
BOOL openDeviceInfo(const char* name, HDEVINFO set, const Char* id, HWND window, DWORD flags,
                    SP_DEVINFO_DATA* device) {
    using Call = BOOL WINAPI(HDEVINFO, const Char*, HWND, DWORD, SP_DEVINFO_DATA*);
    const BOOL result = gap::builtin<Call>(name)(set, id, window, flags, device);
    if (result) {
        renumber(set, device);
    }
    return result;
}

// SetupDiGetDeviceRegistryProperty: the property's type and data; a buffer too small (or none)
// fails with ERROR_INSUFFICIENT_BUFFER and reports the size needed; a property the device does not
// have fails with ERROR_INVALID_DATA.
BOOL answerProperty(DWORD type, const std::vector<BYTE>& data, DWORD* dataType, BYTE* buffer, DWORD bufferSize,
                    DWORD* required) {
    if (buffer == nullptr && bufferSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dataType != nullptr) {
        *dataType = type;
    }
    if (required != nullptr) {
        *required = static_cast<DWORD>(data.size());
    }
    if (buffer == nullptr || bufferSize < data.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, data.data(), data.size());
    return TRUE;
}

std::vector<BYTE> textData(const std::string& text) {
    return std::vector<BYTE>(text.c_str(), text.c_str() + text.size() + 1);
}

// The planted devices that are children of `parent` in the tree, present or not, in the order
// their bus reported them (the description's).
std::vector<gap::PlantedDevice> childrenOf(const std::string& parent) {
    std::vector<gap::PlantedDevice> children;
    for (gap::PlantedDevice& device : gap::plantedDevices()) {
        if (!device.parent.empty() && gap::equalIds(device.parent, parent)) {
            children.push_back(std::move(device));
        }
    }
    return children;
}

// The first present device of `devices` from `from` on (the tree holds present devices only, as
// CM_Get_Child documents for devnodes: only devices that are started or configured are in it).
CONFIGRET firstPresent(const std::vector<gap::PlantedDevice>& devices, std::size_t from, DEVINST* result) {
    for (std::size_t i = from; i < devices.size(); ++i) {
        if (devices[i].present) {
            *result = gap::devInstOf(devices[i].id);
            return CR_SUCCESS;
        }
    }
    return CR_NO_SUCH_DEVNODE;
}

// The checks every tree call makes first (CM_Get_Parent and its kin: CR_INVALID_POINTER for a
// null result, CR_INVALID_FLAG for flags, CR_INVALID_DEVNODE for a DEVINST that names no device).
CONFIGRET deviceOfCall(DEVINST* result, DEVINST devInst, ULONG flags, gap::PlantedDevice& device) {
    if (result == nullptr) {
        return CR_INVALID_POINTER;
    }
    *result = 0;
    if (flags != 0) {
        return CR_INVALID_FLAG;
    }
    auto planted = gap::plantedDevice(gap::idOfDevInst(devInst));
    if (!planted) {
        return CR_INVALID_DEVNODE;
    }
    device = std::move(*planted);
    return CR_SUCCESS;
}

// CM_Get_Device_IDA/W: the ID and its NUL; a buffer of exactly the ID's length (in characters) gets
// it without the NUL; a shorter one gets what fits and CR_BUFFER_SMALL. Device instance IDs hold only
// characters from 0x20 to 0x7F ("Device Instance ID"), the same in both widths.
template <class Char>
CONFIGRET deviceIdOf(DEVINST devInst, Char* buffer, ULONG bufferLen, ULONG flags) {
    if (buffer == nullptr) {
        return CR_INVALID_POINTER;
    }
    if (flags != 0) {
        return CR_INVALID_FLAG;
    }
    const std::string id = gap::idOfDevInst(devInst);
    if (id.empty()) {
        return CR_INVALID_DEVNODE;
    }
    const std::basic_string<Char> text(id.begin(), id.end());
    std::memcpy(buffer, text.c_str(), std::min<std::size_t>(bufferLen, text.size() + 1) * sizeof(Char));
    return bufferLen < text.size() ? CR_BUFFER_SMALL : CR_SUCCESS;
}

} // namespace

extern "C" {

__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, SP_DEVINFO_DATA* device,
                                                                   DWORD property, DWORD* dataType, BYTE* buffer,
                                                                   DWORD bufferSize, DWORD* required) {
    if (property != SPDRP_ENUMERATOR_NAME && property != SPDRP_ADDRESS) {
        using Call = BOOL WINAPI(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD*, BYTE*, DWORD, DWORD*);
        return gap::builtin<Call>("SetupDiGetDeviceRegistryPropertyA")(set, device, property, dataType, buffer,
                                                                      bufferSize, required);
    }
    std::string id;
    if (!instanceIdOf(set, device, id)) {
        return FALSE;
    }
    if (property == SPDRP_ENUMERATOR_NAME) {
        if (const auto name = gap::plantedText(id, "QvEnumeratorName")) {
            return answerProperty(REG_SZ, textData(*name), dataType, buffer, bufferSize, required);
        }
    } else if (const auto address = gap::plantedDword(id, "QvAddress")) {
        const auto* bytes = reinterpret_cast<const BYTE*>(&*address);
        return answerProperty(REG_DWORD, std::vector<BYTE>(bytes, bytes + sizeof(DWORD)), dataType, buffer,
                              bufferSize, required);
    }
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
}

__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                                                  SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail,
                                                                  DWORD detailSize, DWORD* required,
                                                                  SP_DEVINFO_DATA* device) {
    return interfaceDetail("SetupDiGetDeviceInterfaceDetailA", set, data, detail, detailSize, required, device);
}

__declspec(dllexport) BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                                                  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                                  DWORD detailSize, DWORD* required,
                                                                  SP_DEVINFO_DATA* device) {
    return interfaceDetail("SetupDiGetDeviceInterfaceDetailW", set, data, detail, detailSize, required, device);
}

__declspec(dllexport) BOOL WINAPI SetupDiOpenDeviceInfoA(HDEVINFO set, PCSTR id, HWND window, DWORD flags,
                                                        SP_DEVINFO_DATA* device) {
    return openDeviceInfo("SetupDiOpenDeviceInfoA", set, id, window, flags, device);
}

__declspec(dllexport) BOOL WINAPI SetupDiOpenDeviceInfoW(HDEVINFO set, PCWSTR id, HWND window, DWORD flags,
                                                        SP_DEVINFO_DATA* device) {
    return openDeviceInfo("SetupDiOpenDeviceInfoW", set, id, window, flags, device);
}

__declspec(dllexport) BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) {
    using Call = BOOL WINAPI(HDEVINFO, DWORD, SP_DEVINFO_DATA*);
    const BOOL result = gap::builtin<Call>("SetupDiEnumDeviceInfo")(set, index, device);
    if (result) {
        renumber(set, device);
    }
    return result;
}

// CM_Get_Parent: the parent's DEVINST; the root has none (CR_NO_SUCH_DEVNODE). A device keeps its
// parent whether or not either is present.
__declspec(dllexport) CONFIGRET WINAPI CM_Get_Parent(DEVINST* parent, DEVINST devInst, ULONG flags) {
    gap::PlantedDevice device;
    if (const CONFIGRET refused = deviceOfCall(parent, devInst, flags, device); refused != CR_SUCCESS) {
        return refused;
    }
    if (device.parent.empty()) {
        return CR_NO_SUCH_DEVNODE;
    }
    *parent = gap::devInstOf(device.parent);
    return CR_SUCCESS;
}

// CM_Get_Child: the first child; none gives CR_NO_SUCH_DEVNODE.
__declspec(dllexport) CONFIGRET WINAPI CM_Get_Child(DEVINST* child, DEVINST devInst, ULONG flags) {
    gap::PlantedDevice device;
    if (const CONFIGRET refused = deviceOfCall(child, devInst, flags, device); refused != CR_SUCCESS) {
        return refused;
    }
    return firstPresent(childrenOf(device.id), 0, child);
}

// CM_Get_Sibling: the next child of the same parent; the last one gives CR_NO_SUCH_DEVNODE.
__declspec(dllexport) CONFIGRET WINAPI CM_Get_Sibling(DEVINST* sibling, DEVINST devInst, ULONG flags) {
    gap::PlantedDevice device;
    if (const CONFIGRET refused = deviceOfCall(sibling, devInst, flags, device); refused != CR_SUCCESS) {
        return refused;
    }
    if (device.parent.empty()) {
        return CR_NO_SUCH_DEVNODE;
    }
    const std::vector<gap::PlantedDevice> siblings = childrenOf(device.parent);
    std::size_t at = 0;
    while (at < siblings.size() && !gap::equalIds(siblings[at].id, device.id)) {
        ++at;
    }
    return firstPresent(siblings, at + 1, sibling);
}

__declspec(dllexport) CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST devInst, PSTR buffer, ULONG bufferLen, ULONG flags) {
    return deviceIdOf(devInst, buffer, bufferLen, flags);
}

__declspec(dllexport) CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST devInst, PWSTR buffer, ULONG bufferLen, ULONG flags) {
    return deviceIdOf(devInst, buffer, bufferLen, flags);
}

} // extern "C"

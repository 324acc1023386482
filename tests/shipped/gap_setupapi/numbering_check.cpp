// gap-numbering-check.exe: on a planted machine (scripts/run-shipped.sh), every call the gap-filling
// setupapi.dll answers with an SP_DEVINFO_DATA, ANSI and wide, must give each present device of the
// board interface class one DevInst, never 0, that CM_Get_Device_IDA and CM_Get_Device_IDW name.
// Prints each mismatch and one summary line; exit code 0 when there is none, 1 otherwise.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const GUID kBoardClass = {0x7729C356, 0x96D6, 0x4FAB, {0x8D, 0x01, 0x92, 0x66, 0xFB, 0x3D, 0x1B, 0xD7}};

SP_DEVINFO_DATA emptyDevice() {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    return device;
}

// One way of having an SP_DEVINFO_DATA filled for an interface of `set` whose device has `id`.
struct Way {
    const char* name;
    bool (*fill)(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& deviceInterface, const std::string& id, SP_DEVINFO_DATA& device);
};

template <class Detail, class Call>
bool detailOf(Call call, HDEVINFO set, SP_DEVICE_INTERFACE_DATA& deviceInterface, SP_DEVINFO_DATA& device) {
    DWORD required = 0;
    if (call(set, &deviceInterface, nullptr, 0, &required, &device) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return false;
    }
    std::vector<DWORD> buffer(required / sizeof(DWORD) + 1); // aligned as the structure needs
    auto* detail = reinterpret_cast<Detail*>(buffer.data());
    detail->cbSize = sizeof(Detail);
    device = emptyDevice();
    return call(set, &deviceInterface, detail, required, nullptr, &device) != FALSE;
}

// The size query alone fills the device too.
template <class Call>
bool sizeOnly(Call call, HDEVINFO set, SP_DEVICE_INTERFACE_DATA& deviceInterface, SP_DEVINFO_DATA& device) {
    DWORD required = 0;
    return !call(set, &deviceInterface, nullptr, 0, &required, &device) && GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// SetupDiOpenDeviceInfo on a set of its own, of no class (the planted devices are of the System
// class, not of their interfaces'), and SetupDiEnumDeviceInfo of that set.
template <class Open>
bool openedInNewSet(Open open, SP_DEVINFO_DATA& device, bool thenEnumerate) {
    const HDEVINFO own = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (own == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool filled = open(own, device);
    if (filled && thenEnumerate) {
        device = emptyDevice();
        filled = SetupDiEnumDeviceInfo(own, 0, &device) != FALSE;
    }
    SetupDiDestroyDeviceInfoList(own);
    return filled;
}

bool openW(HDEVINFO set, const std::string& id, SP_DEVINFO_DATA& device) {
    const std::wstring wide(id.begin(), id.end()); // instance IDs are ASCII
    return SetupDiOpenDeviceInfoW(set, wide.c_str(), nullptr, 0, &device) != FALSE;
}

bool openA(HDEVINFO set, const std::string& id, SP_DEVINFO_DATA& device) {
    return SetupDiOpenDeviceInfoA(set, id.c_str(), nullptr, 0, &device) != FALSE;
}

const Way kWays[] = {
    {"SetupDiGetDeviceInterfaceDetailW, size only",
     [](HDEVINFO set, SP_DEVICE_INTERFACE_DATA& i, const std::string&, SP_DEVINFO_DATA& d) {
         return sizeOnly(SetupDiGetDeviceInterfaceDetailW, set, i, d);
     }},
    {"SetupDiGetDeviceInterfaceDetailW",
     [](HDEVINFO set, SP_DEVICE_INTERFACE_DATA& i, const std::string&, SP_DEVINFO_DATA& d) {
         return detailOf<SP_DEVICE_INTERFACE_DETAIL_DATA_W>(SetupDiGetDeviceInterfaceDetailW, set, i, d);
     }},
    {"SetupDiOpenDeviceInfoW",
     [](HDEVINFO, SP_DEVICE_INTERFACE_DATA&, const std::string& id, SP_DEVINFO_DATA& d) {
         return openedInNewSet([&](HDEVINFO own, SP_DEVINFO_DATA& device) { return openW(own, id, device); }, d,
                               false);
     }},
    {"SetupDiGetDeviceInterfaceDetailA, size only",
     [](HDEVINFO set, SP_DEVICE_INTERFACE_DATA& i, const std::string&, SP_DEVINFO_DATA& d) {
         return sizeOnly(SetupDiGetDeviceInterfaceDetailA, set, i, d);
     }},
    {"SetupDiGetDeviceInterfaceDetailA",
     [](HDEVINFO set, SP_DEVICE_INTERFACE_DATA& i, const std::string&, SP_DEVINFO_DATA& d) {
         return detailOf<SP_DEVICE_INTERFACE_DETAIL_DATA_A>(SetupDiGetDeviceInterfaceDetailA, set, i, d);
     }},
    {"SetupDiOpenDeviceInfoA",
     [](HDEVINFO, SP_DEVICE_INTERFACE_DATA&, const std::string& id, SP_DEVINFO_DATA& d) {
         return openedInNewSet([&](HDEVINFO own, SP_DEVINFO_DATA& device) { return openA(own, id, device); }, d,
                               false);
     }},
    {"SetupDiEnumDeviceInfo",
     [](HDEVINFO, SP_DEVICE_INTERFACE_DATA&, const std::string& id, SP_DEVINFO_DATA& d) {
         return openedInNewSet([&](HDEVINFO own, SP_DEVINFO_DATA& device) { return openA(own, id, device); }, d,
                               true);
     }},
};

// The instance ID of an interface's device, from Wine's own answer (no DevInst involved).
std::string instanceIdOf(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& deviceInterface) {
    SP_DEVINFO_DATA device = emptyDevice();
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &deviceInterface, nullptr, 0, &required, &device);
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    return SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr) ? id : "";
}

// What is wrong with `devInst` as the DevInst of the device `id`, or empty.
std::string faultOf(DEVINST devInst, const std::string& id, std::map<std::string, DEVINST>& numbers) {
    if (devInst == 0) {
        return "DevInst 0";
    }
    const auto [first, inserted] = numbers.emplace(id, devInst);
    if (!inserted && first->second != devInst) {
        return "DevInst " + std::to_string(devInst) + ", elsewhere " + std::to_string(first->second);
    }
    char narrow[MAX_DEVICE_ID_LEN + 1] = {};
    wchar_t wide[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDA(devInst, narrow, MAX_DEVICE_ID_LEN + 1, 0) != CR_SUCCESS || id != narrow) {
        return "CM_Get_Device_IDA(" + std::to_string(devInst) + ") gives \"" + narrow + "\"";
    }
    if (CM_Get_Device_IDW(devInst, wide, MAX_DEVICE_ID_LEN + 1, 0) != CR_SUCCESS ||
        std::wstring(id.begin(), id.end()) != wide) {
        return "CM_Get_Device_IDW(" + std::to_string(devInst) + ") does not give the ID";
    }
    return {};
}

} // namespace

int main() {
    const HDEVINFO set = SetupDiGetClassDevsW(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        std::printf("gap-numbering-check: SetupDiGetClassDevsW failed (%lu)\n", GetLastError());
        return 1;
    }
    std::map<std::string, DEVINST> numbers;
    std::map<DEVINST, std::string> devices;
    int faults = 0;
    SP_DEVICE_INTERFACE_DATA deviceInterface{};
    deviceInterface.cbSize = sizeof deviceInterface;
    DWORD count = 0;
    for (; SetupDiEnumDeviceInterfaces(set, nullptr, &kBoardClass, count, &deviceInterface); ++count) {
        const std::string id = instanceIdOf(set, deviceInterface);
        for (const Way& way : kWays) {
            SP_DEVINFO_DATA device = emptyDevice();
            const bool filled = way.fill(set, deviceInterface, id, device);
            std::string fault = filled ? faultOf(device.DevInst, id, numbers) : "the call failed";
            if (fault.empty() && !devices.emplace(device.DevInst, id).second && devices[device.DevInst] != id) {
                fault = "DevInst " + std::to_string(device.DevInst) + " is also " + devices[device.DevInst];
            }
            if (!fault.empty()) {
                std::printf("%s, %s: %s\n", way.name, id.c_str(), fault.c_str());
                ++faults;
            }
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    std::printf("gap-numbering-check: %lu devices, %zu calls each, %d faults\n", count, std::size(kWays), faults);
    return count > 0 && faults == 0 ? 0 : 1;
}

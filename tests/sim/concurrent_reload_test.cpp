// Several threads walk the devices while the description is rewritten under them: every walk sees
// one whole version of the machine, and nothing is shared unsafely (run under ThreadSanitizer).
#include "board_machine.h"

#include <atomic>
#include <chrono>
#include <thread>

using namespace simtest;

namespace {

std::string versionWith(int boards) {
    std::string devices;
    for (int board = 1; board <= boards; ++board) {
        devices += std::string(board > 1 ? ", " : "") + R"({ "id": "PCI\\VEN_ABCD&DEV_1234\\)" +
                   std::to_string(board) + R"(", "address": )" + std::to_string(board) +
                   R"(, "hardwareKey": { "BusProperties": { "pciBusNumber": )" + std::to_string(board) +
                   R"( } }, "interfaces": [ { "class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}" } ] })";
    }
    return R"({ "devices": [ )" + devices + " ] }";
}

// Replaces the description in one step, so that a reader never sees half a file.
void publish(const TempFolder& folder, const std::string& text, long modified) {
    const std::string staging = folder.file("staging.json");
    writeFile(staging, text);
    setModificationTime(staging, modified);
    std::filesystem::rename(staging, folder.file("machine.json"));
}

// Walks every board as the module does; returns the number of boards, or -1 when a walk found
// something inconsistent.
int walkBoards() {
    ScopedSet set(
        SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (set.get() == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int boards = 0;
    SP_DEVICE_INTERFACE_DATA data = emptyInterfaceData();
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kBoardClass, index, &data);
         ++index) {
        SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
        SetupDiGetDeviceInterfaceDetailA(set.get(), &data, nullptr, 0, nullptr, &deviceInfo);
        ScopedKey hardware(
            SetupDiOpenDevRegKey(set.get(), &deviceInfo, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
        ScopedKey bus;
        DWORD busNumber = 0;
        DWORD size = sizeof busNumber;
        DWORD address = 0;
        if (RegOpenKeyExA(hardware.get(), "BusProperties", 0, KEY_READ, bus.out()) != 0 ||
            RegQueryValueExA(bus.get(), "pciBusNumber", nullptr, nullptr, reinterpret_cast<BYTE*>(&busNumber),
                             &size) != 0 ||
            !SetupDiGetDeviceRegistryPropertyA(set.get(), &deviceInfo, SPDRP_ADDRESS, nullptr,
                                               reinterpret_cast<BYTE*>(&address), sizeof address, nullptr) ||
            busNumber != address) {
            return -1;
        }
        // The configuration manager sees the machine of now, where the second board may be gone.
        DEVINST parent = 0;
        const CONFIGRET walk = CM_Get_Parent(&parent, deviceInfo.DevInst, 0);
        if (walk != CR_SUCCESS && !(walk == CR_INVALID_DEVNODE && address == 2)) {
            return -1;
        }
        ++boards;
    }
    return GetLastError() == ERROR_NO_MORE_ITEMS ? boards : -1;
}

} // namespace

TEST(ConcurrentReload, walks_on_several_threads_each_see_one_whole_version_while_the_file_changes) {
    TempFolder folder;
    publish(folder, versionWith(1), 3000000);
    ScopedMachineVariable variable(folder.file("machine.json"));

    std::atomic<bool> stop{false};
    std::atomic<int> inconsistent{0};
    std::atomic<int> sawOne{0};
    std::atomic<int> sawTwo{0};
    std::vector<std::thread> walkers;
    for (int thread = 0; thread < 4; ++thread) {
        walkers.emplace_back([&] {
            while (!stop.load()) {
                const int boards = walkBoards();
                if (boards == 1) {
                    ++sawOne;
                } else if (boards == 2) {
                    ++sawTwo;
                } else {
                    ++inconsistent;
                }
            }
        });
    }
    for (int version = 1; version <= 40; ++version) {
        publish(folder, versionWith(version % 2 + 1), 3000000 + version);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stop = true;
    for (std::thread& walker : walkers) {
        walker.join();
    }
    EXPECT_EQ(inconsistent.load(), 0);
    EXPECT_GT(sawOne.load(), 0);
    EXPECT_GT(sawTwo.load(), 0);
    EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u);
    EXPECT_EQ(sim::openRegistryKeyCount(), 0u);
}

// The state of a board as the simulated board libraries see it: the "board" member of its device
// in the machine description (docs/machine-format.md), laid over by what the libraries wrote.
//
// Writes go to the state file beside the description (<description>.state.json), replaced
// atomically under an exclusive lock on <description>.state.json.lock, so that another process
// sees them and two writers lose neither write. A machine made in code keeps its writes in memory
// until it is uninstalled.
#pragma once

#include "platform/sim/device/machine.h"
#include "platform/sim/sim_api.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace sim {

// Whole seconds since 1904-01-01 00:00:00 UTC and a fraction in units of 2^-64 s.
struct BoardTime {
    std::int64_t seconds = 0;
    std::uint64_t fraction = 0;
};

// A code that a board library function returns instead of doing its work; with a sensor, only
// for that sensor index.
struct BoardFailure {
    std::int32_t code = 0;
    std::optional<std::int32_t> sensor;
};

struct BoardState {
    static constexpr std::size_t kSensorCount = 4;
    static constexpr std::size_t kMaxPasswordLength = 63;

    // Records that the libraries write; an absent one makes its read fail.
    std::optional<BoardTime> selfCalTime;
    std::optional<double> selfCalTemperature;
    std::optional<BoardTime> externalCalTime;
    std::optional<std::int32_t> externalCalIntervalDays;
    // Absent: the empty password.
    std::optional<std::string> externalCalPassword;

    // Sensor i reads temperatures[i]; sensors past the end have no reading.
    std::vector<double> temperatures;
    std::int32_t selfTest = 0;
    std::int32_t selfCalibration = 0;
    std::int32_t reset = 0;
    // By driver function suffix ("_readTemperature").
    std::map<std::string, BoardFailure> fail;

    // The code that the driver function with this suffix must return now, if any.
    SIM_API std::optional<std::int32_t> failureOf(const std::string& suffix, std::optional<std::int32_t> sensor = {}) const;
};

// The present device with this instance ID (compared without regard to case) and a "board"
// member; empty when there is none. Throws std::runtime_error when the state file cannot be read.
SIM_API std::optional<BoardState> readBoardState(const std::string& deviceId);

// Reads the board's state and hands it to `change`, which returns a status code; a code that is not
// negative stores the changed state. The whole read-change-store holds the store's lock, so two
// changes never interleave. Returns the code of `change`, or nothing when there is no such board.
// Throws std::runtime_error when the state file cannot be read or written.
SIM_API std::optional<std::int32_t> updateBoardState(const std::string& deviceId,
                                             const std::function<std::int32_t(BoardState&)>& change);

// The device owning the interface with this device path (compared without regard to case).
struct InterfaceOwner {
    std::string deviceId;
    GUID interfaceClass{};
    bool present = true;
};
SIM_API std::optional<InterfaceOwner> findInterfaceOwner(const std::string& devicePath);
// A value of the registry key of the device's first interface of `interfaceClass`, in `subkey`.
SIM_API std::optional<RegistryValue> readInterfaceValue(const std::string& deviceId, const GUID& interfaceClass,
                                                const std::string& subkey, const std::string& valueName);

} // namespace sim

// The simulated board driver library. Built once per name (QV_BOARD_LIBRARY: qvkelpdrvu,
// qvkelpmdrvu), it exports the driver functions as that name followed by their suffix.
//
// A function finds its board by the device path it is given, which must be the path of the board's
// main interface: the interface whose class is the "mainInterface" value of the board interface's
// "Properties" key. It answers from the board's state (platform/sim/device/board_state.h); the board's
// "fail" member, by suffix, makes a function return a chosen code instead of its work.
#include "abi/boardLibraries.h"
#include "simlibs/boardSim.h"

#include <limits>

namespace {

using boardsim::kDeviceNotFound;
using boardsim::kInvalidParameter;
using boardsim::kNoRecord;
using sim::BoardState;

constexpr const char* kLibraryName = QV_SIMLIB_TEXT(QV_BOARD_LIBRARY);
constexpr GUID kBoardInterfaceClass = {0x7729C356, 0x96D6, 0x4FAB, {0x8D, 0x01, 0x92, 0x66, 0xFB, 0x3D, 0x1B, 0xD7}};

std::string exportName(const char* suffix) {
    return std::string(kLibraryName) + suffix;
}

// The instance ID of the present board whose main interface has this path; empty when none.
std::string boardOfMainInterface(const char* devicePath) {
    const std::optional<sim::InterfaceOwner> owner = sim::findInterfaceOwner(devicePath);
    if (!owner || !owner->present) {
        return {};
    }
    const std::optional<sim::RegistryValue> mainInterface =
        sim::readInterfaceValue(owner->deviceId, kBoardInterfaceClass, "Properties", "mainInterface");
    const bool isMain = mainInterface && mainInterface->data.size() == sizeof(GUID) &&
                        std::memcmp(mainInterface->data.data(), &owner->interfaceClass, sizeof(GUID)) == 0;
    return isMain ? owner->deviceId : std::string();
}

// The common steps of a driver function: checks, the board, its "fail" member, then `work` on the
// board's instance ID and state.
template <typename Work>
std::int32_t onBoard(const char* suffix, const char* devicePath, bool argumentsValid, std::optional<std::int32_t> sensor,
                     Work work) noexcept {
    return boardsim::answer(exportName(suffix), devicePath, boardsim::kMaxDevicePathLength, [&]() -> std::int32_t {
        if (!argumentsValid) {
            return kInvalidParameter;
        }
        const std::string deviceId = boardOfMainInterface(devicePath);
        const std::optional<BoardState> state = deviceId.empty() ? std::nullopt : sim::readBoardState(deviceId);
        if (!state) {
            return kDeviceNotFound;
        }
        if (const std::optional<std::int32_t> failure = state->failureOf(suffix, sensor)) {
            return *failure;
        }
        return work(deviceId, *state);
    });
}

template <typename Value> std::int32_t deliver(const std::optional<Value>& record, Value* out) {
    if (!record) {
        return kNoRecord;
    }
    *out = *record;
    return 0;
}

std::int32_t deliverTime(const std::optional<sim::BoardTime>& time, std::int64_t* seconds, std::uint64_t* fraction) {
    if (!time) {
        return kNoRecord;
    }
    *seconds = time->seconds;
    *fraction = time->fraction;
    return 0;
}

bool isPassword(const char* text) {
    return boardsim::isTextWithin(text, BoardState::kMaxPasswordLength);
}

// A write: the password is checked against the state the change is made to, under the store's
// lock, so a password changed by another process at the same time is never bypassed.
template <typename Change>
std::int32_t write(const char* suffix, const char* deviceName, bool argumentsValid, const char* password,
                   Change change) noexcept {
    return onBoard(suffix, deviceName, argumentsValid && isPassword(password), std::nullopt,
                   [&](const std::string& deviceId, const BoardState&) {
                       const std::optional<std::int32_t> code =
                           sim::updateBoardState(deviceId, [&](BoardState& state) -> std::int32_t {
                               if (state.externalCalPassword.value_or("") != password) {
                                   return boardlib::kCalPasswordInvalid;
                               }
                               change(state);
                               return 0;
                           });
                       return code.value_or(kDeviceNotFound);
                   });
}

} // namespace

#define QV_BOARD_JOIN2(library, suffix) library##suffix
#define QV_BOARD_JOIN(library, suffix) QV_BOARD_JOIN2(library, suffix)
#define QV_BOARD_FUNCTION(suffix) QV_SIMLIB_EXPORT std::int32_t QV_BOARD_JOIN(QV_BOARD_LIBRARY, suffix)

QV_BOARD_FUNCTION(_selfTest)(const char* devicePath) {
    return onBoard(boardlib::kSelfTestSuffix, devicePath, true, std::nullopt,
                   [](const std::string&, const BoardState& state) { return state.selfTest; });
}

QV_BOARD_FUNCTION(_readTemperature)(const char* devicePath, std::int32_t sensorIndex, double* temperature) {
    const bool validSensor = sensorIndex >= 0 && sensorIndex < boardlib::kSensorCount;
    return onBoard(boardlib::kReadTemperatureSuffix, devicePath, temperature != nullptr && validSensor, sensorIndex,
                   [&](const std::string&, const BoardState& state) {
                       const auto index = static_cast<std::size_t>(sensorIndex);
                       return deliver(index < state.temperatures.size() ? std::optional<double>(state.temperatures[index])
                                                                         : std::nullopt,
                                      temperature);
                   });
}

QV_BOARD_FUNCTION(_readSelfCalTime)(const char* devicePath, std::int64_t* seconds, std::uint64_t* fraction) {
    return onBoard(boardlib::kReadSelfCalTimeSuffix, devicePath, seconds != nullptr && fraction != nullptr,
                   std::nullopt, [&](const std::string&, const BoardState& state) {
                       return deliverTime(state.selfCalTime, seconds, fraction);
                   });
}

QV_BOARD_FUNCTION(_readSelfCalTemperature)(const char* devicePath, double* temperature) {
    return onBoard(boardlib::kReadSelfCalTemperatureSuffix, devicePath, temperature != nullptr, std::nullopt,
                   [&](const std::string&, const BoardState& state) {
                       return deliver(state.selfCalTemperature, temperature);
                   });
}

QV_BOARD_FUNCTION(_readExternalCalVerificationTime)(const char* devicePath, std::int64_t* seconds,
                                                   std::uint64_t* fraction) {
    return onBoard(boardlib::kReadExternalCalVerificationTimeSuffix, devicePath,
                   seconds != nullptr && fraction != nullptr, std::nullopt,
                   [&](const std::string&, const BoardState& state) {
                       return deliverTime(state.externalCalTime, seconds, fraction);
                   });
}

QV_BOARD_FUNCTION(_readExternalCalInterval)(const char* devicePath, std::int32_t* days) {
    return onBoard(boardlib::kReadExternalCalIntervalSuffix, devicePath, days != nullptr, std::nullopt,
                   [&](const std::string&, const BoardState& state) {
                       return deliver(state.externalCalIntervalDays, days);
                   });
}

QV_BOARD_FUNCTION(_writeExternalCalVerificationTime)(const char* deviceName, std::int64_t seconds,
                                                    std::uint64_t fraction, const char* password) {
    return write(boardlib::kWriteExternalCalVerificationTimeSuffix, deviceName, true, password,
                 [&](BoardState& state) { state.externalCalTime = sim::BoardTime{seconds, fraction}; });
}

QV_BOARD_FUNCTION(_writeExternalCalInterval)(const char* deviceName, std::uint32_t days, const char* password) {
    const bool fits = days <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    return write(boardlib::kWriteExternalCalIntervalSuffix, deviceName, fits, password,
                 [&](BoardState& state) { state.externalCalIntervalDays = static_cast<std::int32_t>(days); });
}

QV_BOARD_FUNCTION(_changeExternalCalPassword)(const char* deviceName, const char* newPassword,
                                             const char* currentPassword) {
    return write(boardlib::kChangeExternalCalPasswordSuffix, deviceName, isPassword(newPassword), currentPassword,
                 [&](BoardState& state) { state.externalCalPassword = std::string(newPassword); });
}

// The exports have exactly the types the module calls them through.
static_assert(std::is_same_v<decltype(&QV_BOARD_JOIN(QV_BOARD_LIBRARY, _selfTest)), boardlib::SelfTestFunction>);
static_assert(std::is_same_v<decltype(&QV_BOARD_JOIN(QV_BOARD_LIBRARY, _readTemperature)),
                             boardlib::ReadTemperatureFunction>);
static_assert(std::is_same_v<decltype(&QV_BOARD_JOIN(QV_BOARD_LIBRARY, _readSelfCalTime)),
                             boardlib::ReadSelfCalTimeFunction>);
static_assert(std::is_same_v<decltype(&QV_BOARD_JOIN(QV_BOARD_LIBRARY, _readSelfCalTemperature)),
                             boardlib::ReadSelfCalTemperatureFunction>);
static_assert(std::is_same_v<decltype(&QV_BOARD_JOIN(QV_BOARD_LIBRARY, _readExternalCalVerificationTime)),
                             boardlib::ReadExternalCalVerificationTimeFunction>);
static_assert(std::is_same_v<decltype(&QV_BOARD_JOIN(QV_BOARD_LIBRARY, _readExternalCalInterval)),
                             boardlib::ReadExternalCalIntervalFunction>);
static_assert(std::is_same_v<decltype(&QV_BOARD_JOIN(QV_BOARD_LIBRARY, _writeExternalCalVerificationTime)),
                             boardlib::WriteExternalCalVerificationTimeFunction>);
static_assert(std::is_same_v<decltype(&QV_BOARD_JOIN(QV_BOARD_LIBRARY, _writeExternalCalInterval)),
                             boardlib::WriteExternalCalIntervalFunction>);
static_assert(std::is_same_v<decltype(&QV_BOARD_JOIN(QV_BOARD_LIBRARY, _changeExternalCalPassword)),
                             boardlib::ChangeExternalCalPasswordFunction>);

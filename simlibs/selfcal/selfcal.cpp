// A simulated self-calibration library: one function (QV_SELFCAL_FUNCTION) that finds the board by
// its item name and returns the board state's "selfCalibration" code. A code that is not negative
// also records a new self-calibration: the time now, at the temperature of sensor 0 (the earlier
// temperature stays when the board has no reading for sensor 0).
#include "abi/boardLibraries.h"
#include "simlibs/boardSim.h"

#include <chrono>

namespace {

constexpr const char* kFunctionName = QV_SIMLIB_TEXT(QV_SELFCAL_FUNCTION);
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

// 2^64 / 10^9 = 18446744073.709551616, applied in two parts so that nothing overflows 64 bits.
std::uint64_t fractionOfNanoseconds(std::uint64_t nanoseconds) {
    return nanoseconds * 18446744073ULL + nanoseconds * 709551616ULL / 1000000000ULL;
}

sim::BoardTime timeNow() {
    const std::int64_t nanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const std::int64_t wholeSeconds = nanoseconds / kNanosecondsPerSecond;
    return {wholeSeconds + boardlib::kSecondsFrom1904To1970,
            fractionOfNanoseconds(static_cast<std::uint64_t>(nanoseconds - wholeSeconds * kNanosecondsPerSecond))};
}

} // namespace

QV_SIMLIB_EXPORT std::int32_t QV_SELFCAL_FUNCTION(const char* itemName) {
    return boardsim::answer(kFunctionName, itemName, boardsim::kMaxItemNameLength, [&] {
        const std::optional<std::int32_t> code = sim::updateBoardState(itemName, [](sim::BoardState& state) {
            if (state.selfCalibration >= 0) {
                state.selfCalTime = timeNow();
                if (!state.temperatures.empty()) {
                    state.selfCalTemperature = state.temperatures.front();
                }
            }
            return state.selfCalibration;
        });
        return code.value_or(boardsim::kDeviceNotFound);
    });
}

static_assert(std::is_same_v<decltype(&QV_SELFCAL_FUNCTION), boardlib::SelfCalibrateFunction>);

// What the simulated board libraries share: their failure codes, the checks every exported
// function makes before its work, and the export macro.
//
// An exported function logs its call, refuses a null or over-long text (kInvalidParameter), then
// fails with a fault injected for its exported name and text argument, then does its work; an
// exception (a state file that cannot be read or written, memory) becomes kUnexpected, since no
// exception may cross the library's C boundary.
#pragma once

#include "platform/sim/call_log.h"
#include "platform/sim/device/board_state.h"
#include "platform/sim/machine_access.h"

#include <cstdint>
#include <cstring>
#include <string>

#ifdef _WIN32
#define QV_SIMLIB_EXPORT extern "C" __declspec(dllexport)
#else
#define QV_SIMLIB_EXPORT extern "C" __attribute__((visibility("default")))
#endif
#define QV_SIMLIB_TEXT2(name) #name
#define QV_SIMLIB_TEXT(name) QV_SIMLIB_TEXT2(name)

namespace boardsim {

constexpr std::int32_t kUnexpected = -52003;
// A null pointer, an over-long text, a sensor index outside 0 to 3, a value out of range.
constexpr std::int32_t kInvalidParameter = -52005;
// No present board answers to the device path or item name.
constexpr std::int32_t kDeviceNotFound = -52006;
// The board has no such record (calibration time, temperature, ...).
constexpr std::int32_t kNoRecord = -52012;

// Longest texts taken: a device path fits the system's 256-byte detail record, a device instance ID
// is shorter than 200 characters.
constexpr std::size_t kMaxDevicePathLength = 255;
constexpr std::size_t kMaxItemNameLength = 199;

// Reads at most `limit` + 1 bytes, so an unterminated text is never read past that.
inline bool isTextWithin(const char* text, std::size_t limit) {
    return text != nullptr && ::strnlen(text, limit + 1) <= limit;
}

// The code of a fault injected for this call and argument, or 0.
inline std::int32_t injectedFault(const std::string& function, const char* argument) {
    DWORD error = 0;
    return winsim::takeInjectedFault(function.c_str(), argument, &error) ? static_cast<std::int32_t>(error) : 0;
}

// The checks of every exported function with a text argument, then `work`'s code.
template <typename Work>
std::int32_t answer(const std::string& function, const char* argument, std::size_t maxLength, Work work) noexcept {
    sim::logCall(function, argument);
    if (!isTextWithin(argument, maxLength)) {
        return kInvalidParameter;
    }
    if (const std::int32_t fault = injectedFault(function, argument)) {
        return fault;
    }
    try {
        return work();
    } catch (...) {
        return kUnexpected;
    }
}

} // namespace boardsim

// For programs that drive the simulated Windows (hwconfig): a machine description handed to the
// simulation itself, read once, so that a malformed file is refused with the simulation's own
// diagnostic instead of quietly becoming the empty machine. There is no such thing on Windows.
#pragma once

#ifndef _WIN32
#include "platform/sim/device/machine.h"

#include <stdexcept>
#include <string>

// Empty when the simulation has taken the file as the machine that QVKELP_MACHINE names, else the
// diagnostic line for it.
inline std::string takeMachineFile(const std::string& path) {
    try {
        sim::useMachineFile(path);
        return {};
    } catch (const std::invalid_argument& problem) {
        return problem.what();
    }
}
#endif

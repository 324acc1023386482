// For programs that drive the simulated Windows (hwconfig): whether a machine description can be
// used, asked of the simulation itself, so that a malformed file is refused with the simulation's
// own diagnostic instead of quietly becoming the empty machine. There is no such thing on Windows.
#pragma once

#ifndef _WIN32
#include "platform/sim/device/machine.h"

#include <stdexcept>
#include <string>

// The diagnostic line for the file, or empty when the simulation reads it as a machine.
inline std::string machineFileProblem(const std::string& path) {
    try {
        sim::loadMachineFile(path);
        return {};
    } catch (const std::invalid_argument& problem) {
        return problem.what();
    }
}
#endif

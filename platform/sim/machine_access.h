// What the parts of the simulated Windows ask of the current machine description.
//
// The machine is read from the file named by QVKELP_MACHINE when first needed and read again
// when that variable or the file's modification time changes; without the variable the machine
// is empty. A test may instead install a machine made in code.
#pragma once

#include "platform/sim/win32_types.h"
#include "platform/sim/sim_api.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

struct MachineFacts {
    // Drive letter (upper case) to the absolute folder it is mapped to.
    std::map<char, std::string> drives;
    // The common application-data folder as Windows reports it, e.g. C:\ProgramData.
    std::u16string commonAppData = u"C:\\ProgramData";
    // Absolute folders searched first by LoadLibraryExW.
    std::vector<std::string> libraryPath;
    // The ANSI code page (CP_ACP).
    UINT ansiCodePage = 1252;
};

// The facts of the current machine; never null.
SIM_API std::shared_ptr<const MachineFacts> currentMachineFacts();

// Fault injection: true when the named call must fail now for this argument, with *error set to
// the Win32 error (or HRESULT / CONFIGRET, as the call reports) it must fail with. Each call
// that can be made to fail asks this once on entry, after validating its arguments.
SIM_API bool takeInjectedFault(const char* call, std::string_view argument, DWORD* error);

} // namespace winsim

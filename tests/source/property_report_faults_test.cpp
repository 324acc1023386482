// Whatever fails during a board's report - a system call at any step, a bag setter - the host gets
// a failure and no bag, and the report leaves no device set, registry key, library or file lock
// behind.
#include "source/ChwSysExpertKELP.h"

#include "common/call_log_file.h"
#include "common/report_machine.h"
#include "platform/sim/runtime/test_hooks.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>

using namespace qvkelpsysapiexpert;
using namespace reporttest;

namespace {

// More than any one report makes of each call.
constexpr std::uint32_t kMostCallsOfOneKind = 40;

const char* const kCalls[] = {
    "SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailA",
    "SetupDiOpenDeviceInterfaceRegKey", "SetupDiOpenDevRegKey", "SetupDiDestroyDeviceInfoList",
    "SetupDiGetDeviceInstanceIdA", "SetupDiGetDeviceRegistryPropertyA", "SetupDiOpenDeviceInfoA",
    "SetupDiEnumDeviceInfo", "CM_Get_Parent", "CM_Get_Child", "CM_Get_Sibling", "CM_Get_Device_IDA",
    "RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey", "nQVPXIINIT100_openPXISession",
    "nQVPXIINIT100_getDeviceU32Attribute", "LoadLibraryExW", "GetProcAddress", "SHGetFolderPathW",
    "platformOpenFile", "CreateEventA", "LockFileEx", "UnlockFileEx", "GetOverlappedResult",
};

std::size_t countLines(const std::vector<std::string>& lines, const std::string& start) {
    return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.rfind(start, 0) == 0 && line.find(" -> error") == std::string::npos;
    }));
}

class PropertyReportFaults : public ::testing::Test {
protected:
    void SetUp() override {
        drive.write(aliasFileNaming({0}));
        ASSERT_EQ(createExpert(&expert), S_OK);
    }
    void TearDown() override {
        expert->Release();
        winsim_failSysAllocString(0, 0);
        sim::uninstallMachine();
    }

    // The host's result; a bag handed out on success is released at once.
    HRESULT reportBoard0() {
        const std::string name = boardId(0);
        const std::u16string itemName(name.begin(), name.end());
        IhwSysPropertyBag* bag = reinterpret_cast<IhwSysPropertyBag*>(&bag);
        const HRESULT result = expert->GetResourceProperties(itemName.c_str(), &bag);
        EXPECT_EQ(FAILED(result), bag == nullptr) << std::hex << result;
        if (bag != nullptr) {
            bag->Release();
        }
        return result;
    }

    void expectNothingLeftOpen(const CallLogFile& log, const std::string& step) const {
        EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u) << step;
        EXPECT_EQ(sim::openRegistryKeyCount(), 0u) << step;
        const std::vector<std::string> lines = log.lines();
        EXPECT_EQ(countLines(lines, "LoadLibraryExW "), countLines(lines, "FreeLibrary ")) << step;
        const int fd = ::open(drive.aliasFile().c_str(), O_RDWR);
        ASSERT_GE(fd, 0) << step;
        struct flock whole = {};
        whole.l_type = F_WRLCK;
        EXPECT_EQ(::fcntl(fd, F_OFD_SETLK, &whole), 0) << step << ": the alias file is still locked";
        ::close(fd);
    }

    AliasDrive drive;
    IhwSysExpert2* expert = nullptr;
};

} // namespace

TEST_F(PropertyReportFaults, a_call_failing_at_any_step_leaves_nothing_open) {
    for (const char* call : kCalls) {
        for (std::uint32_t after = 0; after < kMostCallsOfOneKind; ++after) {
            sim::Machine machine = reportMachine(drive, {BoardSpec{}});
            machine.addFault({call, ERROR_NOT_ENOUGH_MEMORY, std::nullopt, after, 1u});
            sim::installMachine(machine);
            const CallLogFile log;
            reportBoard0();
            expectNothingLeftOpen(log, std::string(call) + " after " + std::to_string(after));
        }
    }
}

TEST_F(PropertyReportFaults, a_bag_setter_that_runs_out_of_memory_ends_the_report_with_e_outofmemory) {
    sim::installMachine(reportMachine(drive, {BoardSpec{}}));
    // Every string setter copies its text with SysAllocString; fail each copy in turn until the
    // report no longer reaches a failing one.
    HRESULT result = E_OUTOFMEMORY;
    unsigned successes = 0;
    for (; result == E_OUTOFMEMORY; ++successes) {
        winsim_failSysAllocString(successes, 1);
        const CallLogFile log;
        result = reportBoard0();
        expectNothingLeftOpen(log, "SysAllocString after " + std::to_string(successes));
    }
    EXPECT_EQ(result, S_OK);
    // The table has 17 string rows for this board (names, place, paths, sensor names, routing).
    EXPECT_EQ(successes - 1, 17u) << "not every string setter was made to fail";
}

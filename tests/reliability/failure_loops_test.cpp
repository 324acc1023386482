// Every host operation with each simulated call it makes failing in turn, and with each allocation
// of the module failing in turn: every run gives the failure the operation reports (or, for a call
// whose failure it drops by design, its usual result), releases every handle, block, lock, library
// and reset session, and leaves aliases.json byte for byte as it was unless the operation
// succeeded. LeakSanitizer checks the heap at exit in the asan preset.
#include "module_allocations.h"
#include "operations.h"

#include "abi/boardLibraries.h"
#include "common/call_log_checks.h"
#include "common/call_log_file.h"

#include "platform/sim/device/machine.h"
#include "platform/sim/runtime/memory_hooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

using namespace reliability;

namespace {

// A failure each call plausibly meets, in the form that call reports it.
DWORD plausibleError(const std::string& call) {
    const auto startsWith = [&call](const char* prefix) { return call.rfind(prefix, 0) == 0; };
    if (startsWith("SetupDi") || call == "CreateEventA") {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (startsWith("CM_")) {
        return 0x02; // CR_OUT_OF_MEMORY
    }
    if (startsWith("Reg") || call == "DeleteFileA") {
        return ERROR_ACCESS_DENIED;
    }
    if (call == "platformOpenFile") {
        return EACCES;
    }
    if (call == "_chsize_s") {
        return ENOSPC;
    }
    if (call == "LockFileEx") {
        return ERROR_LOCK_VIOLATION;
    }
    if (call == "UnlockFileEx") {
        return 158; // ERROR_NOT_LOCKED
    }
    if (call == "GetOverlappedResult") {
        return 995; // ERROR_OPERATION_ABORTED
    }
    if (call == "LoadLibraryExW") {
        return ERROR_MOD_NOT_FOUND;
    }
    if (call == "GetProcAddress") {
        return ERROR_PROC_NOT_FOUND;
    }
    if (call == "SHGetFolderPathW") {
        return static_cast<DWORD>(E_ACCESSDENIED);
    }
    return static_cast<DWORD>(-52003); // the simulated libraries report status codes
}

// A self-calibration's "_pin" companion is loaded without regard to the result: boards without one
// have no such library. Every other load that fails must fail the operation.
bool droppedByDesign(const Operation& operation, const std::string& call, const std::vector<std::string>& log) {
    if (call == "LoadLibraryExW") {
        return std::any_of(log.begin(), log.end(), [](const std::string& line) {
            return line.rfind("LoadLibraryExW ", 0) == 0 && line.find("_pin -> error") != std::string::npos;
        });
    }
    return operation.droppedFailures.count(call) != 0;
}

std::string hex(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

using OpenSessionCount = std::uint32_t (*)();

class FailureLoops : public hosttest::LoadedModuleTest {
protected:
    // The reset library stays loaded by the test, so that its count of open sessions outlives
    // every run; loaded before the call log exists, so the log shows only the module's loads.
    static void SetUpTestSuite() {
        LoadedModuleTest::SetUpTestSuite();
        resetLibrary.reset(LoadLibraryExW(OLESTR("qvrocoapi"), nullptr, 0));
        ASSERT_NE(resetLibrary, nullptr);
        openSessionCount = reinterpret_cast<OpenSessionCount>(
            reinterpret_cast<void (*)()>(GetProcAddress(resetLibrary.get(), "qvrocoapiSim_openSessionCount")));
        ASSERT_NE(openSessionCount, nullptr);
    }
    static void TearDownTestSuite() {
        resetLibrary.reset();
        LoadedModuleTest::TearDownTestSuite();
    }
    void SetUp() override {
        ASSERT_NE(create, nullptr);
        setModuleAddress(reinterpret_cast<const void*>(create));
    }
    void TearDown() override { sim::uninstallMachine(); }

    // The machine with `faults`, recording its calls, with the board libraries' state as described;
    // the alias file as at the start, no recovery copy, an empty call log.
    void reset(std::vector<sim::Fault> faults = {}) {
        drive_.write(kAliasText);
        std::filesystem::remove(recoveryFile());
        callLog_.clear();
        sim::Machine machine = reliabilityMachine(drive_);
        machine.recordCalls = true;
        machine.faults = std::move(faults);
        sim::installMachine(machine);
    }

    std::filesystem::path recoveryFile() const { return drive_.aliasFile().string() + ".recovery"; }

    HRESULT runOnce(const Operation& operation) {
        liveTaskMemory_ = winsimLiveTaskMemoryBlocks();
        IhwSysExpert2* raw = nullptr;
        const HRESULT created = create(&raw);
        if (raw == nullptr) {
            return created;
        }
        const auto expert = hosttest::ComRef<IhwSysExpert2>::attach(raw);
        return operation.run(expert.get());
    }

    void expectReleasedAndUntouched(HRESULT result, const std::string& where) {
        EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u) << where;
        EXPECT_EQ(sim::openRegistryKeyCount(), 0u) << where;
        EXPECT_EQ(winsimLiveTaskMemoryBlocks(), liveTaskMemory_) << where;
        EXPECT_EQ(openSessionCount(), 0u) << where;
        expectEverythingReleased(callLog_.lines(), where);
        if (result != S_OK) {
            EXPECT_EQ(drive_.read(), kAliasText) << where;
        }
    }

    static inline qv::unique_hmodule resetLibrary;
    static inline OpenSessionCount openSessionCount = nullptr;
    reporttest::AliasDrive drive_;
    CallLogFile callLog_;
    long long liveTaskMemory_ = 0;
};

} // namespace

TEST_F(FailureLoops, each_simulated_call_failing_in_turn_fails_the_operation_cleanly_unless_dropped_by_design) {
    for (const Operation& operation : kOperations) {
        reset();
        ASSERT_EQ(runOnce(operation), S_OK) << operation.name;
        const std::vector<std::string> calls = sim::recordedCalls();
        for (std::size_t k = 0; k < calls.size(); ++k) {
            reset({{"*", plausibleError(calls[k]), std::nullopt, static_cast<std::uint32_t>(k), 1}});
            const HRESULT result = runOnce(operation);
            const std::string where = std::string(operation.name) + ", call " + std::to_string(k + 1) + " " +
                                      calls[k] + " failing: " + hex(result);
            ASSERT_GT(sim::recordedCalls().size(), k) << where;
            ASSERT_EQ(sim::recordedCalls()[k], calls[k]) << where;
            if (!droppedByDesign(operation, calls[k], callLog_.lines())) {
                EXPECT_TRUE(FAILED(result)) << where;
            } else {
                EXPECT_TRUE(result == S_OK || FAILED(result)) << where;
            }
            expectReleasedAndUntouched(result, where);
        }
        std::printf("%s: %zu simulated calls failed in turn\n", operation.name, calls.size());
    }
}

TEST_F(FailureLoops, each_allocation_of_the_module_failing_in_turn_gives_out_of_memory_and_releases_everything) {
    constexpr unsigned kMostAllocations = 20000;
    for (const Operation& operation : kOperations) {
        unsigned reportedAsFailure = 0;
        for (const Allocator allocator : {Allocator::heap, Allocator::json, Allocator::taskMemory, Allocator::bstr}) {
            unsigned nth = 1;
            for (; nth < kMostAllocations; ++nth) {
                reset();
                HRESULT result = S_OK;
                bool fired = false;
                {
                    const ModuleAllocationFailure failure(allocator, nth);
                    result = runOnce(operation);
                    fired = failure.fired();
                }
                const std::string where = std::string(operation.name) + ", " + nameOf(allocator) + " " +
                                          std::to_string(nth) + " failing: " + hex(result);
                expectReleasedAndUntouched(result, where);
                if (!fired) {
                    EXPECT_EQ(result, S_OK) << where;
                    break;
                }
                reportedAsFailure += result == E_FAIL ? 1 : 0;
                EXPECT_TRUE(result == E_OUTOFMEMORY || result == E_FAIL) << where;
            }
            std::printf("%s: %u allocations by %s failed in turn\n", operation.name, nth - 1,
                        nameOf(allocator).c_str());
        }
        EXPECT_EQ(reportedAsFailure, operation.outOfMemoryAsFailure) << operation.name;
    }
}

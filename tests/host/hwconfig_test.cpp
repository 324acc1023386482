// hwconfig as a user runs it: exit codes and what it prints.
#include "host_module.h"
#include "hwconfig_run.h"

#include <gtest/gtest.h>

#include <string>

using hosttest::kMachines;
using hosttest::ProgramRun;
using hosttest::runHwconfig;

TEST(Hwconfig, list_runs_on_the_lab_machine_by_default_and_shows_its_present_boards_in_order) {
    const ProgramRun run = runHwconfig("list");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const char* const expected[] = {
        "1   PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\6&3A1C9E2&0&000800E0\n",
        "2   PCI\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\6&1E07B5D&0&001000E0\n",
        "3   PCI\\VEN_1F2B&DEV_7A40&SUBSYS_7A401F2B&REV_03\\6&2C96F41&0&001800E0\n",
        "4   PCI\\VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02\\4&19AE3D07&0&0018\n",
    };
    std::size_t position = 0;
    for (const char* line : expected) {
        const std::size_t found = run.output.find(line, position);
        ASSERT_NE(found, std::string::npos) << line << "\nin\n" << run.output;
        position = found;
    }
    EXPECT_EQ(run.output.find("7B20"), std::string::npos) << "the unplugged board was listed";
}

TEST(Hwconfig, list_json_gives_the_names_with_json_escapes) {
    const ProgramRun run = runHwconfig("--machine " + kMachines + "three-boards.json list --json");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("\"boards\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(
                  "\"itemName\":\t\"PCI\\\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\\\4&2A5E1B0&0&00E0\""),
              std::string::npos)
        << run.output;

    const ProgramRun empty = runHwconfig("--json --machine " + kMachines + "no-boards.json list");
    ASSERT_EQ(empty.exitCode, 0) << empty.output;
    EXPECT_NE(empty.output.find("\"boards\":\t[]"), std::string::npos) << empty.output;
}

TEST(Hwconfig, a_machine_without_boards_says_so) {
    const ProgramRun run = runHwconfig("list --machine " + kMachines + "no-boards.json");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "No boards found.\n");
}

TEST(Hwconfig, mistakes_and_failures_end_with_a_message_and_a_non_zero_exit_code) {
    const struct {
        std::string arguments;
        int exitCode;
        std::string message;
    } cases[] = {
        {"frobnicate", 2, "unknown command frobnicate"},
        {"", 2, "no command given"},
        {"list --machine", 2, "--machine needs a file name"},
        {"list --colour", 2, "unknown option --colour"},
        {"list --machine " + kMachines + "no-such-machine.json", 1, "machine description not found"},
        {"list --machine " + kMachines + "failing-listing.json", 1,
         "listing the boards (EnumerateItemNames): E_OUTOFMEMORY (0x8007000E)"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runHwconfig(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    }
}

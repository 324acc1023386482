// hwconfig's commands end to end: the built program on the lab machine and on small machines of the
// tests' own, each command in text and in JSON, and every way a command line can go wrong.
#include "host_module.h"
#include "hwconfig_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using namespace hosttest;

namespace {

const std::string kSharedAliases = "--machine " + kMachines + "shared-aliases.json ";
const std::string kTwoBoards = "--machine " + kMachines + "two-boards.json ";

// A machine description the simulation refuses: "devices" is not an array.
std::string malformedMachine() {
    const std::string path = ::testing::TempDir() + "hwconfig-malformed.json";
    std::ofstream(path) << R"({ "devices": 3 })";
    return path;
}

} // namespace

TEST(HwconfigAliases, lists_every_record_with_its_board_and_flags_shared_and_absent_ones) {
    const ProgramRun text = runHwconfig(kSharedAliases + "aliases");
    ASSERT_EQ(text.exitCode, 0) << text.output;
    EXPECT_EQ(text.out,
              "Alias  Board      Shared  Key\n"
              "Bench  present    shared  pci:ven_abcd&dev_1234&subsys_abcd5678&rev_01/0000:00:e0:00\n"
              "Bench  absent     shared  PCI:VEN_ABCD&DEV_9999&SUBSYS_ABCD0001&REV_01/0000:00:E8:00\n"
              "Sim1   simulated  -       PCI:VEN_ABCD&DEV_7777&SUBSYS_ABCD0002&REV_01/0000:00:10\n");

    const ProgramRun json = runHwconfig("--json " + kSharedAliases + "aliases");
    ASSERT_EQ(json.exitCode, 0) << json.output;
    EXPECT_EQ(compactJson(json.out),
              R"({"file":"C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json","records":[)"
              R"({"alias":"Bench","key":"pci:ven_abcd&dev_1234&subsys_abcd5678&rev_01/0000:00:e0:00","present":true,)"
              R"("itemName":"PCI\\VEN_ABCD&DEV_1234&SUBSYS_5678ABCD&REV_01\\4&2A5E1B0&0&00E0","simulated":false,"shared":true},)"
              R"({"alias":"Bench","key":"PCI:VEN_ABCD&DEV_9999&SUBSYS_ABCD0001&REV_01/0000:00:E8:00","present":false,)"
              R"("itemName":null,"simulated":false,"shared":true},)"
              R"({"alias":"Sim1","key":"PCI:VEN_ABCD&DEV_7777&SUBSYS_ABCD0002&REV_01/0000:00:10","present":false,)"
              R"("itemName":null,"simulated":true,"shared":false}]})");
}

TEST(HwconfigAliases, finds_the_board_of_the_lab_machines_one_record) {
    const ProgramRun run = runHwconfig("aliases");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.out, "Alias          Board    Shared  Key\n"
                       "ScopeFrontEnd  present  -       "
                       "PCI:VEN_1F2B&DEV_7A22&SUBSYS_1F2B7A22&REV_01/0000:00:E0:00:10:00\n");
}

TEST(HwconfigFrame, every_command_has_its_own_help) {
    for (const std::string command : {"list", "tree", "aliases", "cal due"}) {
        const ProgramRun run = runHwconfig(command + " --help");
        EXPECT_EQ(run.exitCode, 0) << command << "\n" << run.output;
        EXPECT_NE(run.out.find("Usage: hwconfig " + command + " [OPTIONS]"), std::string::npos)
            << command << "\n" << run.out;
        EXPECT_EQ(run.err, "") << command;
    }
}

TEST(HwconfigFrame, options_take_their_value_after_an_equals_sign_too) {
    const ProgramRun run = runHwconfig("list --machine=" + kMachines + "no-boards.json");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.out, "No boards found.\n");
}

TEST(HwconfigFrame, a_failure_prints_one_line_naming_what_failed_and_exits_non_zero) {
    const struct {
        std::string arguments;
        std::string stdoutTarget;
        int exitCode;
        std::string line;
    } cases[] = {
        {kTwoBoards + "aliases", "", 1,
         "cannot open the alias file C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json (missing or unreadable): "
         "E_UNEXPECTED (0x8000FFFF)"},
        {"--machine '' list", "", 1, "--machine needs a file name, not an empty one"},
        {"--machine /dev/null list", "", 1, "machine description is not a file: /dev/null"},
        {"--machine " + kMachines + " list", "", 1, "machine description is not a file: " + kMachines},
        {"--machine " + malformedMachine() + " list", "", 1,
         "cannot use the machine description " + malformedMachine() + ": devices: expected an array"},
        {"list", "> /dev/full", 1, "writing the output failed: No space left on device"},
        {"list extra", "", 2, "unexpected argument extra (see hwconfig --help)"},
        {"cal", "", 2, "cal needs a command: due (see hwconfig --help)"},
        {"cal due --within -1", "", 2, "--within: Value -1 not in range 0 to 36500 (see hwconfig --help)"},
        {"cal due --at 2026-02-30", "", 2,
         "--at needs a date such as 2026-03-18 or 2026-03-18T07:42:10Z, not 2026-02-30 (see hwconfig --help)"},
        {"--json tree --dot", "", 2, "tree writes either --json or --dot, not both (see hwconfig --help)"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runHwconfig(c.arguments, c.stdoutTarget);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.err, "hwconfig: " + c.line + "\n") << c.arguments;
        EXPECT_EQ(run.out, "") << c.arguments;
    }
}

TEST(HwconfigFrame, with_json_a_failure_is_also_a_json_document_on_standard_output) {
    const ProgramRun run = runHwconfig("--json " + kTwoBoards + "aliases");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(compactJson(run.out),
              R"j({"error":{"message":"cannot open the alias file C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json )j"
              R"j((missing or unreadable): E_UNEXPECTED (0x8000FFFF)","hresult":"0x8000FFFF","name":"E_UNEXPECTED"}})j");
}

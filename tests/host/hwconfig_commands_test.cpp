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
              "Alias  Board      Shared  Syntax  Key\n"
              "Bench  present    shared  ok      pci:ven_abcd&dev_1234&subsys_abcd5678&rev_01/0000:00:e0:00\n"
              "Bench  absent     shared  ok      PCI:VEN_ABCD&DEV_9999&SUBSYS_ABCD0001&REV_01/0000:00:E8:00\n"
              "Sim1   simulated  -       ok      PCI:VEN_ABCD&DEV_7777&SUBSYS_ABCD0002&REV_01/0000:00:10\n");

    const ProgramRun json = runHwconfig("--json " + kSharedAliases + "aliases");
    ASSERT_EQ(json.exitCode, 0) << json.output;
    EXPECT_EQ(
        compactJson(json.out),
        R"({"file":"C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json","byteOrderMark":false,"records":[)"
        R"({"alias":"Bench","key":"pci:ven_abcd&dev_1234&subsys_abcd5678&rev_01/0000:00:e0:00","present":true,)"
        R"("itemName":"PCI\\VEN_ABCD&DEV_1234&SUBSYS_5678ABCD&REV_01\\4&2A5E1B0&0&00E0","simulated":false,"shared":true,"duplicateKey":false,)"
        R"("validAlias":true},)"
        R"({"alias":"Bench","key":"PCI:VEN_ABCD&DEV_9999&SUBSYS_ABCD0001&REV_01/0000:00:E8:00","present":false,)"
        R"("itemName":null,"simulated":false,"shared":true,"duplicateKey":false,"validAlias":true},)"
        R"({"alias":"Sim1","key":"PCI:VEN_ABCD&DEV_7777&SUBSYS_ABCD0002&REV_01/0000:00:10","present":false,)"
        R"("itemName":null,"simulated":true,"shared":false,"duplicateKey":false,"validAlias":true}]})");
}

TEST(HwconfigAliases, finds_the_board_of_the_lab_machines_one_record) {
    const ProgramRun run = runHwconfig("aliases");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.out, "Alias          Board    Shared  Syntax  Key\n"
                       "ScopeFrontEnd  present  -       ok      "
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
         "cannot open the alias file C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json: it is missing; "
         "an administrator makes it with qvkelp-setup (qvkelp-setup --check says what is missing): "
         "E_UNEXPECTED (0x8000FFFF)"},
        {"--machine '' list", "", 2,
         "--machine needs a file name, not an empty one\nUsage: hwconfig list [OPTIONS]\nSee hwconfig list --help."},
        {"--machine /dev/null list", "", 1, "machine description is not a file: /dev/null"},
        {"--machine " + kMachines + " list", "", 1, "machine description is not a file: " + kMachines},
        {"--machine " + malformedMachine() + " list", "", 1,
         "cannot use the machine description " + malformedMachine() + ": devices: expected an array"},
        {"list", "> /dev/full", 1, "writing the output failed: No space left on device"},
        {"list extra", "", 2,
         "unexpected argument extra\nUsage: hwconfig list [OPTIONS]\nSee hwconfig list --help."},
        {"cal", "", 2,
         "BOARD is required\nUsage: hwconfig cal [OPTIONS] [BOARD] [SUBCOMMAND]\nSee hwconfig cal --help."},
        {"cal due --within -1", "", 2,
         "--within: -1 is not a whole number from 0 to 36500 in decimal digits\nUsage: hwconfig cal due "
         "[OPTIONS]\nSee hwconfig cal due --help."},
        {"cal due --at 2026-02-30", "", 2,
         "--at: 2026-02-30 is not a day or time of the calendar\nUsage: hwconfig cal due "
         "[OPTIONS]\nSee hwconfig cal due --help."},
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
    EXPECT_EQ(
        compactJson(run.out),
        R"j({"error":{"message":"cannot open the alias file C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json)j"
        R"j(: it is missing; an administrator makes it with qvkelp-setup (qvkelp-setup --check says what )j"
        R"j(is missing): E_UNEXPECTED (0x8000FFFF)","hresult":2147549183,"name":"E_UNEXPECTED",)j"
        R"j("moduleText":null,"exitCode":1,"candidates":[]}})j");
}

TEST(HwconfigTree, places_the_lab_boards_below_their_host_bridges_and_ports) {
    const ProgramRun text = runHwconfig("tree");
    ASSERT_EQ(text.exitCode, 0) << text.output;
    EXPECT_EQ(text.out, "[0000:00] host bridge ACPI\\PNP0A08\\0\n"
                        "\\- 1c.0 root port 8086:a110\n"
                        "   \\- 00.0 switch port 10b5:8733\n"
                        "      +- 01.0 switch port 10b5:8733\n"
                        "      |  \\- 00.0 PXI1Slot2  QV-KELP 4110  PXI chassis 1, slot 2\n"
                        "      +- 02.0 switch port 10b5:8733\n"
                        "      |  \\- 00.0 ScopeFrontEnd  QV-KELP 4220  PXI chassis 1, slot 3\n"
                        "      \\- 03.0 switch port 10b5:8733\n"
                        "         \\- 00.0 PXI1Slot4  QV-KELP 4480R  PXI chassis 1, slot 4\n"
                        "[0000:01] host bridge ACPI\\PNP0A08\\1\n"
                        "\\- 03.0 root port 8086:2030\n"
                        "   \\- 00.0 PXI0Slot0  QV-KELP 2310e\n");

    const ProgramRun dot = runHwconfig("tree --dot");
    ASSERT_EQ(dot.exitCode, 0) << dot.output;
    EXPECT_EQ(dot.out.rfind("digraph boards {\n", 0), 0u) << dot.out;
    EXPECT_NE(dot.out.find("  n11 [label=\"00.0 PXI0Slot0  QV-KELP 2310e\", style=bold];\n  n10 -> n11;\n"),
              std::string::npos)
        << dot.out;
}

TEST(HwconfigTree, json_nests_each_board_under_its_ports_with_numbers_as_numbers) {
    const ProgramRun run = runHwconfig("--json tree");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(
        compactJson(run.out).find(
            R"({"kind":"hostBridge","instanceId":"ACPI\\PNP0A08\\1","root":"0000:01","children":[)"
            R"({"kind":"rootPort","instanceId":"PCI\\VEN_8086&DEV_2030&SUBSYS_00000000&REV_04\\3&2F1E4C9&0&18",)"
            R"("device":3,"function":0,"vendorId":32902,"deviceId":8240,"children":[{"kind":"board",)"
            R"("instanceId":"PCI\\VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02\\4&19AE3D07&0&0018","device":0,)"
            R"("function":0,"vendorId":7979,"deviceId":31504,"number":4,"itemName":"PCI\\VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02\\4&19AE3D07&0&0018",)"
            R"("alias":"PXI0Slot0","model":"QV-KELP 2310e","pxi":null,"error":null,"children":[]}]}]})"),
        std::string::npos)
        << run.out;
}

TEST(HwconfigCalDue, lists_overdue_and_soon_due_boards_soonest_first_with_an_exit_code_per_outcome) {
    const struct {
        std::string arguments;
        int exitCode;
        std::string out;
    } cases[] = {
        {"cal due --at 2026-03-01", 0, "No calibration due within 30 days.\n"},
        {"cal due --at 2026-05-15", 7,
         "#  Alias          Due         Status          Item name\n"
         "2  ScopeFrontEnd  2026-06-01  due in 17 days  PCI\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\6&1E07B5D&0&001000E0\n"},
        {"cal due --at 2027-03-01", 8,
         "#  Alias          Due         Status               Item name\n"
         "2  ScopeFrontEnd  2026-06-01  overdue by 273 days  PCI\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\6&1E07B5D&0&001000E0\n"
         "1  PXI1Slot2      2027-03-18  due in 17 days       PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\6&3A1C9E2&0&000800E0\n"},
        {"cal due --at 2027-03-01 --within=0", 8,
         "#  Alias          Due         Status               Item name\n"
         "2  ScopeFrontEnd  2026-06-01  overdue by 273 days  PCI\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\6&1E07B5D&0&001000E0\n"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runHwconfig(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.out, c.out) << c.arguments;
    }

    const ProgramRun json = runHwconfig("cal due --json --at 2026-05-15T12:00:00Z");
    EXPECT_EQ(json.exitCode, 7) << json.output;
    EXPECT_EQ(compactJson(json.out),
              R"({"asOf":"2026-05-15T12:00:00Z","withinDays":30,"boards":[)"
              R"({"number":2,"itemName":"PCI\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\6&1E07B5D&0&001000E0",)"
              R"("alias":"ScopeFrontEnd","due":"2026-06-01T00:00:00Z","daysLeft":17,"overdue":false}],"failed":[]})");
}

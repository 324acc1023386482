// hwconfig as a user runs it: exit codes and what it prints.
#include "host_module.h"
#include "rename_machine.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

using hosttest::kMachines;

namespace {

const std::string kProgram = std::string(QV_RUNTIME_DIR) + "/hwconfig";

struct ProgramRun {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

ProgramRun runHwconfig(const std::string& arguments) {
    ProgramRun run;
    FILE* pipe = popen((kProgram + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 512> chunk{};
    while (std::fgets(chunk.data(), chunk.size(), pipe) != nullptr) {
        run.output += chunk.data();
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(Hwconfig, list_runs_on_the_lab_machine_by_default_and_shows_its_present_boards_in_order) {
    const ProgramRun run = runHwconfig("list");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // Number, alias (stored or the default made of the PXI place), model, serial, place, item name.
    const std::vector<std::vector<std::string>> expected = {
        {"1 ", "PXI1Slot2", "QV-KELP 4110", "01D4A7F2", "PXI1/2",
         "PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\6&3A1C9E2&0&000800E0"},
        {"2 ", "ScopeFrontEnd", "QV-KELP 4220", "01D5B013", "PXI1/3",
         "PCI\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\6&1E07B5D&0&001000E0"},
        {"3 ", "PXI1Slot4", "QV-KELP 4480R", "01E2C95A", "PXI1/4",
         "PCI\\VEN_1F2B&DEV_7A40&SUBSYS_7A401F2B&REV_03\\6&2C96F41&0&001800E0"},
        {"4 ", "PXI0Slot0", "QV-KELP 2310e", "01C0DE77", " - ",
         "PCI\\VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02\\4&19AE3D07&0&0018"},
    };
    const std::vector<std::string> lines = linesOf(run.output);
    ASSERT_EQ(lines.size(), expected.size() + 1) << run.output; // a heading, then one line per board
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::size_t position = 0;
        for (const std::string& field : expected[i]) {
            position = lines[i + 1].find(field, position);
            ASSERT_NE(position, std::string::npos) << field << "\nin\n" << lines[i + 1];
        }
        EXPECT_EQ(lines[i + 1].rfind(expected[i].front(), 0), 0u) << lines[i + 1];
    }
    EXPECT_EQ(run.output.find("7B20"), std::string::npos) << "the unplugged board was listed";
}

TEST(Hwconfig, a_board_whose_report_fails_is_still_listed_with_its_error) {
    // Boards without registry values, on a machine without an alias file.
    const ProgramRun run = runHwconfig("--machine " + kMachines + "three-boards.json list");
    ASSERT_EQ(run.exitCode, 10) << run.output;
    const std::vector<std::string> lines = linesOf(run.output);
    ASSERT_EQ(lines.size(), 5u) << run.output;
    // The reason, once for the three boards it stopped (standard error comes first, unbuffered).
    EXPECT_EQ(lines[0].rfind("hwconfig: board 1,2,3: report failed: E_FAIL (0x80004005); cannot open the alias file", 0), 0u);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].find("(report failed)"), std::string::npos) << lines[i];
        EXPECT_NE(lines[i].find("PCI\\VEN_1F2B"), std::string::npos) << lines[i];
    }
}

TEST(Hwconfig, show_names_a_board_by_number_alias_or_item_name_and_prints_every_property) {
    const ProgramRun byNumber = runHwconfig("show 2");
    ASSERT_EQ(byNumber.exitCode, 0) << byNumber.output;
    for (const char* line : {"0x0101F000  alias", "0x01006000  model                           string     QV-KELP 4220",
                             "0x01015000  last external calibration       timestamp  2025-06-01T00:00:00Z (",
                             "0x0102E001  temperature sensor 1            double     55"}) {
        EXPECT_NE(byNumber.output.find(line), std::string::npos) << line << "\nin\n" << byNumber.output;
    }
    EXPECT_EQ(runHwconfig("show ScopeFrontEnd").output, byNumber.output);
    EXPECT_EQ(runHwconfig("show pci\\\\ven_1f2b\\&dev_7a22\\&subsys_7a221f2b\\&rev_01\\\\6\\&1e07b5d\\&0\\&001000e0")
                  .output,
              byNumber.output);

    const ProgramRun json = runHwconfig("show 2 --json");
    ASSERT_EQ(json.exitCode, 0) << json.output;
    for (const char* member : {"\"tag\":\t\"0x0101F000\"", "\"value\":\t\"ScopeFrontEnd\"", "\"utc\":\t\"2025-06-01T00:00:00Z\""}) {
        EXPECT_NE(json.output.find(member), std::string::npos) << member << "\nin\n" << json.output;
    }
}

TEST(Hwconfig, list_json_gives_the_names_with_json_escapes) {
    const ProgramRun run = runHwconfig("--machine " + kMachines + "three-boards.json list --json 2>/dev/null");
    ASSERT_EQ(run.exitCode, 10) << run.output;
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
        {"list --machine", 2, "--machine needs a value"},
        {"list --colour", 2, "unknown option --colour"},
        {"list --machine " + kMachines + "no-such-machine.json", 1, "machine description not found"},
        {"list --machine " + kMachines + "failing-listing.json", 1,
         "listing the boards (EnumerateItemNames): E_OUTOFMEMORY (0x8007000E)"},
        {"show", 2, "BOARD is required"},
        {"list 2", 2, "unexpected argument 2"},
        {"show 5", 3, "no board answers to \"5\""},
        {"show NoSuchAlias", 3, "no board answers to \"NoSuchAlias\""},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runHwconfig(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    }
}

TEST(Hwconfig, rename_finds_the_board_by_number_or_item_name_and_says_what_kind_of_failure_stopped_it) {
    hosttest::RenameMachine machine(2);
    hosttest::RenameMachine::write(machine.aliasFile(), R"({"devices": {"SIM:1": {"alias": "Taken"}}})");
    const std::string on = "--machine " + machine.machineFile().string() + " rename ";
    const std::string lowerItem = "'pci\\ven_1f2b&dev_7a01&subsys_7a011f2b&rev_01\\3&11583659&0&10'";
    const struct {
        std::string arguments;
        int exitCode;
        std::string message;
    } cases[] = {
        {on + "2 Probe", 0,
         "Board 2 (PCI\\VEN_1F2B&DEV_7A01&SUBSYS_7A011F2B&REV_01\\3&11583659&0&10) now has the alias "},
        {on + lowerItem + " Probe2", 0, " the alias Probe2."},
        // Both reports fail on this machine, but what names the boards is read without them: a name
        // that fits neither names no board.
        {on + "3 Probe", 3, "no board answers to \"3\""},
        {on + "1 _x", 4, "invalid alias \"_x\""},
        {on + "1 caf\xC3\xA9", 4, ": HW_E_INVALID_ALIAS (0x8004037A)"},
        {on + "1 Taken", 5, "is stored for another board; --force shares it: HW_E_ALIAS_IN_USE (0x8004037B)"},
        {on + "1 Taken --force", 0, " the alias Taken."},
        {on + "1", 2, "NEW_ALIAS or --default is required"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runHwconfig(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    }
    std::filesystem::remove(machine.aliasFile());
    const ProgramRun missing = runHwconfig(on + "1 Any");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.output,
              "hwconfig: renaming failed: cannot open the alias file "
              "C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json: it is missing; an administrator makes it with "
              "qvkelp-setup (qvkelp-setup --check says what is missing): E_UNEXPECTED (0x8000FFFF)\n");
}

TEST(Hwconfig, selftest_and_selfcal_say_how_the_board_answered_and_exit_0_only_on_success) {
    const std::string machine = "--machine " + kMachines + "maintenance.json ";
    const struct {
        std::string arguments;
        int exitCode;
        std::vector<std::string> lines;
    } cases[] = {
        {"selftest 1", 0, {"Self-test of board 1 succeeded: S_OK (0x00000000)\n"}},
        {machine + "selftest 3",
         1,
         {"Self-test of board 3 failed: unexpected failure: E_UNEXPECTED (0x8000FFFF); the module says: "
          "-52003\n"}},
        {machine + "selftest " +
             "\"PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\3&11583659&0&08\" --mode 2",
         1,
         {"failed: the test mode is not supported: HW_E_UNSUPPORTED_TEST_MODE (0x80040376)\n"}},
        {"selfcal 3", 0, {"Self-calibration of board 3 succeeded: S_OK (0x00000000)\n"}},
        {"selfcal 9", 3, {"no board answers to \"9\""}},
        {"selftest", 2, {"BOARD is required"}},
        {"selftest 1 --mode two",
         2,
         {"--mode: two is not a whole number from 0 to 4294967295 in decimal digits"}},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runHwconfig(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        for (const std::string& line : c.lines) {
            EXPECT_NE(run.output.find(line), std::string::npos) << c.arguments << "\n" << run.output;
        }
        if (c.exitCode == 0) {
            EXPECT_EQ(run.output.find("The module says"), std::string::npos) << run.output;
        }
    }
}

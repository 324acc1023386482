// What hwconfig promises a user and a script, one row per way it could quietly do the wrong thing:
// each command line with its exit code, what standard output holds (text, or the JSON document)
// and the first line on standard error. The rows that change a machine run on a copy of the lab
// machine of their own, in order.
#include "host_module.h"
#include "hwconfig_run.h"

#include "common/host_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace hosttest;
namespace fs = std::filesystem;
using Edits = std::vector<std::pair<std::string, std::string>>;

namespace {

struct Row {
    std::string arguments;
    int exitCode;
    std::string inStdout; // a part of standard output; for a JSON row, of its compact form
    std::string inStderr; // a part of standard error's first line; empty: standard error is empty
};

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// `--json` rows must write exactly one JSON document, whatever the outcome.
void check(const Row& row, const std::string& prefix = "") {
    const ProgramRun run = runHwconfig(prefix + row.arguments);
    EXPECT_EQ(run.exitCode, row.exitCode) << row.arguments << "\n" << run.output;
    const bool json = row.arguments.find("--json") != std::string::npos;
    const std::string out = json ? compactJson(run.out) : run.out;
    if (json) {
        EXPECT_NE(out, "") << row.arguments << ": not one JSON document:\n" << run.out;
    }
    EXPECT_NE(out.find(row.inStdout), std::string::npos) << row.arguments << "\n" << run.output;
    if (row.inStderr.empty()) {
        EXPECT_EQ(run.err, "") << row.arguments;
    } else {
        EXPECT_NE(firstLine(run.err).find(row.inStderr), std::string::npos) << row.arguments << "\n" << run.err;
    }
}

template <std::size_t N> void checkAll(const Row (&rows)[N], const std::string& prefix = "") {
    for (const Row& row : rows) {
        check(row, prefix);
    }
}

// The lab machine copied to a folder of the test's own, optionally with text of its description
// replaced, so that renames and calibrations change nothing another test sees.
class LabCopy {
public:
    explicit LabCopy(const Edits& edits = {}) {
        // A folder of this process's own: ctest runs other test programs beside this one.
        folder_ = hostplatform::makeTemporaryFolder("hwconfig-lab");
        fs::copy(fs::path(QV_RUNTIME_DIR) / "examples", folder_, fs::copy_options::recursive);
        std::string description = read(machine());
        for (const auto& [from, to] : edits) {
            const std::size_t at = description.find(from);
            EXPECT_NE(at, std::string::npos) << from;
            if (at != std::string::npos) {
                description.replace(at, from.size(), to);
            }
        }
        std::ofstream(machine(), std::ios::binary | std::ios::trunc) << description;
    }
    ~LabCopy() { fs::remove_all(folder_); }

    fs::path machine() const { return folder_ / "lab.json"; }
    fs::path aliasFile() const { return folder_ / "drive_c/ProgramData/Quorvel/QV-KELP/aliases.json"; }
    std::string on() const { return "--machine " + machine().string() + " "; }

    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    fs::path folder_;
};

// Board 2's item name as JSON writes it, and as the shell takes it.
const std::string kBoard2 = "PCI\\\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\\\6&1E07B5D&0&001000E0";
const std::string kBoard2Typed = "'PCI\\VEN_1F2B&DEV_7A22&SUBSYS_7A221F2B&REV_01\\6&1E07B5D&0&001000E0'";

} // namespace

TEST(HwconfigContract, a_command_refuses_what_it_does_not_take_with_its_own_usage) {
    const Row rows[] = {
        {"cal due --password kelp --date 2027-01-01 --interval 5", 2, "", "hwconfig: due excludes --"},
        {"cal 99 due", 2, "", "due excludes BOARD"},
        {"cal --within 3 due", 2, "", "due excludes BOARD (given 3; cal due takes its options after due)"},
        {"cal due 1", 2, "", "due excludes BOARD"},
        {"cal 1 --due 2027-01-01 --interval 5", 2, "", "--due excludes --interval"},
        {"cal 1 --password kelp --password-stdin", 2, "", "--password excludes --password-stdin"},
        {"rename 1 Bench --default", 2, "", "NEW_ALIAS excludes --default"},
        {"rename 1", 2, "", "NEW_ALIAS or --default is required"},
        {"show 1 2", 2, "", "unexpected argument 2"},
        // An empty or blank word is named as such, with or without --json, wherever it stands.
        {"''", 2, "", "unknown command \"\""},
        {"--json list ''", 2, R"("message":"unexpected argument \"\"")", "unexpected argument \"\""},
        {"rename 1 x '  '", 2, "", "unexpected argument \"  \""},
        {"selfcal 1 --mode 0", 2, "", "unknown option --mode"},
        {"-- list", 2, "", "the command comes before --, which ends the options"},
        {"--version list", 2, "", "--version takes no command"},
        {"--json tree --dot", 2, R"("message":"--dot excludes --json")", "--dot excludes --json"},
        {"--json show", 2, R"("exitCode":2)", "BOARD is required"},
        {"show ''", 2, "", "BOARD: an empty name names nothing"},
        {"rename 2 ''", 2, "", "NEW_ALIAS: an empty name names nothing"},
        {"--machine= list", 2, "", "--machine needs a file name, not an empty one"},
        {"--machine '' list", 2, "", "--machine needs a file name, not an empty one"},
        // An empty value after = is refused, never filled with the next word.
        {"cal 2 --password= --check", 2, "", "--password needs a value, not an empty one"},
        {"--json selftest 1 --mode=", 2, R"("exitCode":2)", "--mode needs a value, not an empty one"},
        {"tree --dot=", 2, "", "--dot takes no value (given an empty one)"},
        // A flag given twice is refused as an option is, the global --json on both sides too.
        {"--json list --json", 2, R"("exitCode":2)", "--json is given more than once; give it once"},
        {"cal 1 --password kelp --check --check", 2, "", "--check is given more than once; give it once"},
        {"cal due --within 1 --within 2", 2, "", "--within is given more than once; give it once"},
        {"tree --dot=maybe", 2, "", "--dot takes no value (given maybe)"},
        // Numbers are decimal: leading zeros mean nothing, C's octal and hexadecimal are refused, and
        // the range the help shows is the range taken.
        {"cal 1 --password kelp --interval 0x10 --check", 2, "",
         "--interval: 0x10 is not a whole number from 0 to 2147483647 in decimal digits"},
        {"cal 1 --password kelp --interval 3000000000 --check", 2, "", "from 0 to 2147483647"},
        {"selftest 1 --mode 010x", 2, "", "--mode: 010x is not a whole number from 0 to 4294967295"},
        {"cal --help", 0, "the calibration interval, instead of --due (0 to 2147483647)", ""},
    };
    checkAll(rows);
    EXPECT_EQ(runHwconfig("cal --help").out.find("DATE:DATE"), std::string::npos);
    // The usage that follows is the command's own, and shows BOARD as required.
    EXPECT_EQ(runHwconfig("show").err, "hwconfig: BOARD is required\nUsage: hwconfig show [OPTIONS] BOARD\n"
                                       "See hwconfig show --help.\n");
    EXPECT_NE(runHwconfig("cal due 1").err.find("See hwconfig cal due --help."), std::string::npos);
    EXPECT_NE(runHwconfig("--machine '' list").err.find("\nUsage: hwconfig list"), std::string::npos);
}

TEST(HwconfigContract, every_command_answers_in_json_on_success_and_failure_with_one_error_object) {
    const LabCopy lab;
    const Row rows[] = {
        {"--json --version", 0, R"({"hwconfig":"3.0.0","module":"3.0.0")", ""},
        {"--json cal 2", 0, R"("externalCalibration":"2025-06-01T00:00:00Z","due":"2026-06-01T00:00:00Z")", ""},
        {"--json selftest 2", 0, R"("warning":false,"hresult":0,"name":"S_OK","moduleText":null)", ""},
        {"--json selfcal 2", 0, R"("hresult":0,"name":"S_OK")", ""},
        {"--json cal 1 --password wrong --date 2026-01-01", 1,
         R"("hresult":2147746702,"name":"HW_E_CAL_PASSWORD_INVALID","moduleText":null,"exitCode":1)",
         "validation refused: wrong calibration password"},
        {"--json rename 2 PXI1Slot4", 5, R"("hresult":2147746683,"name":"HW_E_ALIAS_IN_USE")",
         "board 3 already shows the alias \"PXI1Slot4\"; --force shares it"},
        {"--json show 9", 3, R"("hresult":null,"name":null,"moduleText":null,"exitCode":3,"candidates":[])",
         "no board answers to \"9\""},
        {"--json cal 1 --password kelp --date 2026-01-01 --interval 365 --check", 0,
         R"("accepted":["calibrationDate","dueDate","password"],"saved":false)", ""},
    };
    checkAll(rows, lab.on());
    // The module's own error text goes with its failure.
    check({"--json selftest 3", 1, R"("name":"E_UNEXPECTED","moduleText":"-52003")", "the module says: -52003"},
          "--machine " + kMachines + "maintenance.json ");
}

TEST(HwconfigContract, a_board_is_named_by_number_item_name_alias_location_or_serial_and_never_by_a_guess) {
    const LabCopy lab;
    const Row rows[] = {
        {"--json show PXI1/3", 0, R"("number":2,"itemName":")" + kBoard2, ""},
        {"--json show pxi1/3", 0, R"("number":2,)", ""},
        {"--json show 01d5b013", 0, R"("number":2,)", ""},
        {"--json show " + kBoard2Typed, 0, R"("number":2,)", ""},
        {"show PXI0/0", 3, "", "no board answers to \"PXI0/0\""},
        // Board 3 shows its default alias, which no record holds; the module alone would not see it.
        {"rename 1 PXI1Slot4", 5, "", "board 3 already shows the alias \"PXI1Slot4\"; --force shares it"},
        {"rename 3 2 --force", 0, "renamed from PXI1Slot4 to 2.", ""},
        {"--json show 2", 9,
         R"("candidates":[{"number":2,"itemName":")" + kBoard2 +
             R"(","alias":"ScopeFrontEnd","matchedBy":"number"},{"number":3,)",
         "\"2\" fits 2 boards: 2 (by number, alias ScopeFrontEnd), 3 (by alias, alias 2)"},
        {"--json show alias:2", 0, R"("number":3,)", ""},
        {"selftest 2", 9, "", "\"2\" fits 2 boards"},
        {"--json rename alias:2 --default", 0, R"("oldAlias":"2","newAlias":"PXI1Slot4")", ""},
        // An alias another name form would read first is refused unless --force.
        {"rename 1 02", 5, "",
         "the alias \"02\" reads as a board number, so hwconfig would name the board by it "
         "only as alias:02; --force stores it all the same"},
        {"rename 1 01d5b013", 5, "", "the alias \"01d5b013\" is the serial number of board 2"},
        {"rename 1 Twin", 0, "", ""},
        {"rename 2 Twin --force", 0, "renamed from ScopeFrontEnd to Twin.", ""},
        {"cal Twin", 9, "", "\"Twin\" fits 2 boards"},
    };
    checkAll(rows, lab.on());
    // On PCI Express boards outside a chassis the default aliases repeat: such a name is refused too.
    const LabCopy outside(Edits{{"\"chassis\": 1, \"slot\": 4", "\"chassis\": 0, \"slot\": 0"},
                           {"\"serialNumber\": \"01E2C95A\", \"pxiGeographicAddress\": 4",
                            "\"serialNumber\": \"01E2C95A\", \"pxiGeographicAddress\": 0"}});
    check({"show PXI0Slot0", 9, "", "\"PXI0Slot0\" fits 2 boards: 3 (by alias, alias PXI0Slot0), 4 (by alias"},
          outside.on());
    // Returning to the default alias is not blocked by another board showing the same default.
    check({"rename 3 Bench", 0, "", ""}, outside.on());
    check({"rename 3 --default", 0, "renamed from Bench to PXI0Slot0.", ""}, outside.on());
    // Boards are numbered by where they are (chassis and slot first), not in the order the system
    // lists them: the board of PXI1/2 moved to slot 5 is number 3.
    const LabCopy moved(
        Edits{{"\"01D4A7F2\", \"pxiGeographicAddress\": 2", "\"01D4A7F2\", \"pxiGeographicAddress\": 5"}});
    check({"list", 0, "1  ScopeFrontEnd  QV-KELP 4220 ", ""}, moved.on());
    check({"--json show PXI1/5", 0, R"("number":3,"itemName":"PCI\\VEN_1F2B&DEV_7A21&)", ""}, moved.on());
    // A board whose place cannot be read comes after the others, which keep their order.
    const LabCopy unplaced(Edits{{"\"pciRevision\": 1, \"pciBusNumber\": 3,", "\"pciRevision\": 1,"}});
    check({"list", 10, "1  ScopeFrontEnd  QV-KELP 4220 ", "hwconfig: board 4: report failed"}, unplaced.on());
    check({"--json list", 10, R"({"number":4,"itemName":"PCI\\VEN_1F2B&DEV_7A21&)", "hwconfig: board 4: report failed"},
          unplaced.on());
    // Its alias, serial number and location are unknown too, so a name that fits no other board, or
    // a number an alias in the file also spells, may be meant for it.
    check({"show NoSuchAlias", 10, "", "and board 4 shows no alias, serial number or location"}, unplaced.on());
    std::ofstream(unplaced.aliasFile(), std::ios::binary | std::ios::trunc)
        << R"({"devices": {"PCI:VEN_1F2B&DEV_9999&SUBSYS_1F2B9999&REV_01/0000:00:E0:00:40:00": {"alias": "1"}}})";
    check({"show 1", 10, "", "\"1\" is board 1's number and an alias in aliases.json, and board 4 shows no alias"},
          unplaced.on());
    // One wording for a board that is not there, whatever the command.
    for (const std::string command : {"show 9", "rename 9 X", "selftest 9", "selfcal 9", "cal 9"}) {
        check({command, 3, "", "hwconfig: no board answers to \"9\": name it by its number"}, lab.on());
    }
}

TEST(HwconfigContract, failed_reports_are_listed_with_a_reason_to_act_on_and_a_non_zero_exit_code) {
    const LabCopy noAliasFile;
    fs::remove(noAliasFile.aliasFile());
    const std::string missing = ": it is missing; an administrator makes it with qvkelp-setup (qvkelp-setup --check "
                                "says what is missing)";
    const Row rows[] = {
        {"list", 10, "(report failed)",
         "hwconfig: board 1,2,3,4: report failed: E_UNEXPECTED (0x8000FFFF); cannot open the "
         "alias file C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json" +
             missing},
        {"--json list", 10,
         R"({"number":1,"itemName":"PCI\\VEN_1F2B&DEV_7A21&SUBSYS_7A211F2B&REV_01\\6&3A1C9E2&0&000800E0","alias":null,)"
         R"("model":null,"serialNumber":null,"pxi":null,"error":{"message":"report failed: E_UNEXPECTED (0x8000FFFF); )",
         "hwconfig: board 1,2,3,4: report failed"},
        {"tree", 10, "(report failed)", missing},
        {"--json cal due", 10, R"("failed":[{"number":1,)", missing},
        {"cal due", 10,
         "No calibration due within 30 days among the boards judged.\n"
         "Not judged, their report failed: board 1, 2, 3, 4.\n",
         missing},
        // A board is named without the reports: by its serial number, then its report fails.
        {"show 01D5B013", 1, "", "hwconfig: report failed: E_UNEXPECTED (0x8000FFFF); cannot open the alias file"},
        {"show NoSuchAlias", 10, "",
         "no board answers to \"NoSuchAlias\" by number, location or serial number, and the aliases cannot be "
         "read, so it may be an alias"},
        {"rename 2 X", 1, "",
         "renaming failed: cannot open the alias file C:\\ProgramData\\Quorvel\\QV-KELP\\"
         "aliases.json" +
             missing},
        {"cal 2", 1, "", "hwconfig: report failed: E_UNEXPECTED (0x8000FFFF); cannot open the alias file"},
    };
    checkAll(rows, noAliasFile.on());
    // A number that a stored alias also spells cannot be told from that alias while a report fails.
    // Board 3's report fails for its missing driver library.
    const LabCopy numberAlias(Edits{{"\"driverBaseName\": \"qvkelpdrv\",\n                                   "
                                     "\"hardwareRevision\": \"C2\"",
                                     "\"driverBaseName\": \"nosuchdrv\",\n                                   "
                                     "\"hardwareRevision\": \"C2\""}});
    const Row afterFailure[] = {
        {"list", 10, "",
         "hwconfig: board 3: report failed (the board's driver library, one of its functions or one "
         "of its registry values is missing, or the alias file is malformed): E_FAIL (0x80004005)"},
        {"rename 3 1 --force", 0,
         "Board 3 (PCI\\VEN_1F2B&DEV_7A40&SUBSYS_7A401F2B&REV_03\\6&2C96F41&0&001800E0) now "
         "has the alias 1.\n",
         ""},
        // Board 3's alias is known from the file, though its report fails.
        {"show 1", 9, "", "\"1\" fits 2 boards: 1 (by number, alias PXI1Slot2), 3 (by alias, alias 1)"},
        {"show alias:1", 1, "", "hwconfig: report failed (the board's driver library"},
    };
    checkAll(afterFailure, numberAlias.on());
    const LabCopy trailingText;
    std::ofstream(trailingText.aliasFile(), std::ios::app) << "\nextra";
    check({"aliases", 1, "",
           "is not valid: it must hold one JSON object with a \"devices\" object whose records each hold a text "
           "\"alias\", no NUL byte, and nothing after it"},
          trailingText.on());
    const LabCopy aliasNotText;
    std::ofstream(aliasNotText.aliasFile(), std::ios::binary | std::ios::trunc) << R"({"devices": {"SIM:1": {"alias": 5}}})";
    check({"aliases", 1, "", "whose records each hold a text \"alias\""}, aliasNotText.on());
    const LabCopy huge;
    fs::resize_file(huge.aliasFile(), 2ull << 30);
    check({"aliases", 1, "", "holds 2147483648 bytes, more than the 67108864 an alias file may hold"}, huge.on());
#ifndef _WIN32
    const LabCopy fifo;
    fs::remove(fifo.aliasFile());
    ASSERT_EQ(::mkfifo(fifo.aliasFile().c_str(), 0666), 0);
    const std::string notAFile = "it is not a regular file (a folder, a pipe or a device)";
    checkAll({Row{"aliases", 1, "", notAFile}, Row{"rename 2 X", 6, "", notAFile}}, fifo.on());
#endif
}

#ifndef _WIN32
// A rename that fails for want of space says so. The alias folder is a small file system of its
// own, filled up, which needs root.
TEST(HwconfigContract, a_rename_on_a_full_disk_says_the_disk_is_full) {
    const LabCopy full;
    const fs::path folder = full.aliasFile().parent_path();
    const std::string text = LabCopy::read(full.aliasFile());
    if (::geteuid() != 0 || ::system(("mount -t tmpfs -o size=64k tmpfs " + folder.string() + " 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "needs root, to mount a small file system";
    }
    std::ofstream(full.aliasFile(), std::ios::binary) << text;
    std::ofstream(folder / "filler", std::ios::binary) << std::string(60 * 1024, 'x');
    check({"rename 2 Bench-A", 1, "", "the disk that holds it is full ("}, full.on());
    const std::string after = LabCopy::read(full.aliasFile());
    ASSERT_EQ(::system(("umount " + folder.string()).c_str()), 0);
    EXPECT_EQ(after, text);
}
#endif

TEST(HwconfigContract, the_password_comes_from_standard_input_not_from_the_command_line) {
    const LabCopy lab;
    const fs::path passwordFile = lab.machine().parent_path() / "password";
    std::ofstream(passwordFile) << "kelp\n";
    const std::string fromFile = " < " + passwordFile.string();
    int files = 0;
    const auto from = [&](const std::string& text) {
        const fs::path file = lab.machine().parent_path() / ("input" + std::to_string(++files));
        std::ofstream(file, std::ios::binary) << text;
        return " < " + file.string();
    };
    const Row rows[] = {
        {"cal 1 --password-stdin --date 2026-01-01 --interval 365 --check" + fromFile, 0,
         "Accepted: calibrationDate, dueDate, password\nChecked only; nothing was saved.\n", ""},
        {"cal 1 --date 2026-01-01 --check < /dev/null", 2, "",
         "the calibration password (--password-stdin, or a terminal to be asked on) is required"},
        {"cal 1 --password-stdin --check < /dev/null", 2, "", "no password: standard input is empty"},
        // Standard input holds the password alone: a second line or a NUL is refused, not dropped.
        {"cal 1 --password-stdin --check" + from("kelp\nmore"), 2, "",
         "no password: standard input holds more than one line"},
        {"cal 1 --password-stdin --check" + from(std::string("kelp\0x", 6)), 2, "",
         "no password: standard input holds a NUL byte"},
        {"cal 1 --password-stdin --check" + from("kelp\r\n"), 0, "Accepted: password\n", ""},
        // Each refusal names its own cause: a folder is not an empty input, and a password too long
        // for the board came from standard input, not from --password.
        {"cal 1 --password-stdin --check < " + lab.machine().parent_path().string(), 2, "",
         "no password: standard input cannot be read: Is a directory"},
        {"cal 1 --password-stdin --check" + from(std::string(100000, 'p')), 2, "",
         "the password on standard input: the board takes a password of at most 63 bytes; this one has 100000"},
    };
    checkAll(rows, lab.on());
}

#ifndef _WIN32
// An interactive shell on a terminal of the test's own, where hwconfig runs as a user runs it: with
// job control, so that Ctrl-Z stops it and fg resumes it.
class ShellOnTerminal {
public:
    ShellOnTerminal() {
        pid_ = ::forkpty(&terminal_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            ::execl("/bin/bash", "bash", "--norc", "--noprofile", "-i", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~ShellOnTerminal() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        ::close(terminal_);
    }
    ShellOnTerminal(const ShellOnTerminal&) = delete;
    ShellOnTerminal& operator=(const ShellOnTerminal&) = delete;

    void type(const std::string& keys) { EXPECT_EQ(::write(terminal_, keys.data(), keys.size()), ssize_t(keys.size())); }

    // Whether the terminal shows `text` after what the last wait found, within ten seconds.
    bool waitFor(const std::string& text) {
        for (int waited = 0; waited < 100; ++waited) {
            const std::size_t at = shown_.find(text, cursor_);
            if (at != std::string::npos) {
                cursor_ = at + text.size();
                return true;
            }
            pollfd ready{terminal_, POLLIN, 0};
            char chunk[512];
            const ssize_t got = ::poll(&ready, 1, 100) > 0 ? ::read(terminal_, chunk, sizeof chunk) : 0;
            shown_.append(chunk, got > 0 ? static_cast<std::size_t>(got) : 0);
        }
        return false;
    }
    const std::string& shown() const { return shown_; }
    std::size_t cursor() const { return cursor_; }

private:
    pid_t pid_ = -1;
    int terminal_ = -1;
    std::string shown_;
    std::size_t cursor_ = 0;
};

TEST(HwconfigContract, the_password_prompt_keeps_echo_off_after_ctrl_z_and_fg) {
    const LabCopy lab;
    ShellOnTerminal shell;
    shell.type(kHwconfig + " " + lab.on() + "cal 1 --date 2026-01-01 --interval 365 --check\n");
    ASSERT_TRUE(shell.waitFor("Calibration password: ")) << shell.shown();
    shell.type("\x1a");
    ASSERT_TRUE(shell.waitFor("Stopped")) << shell.shown();
    shell.type("fg\n");
    // Resumed, it asks again, with echo off again.
    ASSERT_TRUE(shell.waitFor("Calibration password: ")) << shell.shown();
    const std::size_t asked = shell.cursor();
    shell.type("kelp\n");
    ASSERT_TRUE(shell.waitFor("Checked only; nothing was saved.")) << shell.shown();
    EXPECT_EQ(shell.shown().find("kelp", asked), std::string::npos) << shell.shown().substr(asked);
}
#endif

TEST(HwconfigContract, text_from_devices_and_files_cannot_break_the_terminal_or_the_json) {
    const LabCopy lab(Edits{{"\"modelName\": \"QV-KELP 4110\"", "\"modelName\": \"QV\\u001b[31mKELP\\nX\""}});
    std::ofstream(lab.aliasFile(), std::ios::binary | std::ios::trunc)
        << "{\"devices\": {\"SIM:1\": {\"alias\": \"Bad\xFF\xFE\", \"simulated\": true}}}";
    const ProgramRun list = runHwconfig(lab.on() + "list");
    EXPECT_NE(list.out.find("  QV\\x1B[31mKELP\\nX  "), std::string::npos) << list.out;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 5) << list.out;
    // Each byte of the file is one character of the machine's code page (1252 here).
    check({"--json aliases", 0, "\"alias\":\"Bad\xC3\xBF\xC3\xBE\"", ""}, lab.on());
    check({"aliases", 0, "simulated  -       invalid", ""}, lab.on());
    // The module's alias bytes are read in the same code page in every command and in selection.
    std::ofstream(lab.aliasFile(), std::ios::binary | std::ios::trunc)
        << "{\"devices\": {\"PCI:VEN_1F2B&DEV_7A22&SUBSYS_1F2B7A22&REV_01/0000:00:E0:00:10:00\": "
           "{\"alias\": \"\xE9t\xE9\x85\xFF\"}}}";
    const std::string shown = "\xC3\xA9t\xC3\xA9\xE2\x80\xA6\xC3\xBF"; // été…ÿ
    // Five characters padded to the nine of "PXI1Slot2", then the two spaces between columns.
    check({"list", 0, "2  " + shown + "      QV-KELP 4220 ", ""}, lab.on());
    check({"aliases", 0, shown + "  present", ""}, lab.on());
    check({"--json show '" + shown + "'", 0, R"("number":2,)", ""}, lab.on());
    // aliases.json with a byte order mark and a key twice: both are flagged.
    std::ofstream(lab.aliasFile(), std::ios::binary | std::ios::trunc)
        << "\xEF\xBB\xBF{\"devices\": {\"SIM:1\": {\"alias\": \"One\"}, \"sim:1\": {\"alias\": \"Two\"}}}";
    check({"--json aliases", 0, R"("byteOrderMark":true,)",
           "begins with a byte order mark, which the module reads past"},
          lab.on());
    check({"aliases", 0, "SIM:1 (duplicate key: the module takes the first)\n", "byte order mark"}, lab.on());
    // A rename writes the file without the mark, and says so.
    check({"rename 2 Bench", 0, "renamed", "aliases.json began with a byte order mark, which the module dropped"},
          lab.on());
    check({"rename 2 Bench2", 0, "renamed", ""}, lab.on());
    // A double-byte code page: the alias is read as whole characters, not a byte at a time.
    const LabCopy japanese(Edits{{"\"drives\":", "\"ansiCodePage\": 932, \"drives\":"}});
    std::ofstream(japanese.aliasFile(), std::ios::binary | std::ios::trunc)
        << "{\"devices\": {\"PCI:VEN_1F2B&DEV_7A22&SUBSYS_1F2B7A22&REV_01/0000:00:E0:00:10:00\": "
           "{\"alias\": \"\x82\xA0\x82\xA2\"}}}";
    const std::string ai = "\xE3\x81\x82\xE3\x81\x84"; // あい
    check({"--json list", 0, "\"alias\":\"" + ai + "\"", ""}, japanese.on());
    check({"--json show " + ai, 0, R"("number":2,)", ""}, japanese.on());
    // Text the page cannot hold is refused by name, on every build, never replaced; a password is
    // counted in the page's bytes, so forty e-acute are forty bytes, as on Windows.
    std::string fortyEAcute;
    for (int i = 0; i < 40; ++i) {
        fortyEAcute += "\xC3\xA9";
    }
    const Row refused[] = {
        {"rename 3 \xCE\xA9", 2, "",
         "the alias \"\xCE\xA9\" holds \xCE\xA9 (U+03A9), which the machine's ANSI code page 1252 cannot hold"},
        {"cal 2 --password kelp --new-password \xE6\x97\xA5 --check", 2, "", "--new-password holds \xE6\x97\xA5 (U+65E5)"},
        {"cal 2 --password kelp --new-password " + fortyEAcute + " --check", 0, "Accepted: password, newPassword", ""},
    };
    checkAll(refused, lab.on());
    // A name typed on the command line may hold any bytes too, and is quoted cut when it is long.
    check({"show " + std::string(300, 'n'), 3, "",
           "no board answers to \"" + std::string(100, 'n') + "...\" (300 bytes)"},
          lab.on());
    check({"--json show \"$(printf 'x\\377')\"", 3, "no board answers to \\\"x\xEF\xBF\xBD\\\"", "no board answers"},
          lab.on());
}

// On a console text goes as wide characters, which the console shows whatever its code page; to a
// pipe or a file as UTF-8 bytes. The simulated console (QVKELP_CONSOLE) logs each wide write.
TEST(HwconfigContract, a_console_gets_wide_text_and_a_pipe_or_file_utf8) {
    const LabCopy lab;
    std::ofstream(lab.aliasFile(), std::ios::binary | std::ios::trunc)
        << "{\"devices\": {\"PCI:VEN_1F2B&DEV_7A22&SUBSYS_1F2B7A22&REV_01/0000:00:E0:00:10:00\": "
           "{\"alias\": \"\xE9t\xE9\x85\xFF\"}}}";
    const std::string shown = "\xC3\xA9t\xC3\xA9\xE2\x80\xA6\xC3\xBF"; // été…ÿ
    const fs::path log = lab.machine().parent_path() / "calls.log";
    setenv("QVKELP_CALL_LOG", log.c_str(), 1);
    struct Case {
        const char* consoles;
        bool outputWide, errorWide;
    };
    for (const Case& c : {Case{"", false, false}, Case{"out", true, false}, Case{"err", false, true}, Case{"out,err", true, true}}) {
        setenv("QVKELP_CONSOLE", c.consoles, 1);
        fs::remove(log);
        const ProgramRun list = runHwconfig(lab.on() + "list");
        const ProgramRun unknown = runHwconfig(lab.on() + "show 99");
        EXPECT_NE(list.out.find("2  " + shown + "  "), std::string::npos) << c.consoles << "\n" << list.out;
        EXPECT_NE(unknown.err.find("hwconfig: no board answers to \"99\""), std::string::npos) << unknown.err;
        const std::string calls = LabCopy::read(log);
        EXPECT_EQ(calls.find("WriteConsoleW 2  " + shown + "  ") != std::string::npos, c.outputWide) << c.consoles;
        EXPECT_EQ(calls.find("WriteConsoleW hwconfig: no board answers") != std::string::npos, c.errorWide)
            << c.consoles;
    }
    unsetenv("QVKELP_CONSOLE");
    unsetenv("QVKELP_CALL_LOG");
}

#ifndef _WIN32
// The module waits for the alias file's lock without a word; hwconfig says what it waits for once
// another program has held the file for about two seconds, never for a short hold.
TEST(HwconfigContract, a_long_wait_for_the_alias_file_is_told_on_standard_error) {
    const LabCopy lab;
    struct Case {
        std::string command;
        const char* holderLock; // a reader's shared lock stops only a rename
        const char* holdSeconds;
        bool told;
    };
    const Case cases[] = {{"list", "LOCK_EX", "0.5", false}, {"list", "LOCK_EX", "2.8", true},
                          {"rename 2 Held", "LOCK_SH", "2.8", true}};
    for (const Case& c : cases) {
        const fs::path locked = lab.machine().parent_path() / "locked";
        fs::remove(locked);
        // A classic POSIX lock of the whole file conflicts with the simulation's file locks.
        const std::string holder = "python3 -c 'import fcntl, sys, time; f = open(sys.argv[1], \"r+b\"); "
                                   "fcntl.lockf(f, fcntl." + std::string(c.holderLock) +
                                   "); open(sys.argv[2], \"w\").close(); time.sleep(" + c.holdSeconds + ")' '" +
                                   lab.aliasFile().string() + "' '" + locked.string() + "' &";
        ASSERT_EQ(std::system(holder.c_str()), 0);
        for (int i = 0; i < 100 && !fs::exists(locked); ++i) {
            usleep(20000);
        }
        ASSERT_TRUE(fs::exists(locked));
        const ProgramRun run = runHwconfig(lab.on() + c.command);
        EXPECT_EQ(run.exitCode, 0) << c.command << "\n" << run.output;
        const std::string told = "hwconfig: waiting for C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json, which another "
                                 "program holds locked";
        EXPECT_EQ(firstLine(run.err).find(told) != std::string::npos, c.told) << c.command << "\n" << run.err;
        if (!c.told) {
            EXPECT_EQ(run.err, "") << c.command;
        }
    }
}
#endif

TEST(HwconfigContract, one_date_parser_refuses_what_it_cannot_store_and_counts_calendar_days) {
    const LabCopy lab;
    const std::string outside = "1900-01-01 is outside 1904-01-01 to 9999-12-31";
    const Row rows[] = {
        {"--json cal due --at 2026-03-18T10:00:00+02:00", 0, R"("asOf":"2026-03-18T08:00:00Z")", ""},
        {"cal due --at 1900-01-01", 2, "", "--at: " + outside},
        {"cal 1 --password kelp --date 1900-01-01", 2, "", "--date: " + outside},
        {"cal 1 --password kelp --due 2027-06-01T12:00:00Z", 2, "",
         "has a time of day, which the board cannot store"},
        {"cal 1 --password kelp --date 2999-01-01 --check", 2, "",
         "2999-01-01T00:00:00Z is in the future; --force takes it"},
        {"cal 1 --password kelp --date 2999-01-01 --interval 1 --check --force", 0, "Checked only", ""},
        // ScopeFrontEnd is due on 2026-06-01.
        {"cal due --at 2026-05-31T23:00:00Z", 7, "2026-06-01  due in 1 day  ", ""},
        {"cal due --at 2026-06-01T12:00:00Z", 7, "2026-06-01  due today  ", ""},
        {"cal due --at 2026-06-02", 8, "2026-06-01  overdue by 1 day  ", ""},
        {"cal due --at 2026-03-01 --within 1", 0, "No calibration due within 1 day.", ""},
        {"--json cal due --at 2026-05-25 --within 010", 7, R"("withinDays":10,)", ""},
        {"cal due --at 2026-03-18T09:42:10+25:00", 2, "",
         "--at: 2026-03-18T09:42:10+25:00 has an offset from UTC "
         "outside -23:59 to +23:59"},
        {"cal due --at 2026-03-18T09:42:10+23:60", 2, "", "has an offset from UTC outside"},
        {"cal due --at " + std::string(300, '7'), 2, "", "--at: \"" + std::string(100, '7') + "...\" (300 bytes) is not a date"},
        {"cal due --at 2026-1-5", 2, "",
         "--at: 2026-1-5 is not a date such as 2026-03-18 or 2026-03-18T07:42:10Z "
         "(every field with all its digits)"},
        {"cal 1 --password kelp --date 1904-01-01 --interval 5 --check", 2, "",
         "--date: 1904-01-01T00:00:00Z is the time stamp that means no calibration date"},
        {"cal 1 --password kelp --date 1904-01-02 --interval 5 --check", 0,
         "Accepted: calibrationDate, dueDate", ""},
        {"cal 1 --password kelp --date 9999-12-31 --force --interval 1", 2, "",
         "the due date 10000-01-01 lies after 9999-12-31; give a shorter --interval or an earlier --due"},
        // A date alone keeps the board's interval (board 2: 365 days), which moves the due date too.
        {"cal 2 --password kelp --date 9999-12-31 --force", 2, "", "the due date 10000-12-30 lies after 9999-12-31"},
    };
    checkAll(rows, lab.on());
}

// Local times carry their offset as the parser reads it back.
TEST(HwconfigContract, local_times_are_written_with_an_offset_the_parser_takes) {
    const LabCopy lab;
    setenv("TZ", "America/New_York", 1);
    check({"show 1", 0, "2025-03-18T00:00:00Z (2025-03-17T20:00:00-04:00 local)", ""}, lab.on());
    // The zone is the system's, in February as in March.
    setenv("TZ", "Asia/Kolkata", 1);
    check({"show 1", 0, "2026-02-11T07:42:10Z (2026-02-11T13:12:10+05:30 local)", ""}, lab.on());
    check({"show 1", 0, "2025-03-18T00:00:00Z (2025-03-18T05:30:00+05:30 local)", ""}, lab.on());
    // An offset with seconds, or of a day or more, is written as the nearest the parser takes, with
    // the clock time of the same moment.
    setenv("TZ", "ABC-00:19:32", 1);
    check({"show 1", 0, "2025-03-18T00:00:00Z (2025-03-18T00:20:00+00:20 local)", ""}, lab.on());
    setenv("TZ", "ABC-24:59", 1);
    check({"show 1", 0, "2025-03-18T00:00:00Z (2025-03-18T23:59:00+23:59 local)", ""}, lab.on());
    unsetenv("TZ");
}

TEST(HwconfigContract, a_save_is_all_or_nothing_or_says_exactly_what_was_saved) {
    const LabCopy lab;
    const std::string tooLong(64, 'x');
    const std::string longest(63, 'y');
    const Row rows[] = {
        // A password the board cannot take is refused before anything is written, checked or not.
        {"cal 1 --password kelp --date 2026-01-02 --interval 100 --new-password " + tooLong + " --check", 2,
         "", "--new-password: the board takes a password of at most 63 bytes; this one has 64"},
        {"cal 1 --password kelp --date 2026-01-02 --interval 100 --new-password " + tooLong, 2, "",
         "at most 63 bytes"},
        {"cal 1", 0, "External calibration  2025-03-18T00:00:00Z\nCalibration due       2027-03-18T00:00:00Z",
         ""},
        {"cal 1 --password kelp", 0, "Accepted: password\nNothing to change", ""},
        {"cal 1 --password kelp --date 2026-01-02 --interval 100 --new-password " + longest, 0, "Saved.", ""},
        {"cal 1", 0, "External calibration  2026-01-02T00:00:00Z\nCalibration due       2026-04-12T00:00:00Z",
         ""},
        {"cal 1 --password " + longest + " --new-password kelp", 0, "Accepted: password, newPassword\nSaved.",
         ""},
    };
    checkAll(rows, lab.on());
    // The board refuses the calibration date's write: the password change and the interval, written
    // before it, are told as saved, with the record the board holds now.
    const LabCopy refusing(Edits{{"\"intervalDays\": -5, \"password\": \"kelp\" },",
                                  "\"intervalDays\": -5, \"password\": \"kelp\" }, "
                                  "\"fail\": { \"_writeExternalCalVerificationTime\": -52003 },"}});
    const Row refused[] = {
        {"--json cal 1 --password kelp --date 2026-01-02 --interval 100 --new-password kelp2", 1,
         R"("message":"saving refused: cannot write the board's state: the board library could not read or write it: )"
         R"(E_UNEXPECTED (0x8000FFFF); saved: newPassword, dueDate (an interval of 100 days); not saved: )"
         R"(calibrationDate; the board now holds calibration date 2025-03-18T00:00:00Z, due 2025-06-26T00:00:00Z")",
         "saving refused: cannot write the board's state"},
        {"cal 1 --password kelp2 --due 2027-01-01", 0, "Saved.", ""},
    };
    checkAll(refused, refusing.on());
    // A write the board fails (not a missing library) is told as possibly either.
    const LabCopy failing(Edits{{"\"intervalDays\": -5, \"password\": \"kelp\" },",
                                 "\"intervalDays\": -5, \"password\": \"kelp\" }, "
                                 "\"fail\": { \"_writeExternalCalInterval\": -52012 },"}});
    check({"cal 1 --password kelp --interval 100", 1, "",
           "saving refused: the board failed the write, or its driver library or one of its functions is missing"},
          failing.on());
}

TEST(HwconfigContract, the_smaller_promises) {
    const LabCopy lab;
    const Row rows[] = {
        {"--version", 0, "hwconfig 3.0.0\nqvkelpsysapiexpertu 3.0.0\n", ""},
        {"show 1", 0, "PCI vendor ID                   unsigned   1f2b\n", ""},
        {"tree", 0, "root port 8086:a110", ""},
        {"--json list", 0, R"("serialNumber":"01D4A7F2","pxi":{"chassis":1,"slot":2},"error":null})", ""},
        {"--json tree", 0, R"("pxi":{"chassis":1,"slot":2},"error":null,"children":[])", ""},
        {"--json tree", 0, R"("device":28,"function":0,"vendorId":32902,"deviceId":41232,)", ""},
        {"list", 0, "01C0DE77  -             PCI", ""},
        // Board 4's sensors 2 and 3 cannot be read: the report lacks them, and show says so.
        {"show 4", 0, "temperature sensors             long       4\n",
         "hwconfig: note: the report holds no reading of temperature sensor 2, 3, which the board could not read"},
        {"rename 2 A-very-long-alias-of-thirty-two-c", 0, "", ""},
        {"list", 0, "2  A-very-long-alias-of-thirty-two-c  QV-KELP 4220 ", ""},
    };
    checkAll(rows, lab.on());
    const ProgramRun full = runHwconfig(lab.on() + "rename 3 FullTest", "> /dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(full.err, "hwconfig: writing the output failed (board 3 was renamed to FullTest all the same): "
                        "No space left on device\n");
    check(
        {"selfcal 1", 1, "", "writing the output failed (the self-calibration of board 1 ran all the same)"},
        lab.on() + " > /dev/full ");
}

// qvkelp-setup on the simulated Windows: the alias folder it makes or sets right, what it refuses,
// --check, and that after it the alias rule protects every operator's rename and hears nobody else.
// The simulation keeps the protection in its POSIX form: owner root (the system and the
// administrators), group "users" (the built-in Users group), and the bits the access list stands
// for - the folders 0750 (operators may list them, not add to them), the files 0760.
#include "common/child_processes.h"
#include "host_module.h"
#include "hwconfig_run.h"
#include "rename_machine.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

using namespace hosttest;
namespace fs = std::filesystem;

namespace {

const std::string kSetup = std::string(QV_RUNTIME_DIR) + "/qvkelp-setup";
constexpr uid_t kOperator = 4343; // a member of "users" only
constexpr uid_t kNobody = 65534;  // in no group the alias folder names
const std::string kStore = R"({"devices": {")" + RenameMachine::token(1) + R"(": {"alias": "Bench"}}})";

struct Protection {
    uid_t owner;
    gid_t group;
    mode_t mode;
    bool operator==(const Protection& other) const {
        return owner == other.owner && group == other.group && mode == other.mode;
    }
    bool operator!=(const Protection& other) const { return !(*this == other); }
};

std::ostream& operator<<(std::ostream& out, const Protection& p) {
    return out << p.owner << ":" << p.group << " " << std::oct << p.mode << std::dec;
}

std::optional<Protection> protectionOf(const fs::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return Protection{status.st_uid, status.st_gid, static_cast<mode_t>(status.st_mode & 07777)};
}

gid_t usersGroup() {
    const struct group* users = ::getgrnam("users");
    return users != nullptr ? users->gr_gid : static_cast<gid_t>(-1);
}

bool becomeUser(uid_t uid, gid_t group) {
    return ::setgroups(1, &group) == 0 && ::setresgid(group, group, group) == 0 && ::setresuid(uid, uid, uid) == 0;
}

class Setup : public LoadedModuleTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0 || usersGroup() == static_cast<gid_t>(-1)) {
            GTEST_SKIP() << "needs root and a group \"users\", to act as other users";
        }
        fs::remove_all(maker());
        const fs::path above = machine.machineFile().parent_path().parent_path();
        for (fs::path up = maker().parent_path(); up != above; up = up.parent_path()) {
            fs::permissions(up, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        }
        fs::permissions(machine.machineFile(), fs::perms::owner_read | fs::perms::others_read);
        outside = machine.machineFile().parent_path() / "outside";
        fs::create_directories(outside);
    }

    fs::path folder() const { return machine.aliasFile().parent_path(); }
    fs::path maker() const { return folder().parent_path(); }
    Protection folderProtection() const { return {0, usersGroup(), 0750}; }
    Protection fileProtection() const { return {0, usersGroup(), 0760}; }

    // Whether everything the set-up makes is there with its protection.
    void expectSetUp(const std::string& context) const {
        for (const fs::path& path : {maker(), folder()}) {
            EXPECT_EQ(protectionOf(path), folderProtection()) << context << ": " << path;
        }
        for (const fs::path& path : {machine.aliasFile(), machine.recoveryFile()}) {
            EXPECT_EQ(protectionOf(path), fileProtection()) << context << ": " << path;
        }
        EXPECT_FALSE(machine.journalPending()) << context;
    }

    // RenameResource of board 1 as `uid` in a child; true when it succeeded exactly when expected.
    bool renamedAs(uid_t uid, gid_t group, const std::u16string& alias, bool expectSuccess) {
        const pid_t child = spawn([&] {
            ::alarm(20);
            return becomeUser(uid, group) &&
                   (renameThroughNewExpert(create, widen(RenameMachine::itemName(1)), alias) == S_OK) == expectSuccess;
        });
        return exitedCleanly(child);
    }

    RenameMachine machine{3};
    fs::path outside;
};

} // namespace

TEST_F(Setup, makes_the_folder_keeps_what_it_finds_sets_right_a_foreign_protection_and_refuses_links) {
    const struct {
        const char* found;
        std::function<void()> plant;
        int exitCode;
        const char* says;
        std::string aliasText; // what aliases.json holds afterwards
    } cases[] = {
        {"nothing", [] {}, 0, "aliases.json: created holding", R"({"devices": {}})"},
        {"the maker's folder made and owned by another user", [&] {
             fs::create_directories(maker());
             ASSERT_EQ(::chown(maker().c_str(), kNobody, kNobody), 0);
             fs::permissions(maker(), fs::perms::all);
         }, 0, R"(Quorvel: its owner and its access list differ; set right)", R"({"devices": {}})"},
        {"an alias file of records, anyone's to write", [&] {
             fs::create_directories(folder());
             RenameMachine::write(machine.aliasFile(), kStore);
             ASSERT_EQ(::chown(machine.aliasFile().c_str(), kNobody, kNobody), 0);
             fs::permissions(machine.aliasFile(), fs::perms::all);
         }, 0, "aliases.json: its owner and its access list differ; set right", kStore},
        {"another user's whole journal beside the file", [&] {
             fs::create_directories(folder());
             RenameMachine::write(machine.aliasFile(), kStore);
             RenameMachine::write(machine.recoveryFile(), "QVKELP-ALIASES-JOURNAL 2 ...");
             ASSERT_EQ(::chown(machine.recoveryFile().c_str(), kNobody, kNobody), 0);
         }, 0, "never counted; emptied", kStore},
        {"a link at the maker's folder", [&] { fs::create_directory_symlink(outside, maker()); }, 1,
         R"(Quorvel is a link or a junction, not a folder: refused)", ""},
        {"a second name of an outside file at aliases.json", [&] {
             fs::create_directories(folder());
             RenameMachine::write(outside / "secret.json", kStore);
             fs::create_hard_link(outside / "secret.json", machine.aliasFile());
         }, 1, "has more than one name (a hard link): refused", kStore},
    };
    for (const auto& c : cases) {
        fs::remove_all(maker());
        fs::remove_all(outside);
        fs::create_directories(outside);
        fs::permissions(outside, fs::perms::owner_all);
        c.plant();
        const Protection outsideBefore = *protectionOf(outside);
        const ProgramRun run = runProgram(kSetup, "");
        EXPECT_EQ(run.exitCode, c.exitCode) << c.found << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.found << "\n" << run.output;
        EXPECT_EQ(protectionOf(outside), outsideBefore) << c.found; // nothing outside is given our protection
        EXPECT_TRUE(fs::is_empty(outside) || fs::exists(outside / "secret.json")) << c.found;
        if (c.exitCode != 0) {
            EXPECT_NE(protectionOf(outside / "secret.json"), fileProtection()) << c.found;
            EXPECT_EQ(runProgram(kSetup, "--check").exitCode, 1) << c.found;
            continue;
        }
        expectSetUp(c.found);
        EXPECT_EQ(RenameMachine::read(machine.aliasFile()), c.aliasText) << c.found;
        const ProgramRun again = runProgram(kSetup, "--check");
        EXPECT_EQ(again.exitCode, 0) << c.found << "\n" << again.output;
    }
}

TEST_F(Setup, check_says_what_differs_changes_nothing_and_exits_non_zero_while_anything_does) {
    const ProgramRun before = runProgram(kSetup, "--check");
    EXPECT_EQ(before.exitCode, 1);
    EXPECT_NE(before.out.find(R"(\Quorvel: missing)"), std::string::npos) << before.output;
    EXPECT_FALSE(fs::exists(maker()));

    ASSERT_EQ(runProgram(kSetup, "").exitCode, 0);
    fs::permissions(machine.aliasFile(), fs::perms::all);
    const ProgramRun changed = runProgram(kSetup, "--check");
    EXPECT_EQ(changed.exitCode, 1);
    EXPECT_NE(changed.out.find(R"(\aliases.json: its access list differs)"), std::string::npos) << changed.output;
    EXPECT_EQ(protectionOf(machine.aliasFile())->mode, 0777u);

    EXPECT_EQ(runProgram(kSetup, "--users root").exitCode, 0);
    EXPECT_EQ(protectionOf(machine.aliasFile()), (Protection{0, 0, 0760}));
    EXPECT_EQ(runProgram(kSetup, "--check --users root").exitCode, 0);
    const ProgramRun unknown = runProgram(kSetup, "--users no-such-group");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("cannot find the group no-such-group"), std::string::npos) << unknown.output;
}

// After the set-up an operator's rename writes the kept common journal, on the disk before the file
// is touched, so that a kill during the rewrite loses nothing; a user outside the operators' group
// can neither rename nor leave anything in the folder that readers would hear.
TEST_F(Setup, after_it_an_operators_rename_is_protected_by_the_common_journal_and_nobody_else_is_heard) {
    ASSERT_EQ(runProgram(kSetup, "").exitCode, 0);
    const fs::path record = machine.machineFile().parent_path() / "calls.log";
    RenameMachine::write(record, "");
    fs::permissions(record, fs::perms::all); // written by the operator's process
    hostplatform::setEnvironment("QVKELP_CALL_LOG", record.string());
    EXPECT_TRUE(renamedAs(kOperator, usersGroup(), u"Operated", true));
    hostplatform::unsetEnvironment("QVKELP_CALL_LOG");
    const std::string calls = RenameMachine::read(record);
    EXPECT_NE(calls.find(R"(FlushFileBuffers C:\ProgramData\Quorvel\QV-KELP\aliases.json.recovery)"),
              std::string::npos)
        << calls;
    const std::string renamed = RenameMachine::read(machine.aliasFile());
    EXPECT_NE(renamed.find(R"("Operated")"), std::string::npos) << renamed;
    expectSetUp("after the operator's rename");

    EXPECT_TRUE(renamedAs(kNobody, kNobody, u"Nobodys", false));
    const pid_t planter = spawn([&] {
        return becomeUser(kNobody, kNobody) && !std::ofstream(folder() / "aliases.json.recovery-0000000000000000");
    });
    EXPECT_TRUE(exitedCleanly(planter)) << "nobody could add a file to the alias folder";
    EXPECT_EQ(RenameMachine::read(machine.aliasFile()), renamed);
}

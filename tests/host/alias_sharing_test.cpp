// The alias file among the users of one machine: its folder lets anyone create files and only
// owners remove them (a sticky 1777 folder, as ProgramData lets any user create files in a
// program's folder), the file belongs to one user, and another user plants what a rename or a
// read then meets. Nothing outside the alias folder may change, every record must survive, and
// nothing another user left may block a rename or be applied to the file.
#include "host_module.h"
#include "rename_machine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

using namespace hosttest;
namespace fs = std::filesystem;

namespace {

const std::string kStore = R"({
	"devices":	{
		")" + RenameMachine::token(1) + R"(":	{"alias": "Bench"},
		"SIM:0001":	{"alias": "Taken", "simulated": true}
	}
})";

// The file grown to `size` bytes by writing its last byte, the rest a hole. Not resize_file: under
// Wine, mingw's C runtime ends in "File too large" for it now and then (once in the Windows stage,
// beside another prefix's first run), a failure of the test's own set-up, not of the module.
void growSparse(const fs::path& file, std::uintmax_t size) {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekp(static_cast<std::streamoff>(size - 1));
    stream.put('\0');
    ASSERT_TRUE(stream.flush()) << file;
}

class AliasFileAlone : public LoadedModuleTest {
protected:
    void SetUp() override {
        IhwSysExpert2* raw = nullptr;
        ASSERT_EQ(create(&raw), S_OK);
        expert = ComRef<IhwSysExpert2>::attach(raw);
    }
    HRESULT rename(int board, const std::u16string& alias) {
        const std::u16string item = widen(RenameMachine::itemName(board));
        LONG inUse = -1;
        void* reserved = nullptr;
        return expert->RenameResource(ole(item), ole(alias), 0, &inUse, &reserved);
    }

    RenameMachine machine{3};
    ComRef<IhwSysExpert2> expert;
};

} // namespace

// What one user can meet alone, on every system: a whole journal whose new text is no alias
// document is never applied, whatever is left under the journal's name blocks no rename, and the
// file itself is refused before it is read when it is huge, or as malformed when it holds a NUL;
// a rename that would make it larger than the limit is refused before anything is written.
TEST_F(AliasFileAlone, nothing_but_an_alias_document_is_applied_and_no_leftover_blocks_a_rename) {
    const auto journalTo = [&](const std::string& next) {
        RenameMachine::write(machine.recoveryFile(), recoveryJournal(kStore, next));
    };
    const struct {
        const char* planted;
        std::function<void()> plant;
        HRESULT result;
    } cases[] = {
        {"a whole journal whose new text is not JSON", [&] { journalTo("this is not json"); }, S_OK},
        {"a whole journal whose new text is empty", [&] { journalTo(""); }, S_OK},
        {"a whole journal whose new text holds no devices", [&] { journalTo(R"({"format": 1})"); }, S_OK},
        {"a folder under the journal's name", [&] { fs::create_directory(machine.recoveryFile()); }, S_OK},
        {"a raw NUL inside a record's string", [&] {
             std::string text = kStore;
             text.replace(text.find("Bench"), 5, std::string("Be\0ch", 5));
             RenameMachine::write(machine.aliasFile(), text);
         }, E_FAIL},
        {"a sparse file of 2 GB", [&] { growSparse(machine.aliasFile(), 2ull << 30); }, E_FAIL},
        {"a file the rename would grow beyond 64 MiB", [&] {
             const std::string head = R"({"devices": {"SIM:0002": {"alias": "Pad", "pad": ")";
             const std::string tail = R"("}}})";
             const std::size_t padding = (64u << 20) - 64 - head.size() - tail.size();
             RenameMachine::write(machine.aliasFile(), head + std::string(padding, 'x') + tail);
         }, E_FAIL},
    };
    for (const auto& c : cases) {
        fs::remove_all(machine.recoveryFile());
        RenameMachine::write(machine.aliasFile(), kStore);
        c.plant();
        const std::uintmax_t size = fs::file_size(machine.aliasFile());
        const std::string before = size < 4096 ? RenameMachine::read(machine.aliasFile()) : std::string();
        EXPECT_EQ(rename(0, u"New"), c.result) << c.planted;
        if (c.result != S_OK) {
            EXPECT_EQ(fs::file_size(machine.aliasFile()), size) << c.planted;
            EXPECT_FALSE(machine.journalPending()) << c.planted;
            if (size < 4096) {
                EXPECT_EQ(RenameMachine::read(machine.aliasFile()), before) << c.planted;
            }
            continue;
        }
        const std::string after = RenameMachine::read(machine.aliasFile());
        EXPECT_NE(parseWhole(after), nullptr) << c.planted;
        for (const char* kept : {"\"Bench\"", "\"Taken\"", "\"New\""}) {
            EXPECT_NE(after.find(kept), std::string::npos) << c.planted << ": " << kept;
        }
        EXPECT_EQ(rename(2, u"Second"), S_OK) << c.planted;
    }
}

#ifndef _WIN32
#include "common/child_processes.h"

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <vector>

namespace {

constexpr uid_t kRoot = 0;
constexpr uid_t kOwner = 4242;   // owns aliases.json, and belongs to the lab's group
constexpr uid_t kMember = 4343;  // writes aliases.json through the lab's group, owns nothing
constexpr uid_t kNobody = 65534; // may create files in a sticky folder, may not write aliases.json
constexpr gid_t kLab = 4300;

// The groups a user's processes run with, the primary one first.
std::vector<gid_t> groupsOf(uid_t uid) {
    if (uid == kOwner) {
        return {kOwner, kLab};
    }
    return {uid == kMember ? kLab : static_cast<gid_t>(uid)};
}

bool becomeUser(uid_t uid) {
    const std::vector<gid_t> groups = groupsOf(uid);
    return uid == kRoot || (::setgroups(groups.size(), groups.data()) == 0 &&
                            ::setresgid(groups[0], groups[0], groups[0]) == 0 && ::setresuid(uid, uid, uid) == 0);
}

const std::string kNobodysStore = R"({"devices": {"SIM:0001": {"alias": "Nobodys"}}})";

class AliasSharing : public LoadedModuleTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root, to act as other users";
        }
        for (fs::path up = folder(); up != machine.machineFile().parent_path().parent_path(); up = up.parent_path()) {
            fs::permissions(up, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        }
        fs::permissions(machine.machineFile(), fs::perms::owner_read | fs::perms::others_read);
        fs::permissions(folder(), fs::perms::all | fs::perms::sticky_bit);
        outside = machine.machineFile().parent_path() / "root-only" / "secret.json";
        fs::create_directories(outside.parent_path());
        RenameMachine::write(outside, kStore);
    }

    fs::path folder() const { return machine.aliasFile().parent_path(); }

    // Writes `text` at `path` as `owner` would have left it, with `mode` (and `group`).
    static void plantFile(const fs::path& path, const std::string& text, uid_t owner, mode_t mode = 0644,
                          gid_t group = static_cast<gid_t>(-1)) {
        RenameMachine::write(path, text);
        ASSERT_EQ(::chown(path.c_str(), owner, group == static_cast<gid_t>(-1) ? owner : group), 0);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    }
    // The alias file as an installer leaves it for a lab: the owner's, written by the lab's group.
    void plantLabFile(const std::string& text) const { plantFile(machine.aliasFile(), text, kOwner, 0664, kLab); }
    void emptyFolder() const {
        for (const fs::path& entry : fs::directory_iterator(folder())) {
            fs::remove_all(entry);
        }
    }
    static void plantLink(const fs::path& path, const fs::path& target, uid_t owner) {
        fs::create_symlink(target, path);
        ASSERT_EQ(::lchown(path.c_str(), owner, owner), 0);
    }

    // RenameResource of board `board` as user `uid`, in a child that is killed if it hangs.
    bool renamedAs(uid_t uid, int board, const std::u16string& alias, HRESULT expected) {
        const pid_t child = spawn([&] {
            ::alarm(20);
            return becomeUser(uid) &&
                   renameThroughNewExpert(create, widen(RenameMachine::itemName(board)), alias) == expected;
        });
        return exitedCleanly(child);
    }

    // The journal a rewrite from the file's current text to `next` leaves, by the file's format.
    std::string journalTo(const std::string& next) const {
        const std::string base = RenameMachine::read(machine.aliasFile());
        return recoveryJournal(base, next);
    }

    RenameMachine machine{3};
    fs::path outside;
};

} // namespace

TEST_F(AliasSharing, what_another_user_plants_is_never_applied_and_never_blocks_a_rename) {
    const fs::path journal = machine.recoveryFile();
    const struct {
        const char* planted;
        std::function<void()> plant;
        uid_t renamer;
    } cases[] = {
        {"nobody's whole journal naming nobody's text",
         [&] { plantFile(journal, journalTo(kNobodysStore), kNobody); }, kRoot},
        {"nobody's whole journal, renamed by the file's owner",
         [&] { plantFile(journal, journalTo(kNobodysStore), kNobody); }, kOwner},
        {"nobody's 0600 leftover", [&] { plantFile(journal, "cut short", kNobody, 0600); }, kOwner},
        {"nobody's FIFO", [&] {
             ASSERT_EQ(::mkfifo(journal.c_str(), 0644), 0);
             ASSERT_EQ(::chown(journal.c_str(), kNobody, kNobody), 0);
         }, kOwner},
        {"nobody's FIFO, renamed by root", [&] {
             ASSERT_EQ(::mkfifo(journal.c_str(), 0644), 0);
             ASSERT_EQ(::chown(journal.c_str(), kNobody, kNobody), 0);
         }, kRoot},
        {"nobody's symbolic link to a root-only file", [&] { plantLink(journal, outside, kNobody); }, kOwner},
        {"nobody's hard link to a root-only file", [&] {
             fs::create_hard_link(outside, journal);
         }, kOwner},
        {"nobody's journal under a name of its own",
         [&] { plantFile(journal.string() + "-0000000000000000", journalTo(kNobodysStore), kNobody); }, kOwner},
    };
    for (const auto& c : cases) {
        for (const fs::path& entry : fs::directory_iterator(folder())) {
            fs::remove_all(entry);
        }
        plantFile(machine.aliasFile(), kStore, kOwner);
        c.plant();
        const std::string before = RenameMachine::read(outside);
        // "Nobodys" would be in use if nobody's text were taken for the file's.
        EXPECT_TRUE(renamedAs(c.renamer, 0, u"Nobodys", S_OK)) << c.planted;
        const std::string after = RenameMachine::read(machine.aliasFile());
        const Json parsed = parseWhole(after);
        ASSERT_NE(parsed, nullptr) << c.planted << "\n" << after;
        for (const char* kept : {"\"Bench\"", "\"Taken\"", "\"Nobodys\""}) {
            EXPECT_NE(after.find(kept), std::string::npos) << c.planted << ": " << kept;
        }
        EXPECT_EQ(RenameMachine::read(outside), before) << c.planted;
        EXPECT_EQ(::access(machine.aliasFile().c_str(), F_OK), 0) << c.planted;
        // The next rename meets whatever the first left, and is not blocked by it either.
        EXPECT_TRUE(renamedAs(c.renamer, 2, u"Second", S_OK)) << c.planted;
    }
}

// The folders above the file are judged on their own handles: the maker's folder planted as a link
// by another user in a common folder anyone may create in (to nobody's own aliases, or to a
// root-only folder), or owned by another user who could swap what lies below it, refuses every
// rename before anything is read or written, and leaves every file where the link or folder leads.
TEST_F(AliasSharing, a_linked_or_foreign_folder_above_the_file_is_refused) {
    const fs::path maker = folder().parent_path();
    const fs::path common = maker.parent_path();
    const fs::path elsewhere = machine.machineFile().parent_path() / "elsewhere";
    fs::permissions(common, fs::perms::all | fs::perms::sticky_bit);
    const auto plantMakerTree = [&](const fs::path& top, uid_t owner, uid_t fileOwner, const std::string& text) {
        fs::create_directories(top / "QV-KELP");
        ASSERT_EQ(::chown(top.c_str(), owner, owner), 0);
        plantFile(top / "QV-KELP" / "aliases.json", text, fileOwner);
    };
    const struct {
        const char* planted;
        std::function<void()> plant;
        uid_t renamer;
    } cases[] = {
        {"nobody's link to nobody's aliases", [&] {
             plantMakerTree(elsewhere, kNobody, kNobody, kNobodysStore);
             plantLink(maker, elsewhere, kNobody);
         }, kOwner},
        {"nobody's link to a root-only folder, renamed by root", [&] {
             plantMakerTree(elsewhere, kRoot, kRoot, kStore);
             fs::permissions(elsewhere, fs::perms::owner_all);
             plantLink(maker, elsewhere, kNobody);
         }, kRoot},
        {"the maker's folder owned by nobody", [&] { plantMakerTree(maker, kNobody, kOwner, kStore); }, kOwner},
    };
    for (const auto& c : cases) {
        fs::remove_all(maker);
        fs::remove_all(elsewhere);
        c.plant();
        const fs::path reached = fs::is_symlink(maker) ? elsewhere / "QV-KELP" / "aliases.json" : machine.aliasFile();
        const std::string before = RenameMachine::read(reached);
        const std::string outsideBefore = RenameMachine::read(outside);
        EXPECT_TRUE(renamedAs(c.renamer, 0, u"Nobodys", HW_E_FILE_ACCESS_DENIED)) << c.planted;
        EXPECT_EQ(RenameMachine::read(reached), before) << c.planted;
        EXPECT_EQ(RenameMachine::read(outside), outsideBefore) << c.planted;
        EXPECT_FALSE(fs::exists(reached.string() + ".recovery")) << c.planted;
    }
}

// A journal counts only when it is protected exactly as the file is (owner, group, permission
// bits): whoever could write it could write the file. Such a journal completes a rewrite cut short
// for a group writer, who may not remove the owner's journal from a sticky folder and so empties it
// in place: once applied, it never counts again, even when the file comes back to its old text.
TEST_F(AliasSharing, a_journal_counts_only_when_protected_as_the_file_is_and_once) {
    const std::string next = R"({"devices": {"SIM:0001": {"alias": "Restored"}}})";
    const fs::path own = machine.recoveryFile().string() + "-0123456789abcdef";
    const struct {
        const char* journal;
        uid_t owner;
        gid_t group;
        mode_t mode;
        bool counts;
    } cases[] = {
        {"the owner's, protected as the file is", kOwner, kLab, 0664, true},
        {"root's, in the file's group and mode", kRoot, kLab, 0664, false},
        {"the owner's, not writable by the group", kOwner, kLab, 0644, false},
        {"the owner's, in the owner's own group", kOwner, kOwner, 0664, false},
        {"another user's, in the file's group and mode", kNobody, kLab, 0664, false},
    };
    for (const auto& c : cases) {
        emptyFolder();
        plantLabFile(kStore);
        // Another user holds the common name, so the writer took a name of its own.
        plantFile(machine.recoveryFile(), "cut short", kNobody, 0600);
        const std::string journal = journalTo(next);
        plantFile(own, journal, c.owner, c.mode, c.group);
        const std::string torn = next.substr(0, 12) + kStore.substr(12);
        plantLabFile(torn);
        EXPECT_TRUE(renamedAs(kMember, 0, u"Restored", c.counts ? HW_E_ALIAS_IN_USE : E_FAIL)) << c.journal;
        EXPECT_EQ(RenameMachine::read(machine.aliasFile()), c.counts ? next : torn) << c.journal;
        EXPECT_EQ(fs::file_size(own), c.counts ? 0u : journal.size()) << c.journal;
        if (!c.counts) {
            continue;
        }
        plantLabFile(kStore); // the journal's base text again
        EXPECT_TRUE(renamedAs(kMember, 0, u"After", S_OK)) << c.journal;
        const std::string after = RenameMachine::read(machine.aliasFile());
        EXPECT_NE(after.find("\"After\""), std::string::npos) << c.journal;
        EXPECT_NE(after.find("\"Taken\""), std::string::npos) << c.journal;
        EXPECT_EQ(after.find("\"Restored\""), std::string::npos) << c.journal;
    }
}

// Every user who may write the file is protected, in a sticky folder anyone may create files in
// and in a folder of the lab's group: after the owner's first rename (or the set-up) the common
// journal lies beside the file, protected as the file is, and a rename cut short in the rewrite by
// the owner, a group writer or root is completed by the next writer. (The kills at random bytes of
// the rewrite are tests/reliability/crash_safety_test.cpp's.) Another user is refused and
// changes nothing; nothing outside the alias folder changes.
TEST_F(AliasSharing, every_writer_of_the_file_is_protected_in_a_sticky_or_a_group_folder) {
    const std::string faultyMachine = (machine.machineFile().parent_path() / "faulty.json").string();
    {
        std::string text = RenameMachine::read(machine.machineFile());
        // The file never reaches the disk: the rewrite and the putting back of the old text both fail
        // at the flush, so the writer's journal stays, as a power cut or a kill leaves it.
        text.insert(text.find('{') + 1, R"( "faults": [ { "call": "FlushFileBuffers", "error": 1117,
            "argument": "C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json" } ], )");
        std::ofstream(faultyMachine) << text;
        ASSERT_EQ(::chmod(faultyMachine.c_str(), 0644), 0);
    }
    const auto cutShortAs = [&](uid_t uid) {
        const pid_t child = spawn([&] {
            ::alarm(20);
            ::setenv("QVKELP_MACHINE", faultyMachine.c_str(), 1);
            return becomeUser(uid) &&
                   renameThroughNewExpert(create, widen(RenameMachine::itemName(0)), u"Cut") == E_UNEXPECTED;
        });
        return exitedCleanly(child);
    };
    const struct {
        const char* folder;
        gid_t group;
        fs::perms mode;
    } folders[] = {
        {"1777", kRoot, fs::perms::all | fs::perms::sticky_bit},
        {"2775 of the lab", kLab, fs::perms::owner_all | fs::perms::group_all | fs::perms::others_read |
                                      fs::perms::others_exec | fs::perms::set_gid},
    };
    const struct {
        const char* name;
        uid_t uid;
    } writers[] = {{"the owner", kOwner}, {"a group writer", kMember}, {"root", kRoot}};
    const std::string before = RenameMachine::read(outside);
    for (const auto& f : folders) {
        ASSERT_EQ(::chown(folder().c_str(), kRoot, f.group), 0);
        fs::permissions(folder(), f.mode);
        for (const auto& w : writers) {
            const std::string row = std::string(f.folder) + ", " + w.name;
            emptyFolder();
            plantLabFile(kStore);
            ASSERT_TRUE(renamedAs(kOwner, 2, u"Setup", S_OK)) << row;
            struct stat journal {};
            ASSERT_EQ(::stat(machine.recoveryFile().c_str(), &journal), 0) << row;
            EXPECT_EQ(journal.st_size, 0) << row;
            EXPECT_EQ(journal.st_uid, kOwner) << row;
            EXPECT_EQ(journal.st_gid, kLab) << row;
            EXPECT_EQ(journal.st_mode & 07777, 0664u) << row;

            ASSERT_TRUE(cutShortAs(w.uid)) << row;
            const std::string torn = RenameMachine::read(machine.aliasFile());
            EXPECT_EQ(torn.find("\"Cut\""), std::string::npos) << row;
            EXPECT_TRUE(machine.journalPending()) << row;
            // Another user may not write the file: refused, and the torn file stays for a writer.
            EXPECT_TRUE(renamedAs(kNobody, 1, u"Nobodys", HW_E_FILE_ACCESS_DENIED)) << row;
            EXPECT_EQ(RenameMachine::read(machine.aliasFile()), torn) << row;
            // The next writer, whoever it is, finds the rename cut short complete.
            EXPECT_TRUE(renamedAs(kMember, 1, u"Cut", HW_E_ALIAS_IN_USE)) << row;
            const std::string after = RenameMachine::read(machine.aliasFile());
            ASSERT_NE(parseWhole(after), nullptr) << row << "\n" << after;
            for (const char* kept : {"\"Cut\"", "\"Taken\"", "\"Setup\""}) {
                EXPECT_NE(after.find(kept), std::string::npos) << row << ": " << kept;
            }
            EXPECT_FALSE(machine.journalPending()) << row;
            EXPECT_EQ(RenameMachine::read(outside), before) << row;
        }
    }
}

// Another user holds leftovers open without sharing anything, under the common name and under a
// name of its own: no rename of a writer of the file is stopped by them, and no read either.
TEST_F(AliasSharing, leftovers_another_user_holds_open_stop_no_read_and_no_rename) {
    emptyFolder();
    plantFile(machine.aliasFile(), kStore, kOwner);
    const fs::path own = machine.recoveryFile().string() + "-00000000000000ff";
    plantFile(machine.recoveryFile(), "held", kNobody);
    plantFile(own, journalTo(kNobodysStore), kNobody);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = spawn([&] {
        if (!becomeUser(kNobody)) {
            return false;
        }
        for (const fs::path& held : {machine.recoveryFile(), own}) {
            if (CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr) ==
                INVALID_HANDLE_VALUE) {
                return false;
            }
        }
        static_cast<void>(::write(ready[1], "!", 1));
        ::pause();
        return true;
    });
    char signal = 0;
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
    EXPECT_TRUE(renamedAs(kOwner, 0, u"Nobodys", S_OK));
    EXPECT_TRUE(renamedAs(kRoot, 2, u"Second", S_OK));
    EXPECT_TRUE(renamedAs(kOwner, 1, u"Second", HW_E_ALIAS_IN_USE)); // read back, through the held names
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    const std::string after = RenameMachine::read(machine.aliasFile());
    ASSERT_NE(parseWhole(after), nullptr) << after;
    for (const char* kept : {"\"Bench\"", "\"Taken\"", "\"Nobodys\"", "\"Second\""}) {
        EXPECT_NE(after.find(kept), std::string::npos) << kept;
    }
}

// A FIFO as the file is refused at once, never waited on, by root and by the file's owner alike.
TEST_F(AliasSharing, a_fifo_as_the_file_is_refused_at_once_and_left_as_it_was) {
    fs::remove(machine.aliasFile());
    ASSERT_EQ(::mkfifo(machine.aliasFile().c_str(), 0666), 0);
    EXPECT_TRUE(renamedAs(kRoot, 0, u"New", HW_E_FILE_ACCESS_DENIED));
    EXPECT_TRUE(renamedAs(kOwner, 0, u"New", HW_E_FILE_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_fifo(machine.aliasFile()));
}

// One user keeps swapping aliases.json between a plain file of theirs and a symbolic link to a
// root-only file while root renames: no rename may ever write the root-only file.
TEST_F(AliasSharing, swapping_the_file_for_a_link_never_redirects_a_write) {
    fs::permissions(outside.parent_path(), fs::perms::owner_all);
    const fs::path swap = folder() / "swap";
    const std::string before = RenameMachine::read(outside);
    const pid_t swapper = fork();
    ASSERT_NE(swapper, -1);
    const std::unique_ptr<const pid_t, void (*)(const pid_t*)> stopSwapper(&swapper, [](const pid_t* pid) {
        ::kill(*pid, SIGKILL);
        ::waitpid(*pid, nullptr, 0);
    });
    if (swapper == 0) {
        if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0) {
            _exit(1);
        }
        // rename(2) replaces the name in one step, as an attacker's swap would.
        for (int round = 0;; ++round) {
            std::error_code ignored;
            fs::remove(swap, ignored);
            if (round % 2 == 0) {
                fs::create_symlink(outside, swap, ignored);
            } else {
                RenameMachine::write(swap, kStore);
            }
            ::rename(swap.c_str(), machine.aliasFile().c_str());
        }
    }
    for (int round = 0; round < 200; ++round) {
        const pid_t child = spawn([&] {
            IhwSysExpert2* raw = nullptr;
            if (create(&raw) != S_OK) {
                return false;
            }
            const auto expert = ComRef<IhwSysExpert2>::attach(raw);
            const std::u16string item = widen(RenameMachine::itemName(round % 3));
            const std::u16string alias = u"Round" + widen(std::to_string(round));
            LONG inUse = -1;
            void* reserved = nullptr;
            expert->RenameResource(ole(item), ole(alias), 0, &inUse, &reserved);
            return true;
        });
        ASSERT_TRUE(exitedCleanly(child));
        ASSERT_EQ(RenameMachine::read(outside), before) << "after rename " << round;
    }
}
#endif

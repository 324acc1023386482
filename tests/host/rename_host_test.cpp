// Renaming boards as a host does: the module loaded by name, RenameResource through the interface
// table, the alias file checked byte for byte.
#include "host_module.h"
#include "rename_machine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include "common/child_processes.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace hosttest;

namespace {

const std::string kBoard0 = RenameMachine::token(0);
const std::string kBoard1 = RenameMachine::token(1);

// Board 1 has a record; so do a simulated device and a board of another machine, each with
// members the module does not know; the top level has a member of its own.
const std::string kStore = R"({
	"format":	{"version": 2, "by": "installer"},
	"devices":	{
		")" + kBoard1 + R"(":	{"alias": "Bench", "simulated": false, "note": "left by hand"},
		"SIM:0001":	{"alias": "Taken", "simulated": true, "lanes": [1, 2]},
		"PCI:VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02/0000:03:00":	{"alias": "Other", "extra": null}
	}
})";

std::vector<std::string> keysOf(const cJSON* object) {
    std::vector<std::string> keys;
    for (const cJSON* member = object->child; member != nullptr; member = member->next) {
        keys.emplace_back(member->string);
    }
    return keys;
}

class RenameHost : public LoadedModuleTest {
protected:
    void SetUp() override {
        IhwSysExpert2* raw = nullptr;
        ASSERT_EQ(create(&raw), S_OK);
        expert = ComRef<IhwSysExpert2>::attach(raw);
    }

    HRESULT renameItem(const std::u16string& itemName, const std::u16string& alias, ULONG flags = 0) {
        void* reserved = &reserved;
        aliasInUse = -1;
        const HRESULT result = expert->RenameResource(ole(itemName), ole(alias), flags, &aliasInUse, &reserved);
        EXPECT_EQ(reserved, nullptr);
        return result;
    }
    HRESULT rename(int board, const std::u16string& alias, ULONG flags = 0) {
        return renameItem(widen(RenameMachine::itemName(board)), alias, flags);
    }

    Json parsedStore() const { return parseWhole(RenameMachine::read(machine.aliasFile())); }

    RenameMachine machine{3};
    ComRef<IhwSysExpert2> expert;
    LONG aliasInUse = -1;
};

} // namespace

TEST_F(RenameHost, a_rename_appends_a_fresh_snapshot_and_leaves_every_other_record_and_member_as_it_was) {
    RenameMachine::write(machine.aliasFile(), kStore);
    ASSERT_EQ(rename(0, u"Scope-A"), S_OK);
    EXPECT_EQ(aliasInUse, 0);

    const Json before = parseWhole(kStore);
    const Json after = parsedStore();
    ASSERT_NE(after, nullptr);
    EXPECT_TRUE(cJSON_Compare(cJSON_GetObjectItem(before.get(), "format"), cJSON_GetObjectItem(after.get(), "format"), 1));
    const cJSON* devices = cJSON_GetObjectItem(after.get(), "devices");
    EXPECT_EQ(keysOf(devices), (std::vector<std::string>{kBoard1, "SIM:0001",
                                                          "PCI:VEN_1F2B&DEV_7B10&SUBSYS_7B101F2B&REV_02/0000:03:00",
                                                          kBoard0}));
    for (const cJSON* old = cJSON_GetObjectItem(before.get(), "devices")->child; old != nullptr; old = old->next) {
        EXPECT_TRUE(cJSON_Compare(old, cJSON_GetObjectItemCaseSensitive(devices, old->string), 1)) << old->string;
    }
    const Json expected(cJSON_Parse(R"({"alias": "Scope-A", "simulated": false, "vendor_id": 7979,
        "vendor_name": "Quorvel", "device_id": 31232, "subsystem_id": 31232, "model_name": "QV-KELP 4110",
        "serial_number": "SN00", "is_product_qv": true, "pxi_chassis_number": 1, "pxi_slot_number": 2,
        "pxi_connects_to_num_slots": 1})"));
    const cJSON* record = cJSON_GetObjectItemCaseSensitive(devices, kBoard0.c_str());
    EXPECT_TRUE(cJSON_Compare(expected.get(), record, 1));
    EXPECT_EQ(keysOf(record), keysOf(expected.get()));

    // Its current alias is no conflict: the record is rebuilt (losing what we do not own) and moves last.
    ASSERT_EQ(rename(1, u"Bench"), S_OK);
    const Json again = parsedStore();
    const cJSON* moved = cJSON_GetObjectItem(again.get(), "devices")->child->next->next->next;
    EXPECT_EQ(moved->string, kBoard1);
    EXPECT_EQ(cJSON_GetObjectItem(moved, "note"), nullptr);
}

TEST_F(RenameHost, an_alias_in_use_is_refused_unless_forced_and_letter_case_makes_aliases_distinct) {
    const struct {
        const char16_t* alias;
        ULONG flags;
        HRESULT result;
        LONG aliasInUse;
    } cases[] = {
        {u"Taken", 0, HW_E_ALIAS_IN_USE, 1},
        {u"Other", 0xFFFFFFFEu, HW_E_ALIAS_IN_USE, 1}, // only bit 0 counts
        {u"TAKEN", 0, S_OK, 0},
        {u"Taken", 1, S_OK, 0},
        {u"Other", 0xFFFFFFFFu, S_OK, 0},
    };
    for (const auto& c : cases) {
        RenameMachine::write(machine.aliasFile(), kStore);
        EXPECT_EQ(rename(0, c.alias, c.flags), c.result) << std::string(c.alias, c.alias + 5);
        EXPECT_EQ(aliasInUse, c.aliasInUse);
        const std::string text = RenameMachine::read(machine.aliasFile());
        if (FAILED(c.result)) {
            EXPECT_EQ(text, kStore);
        } else {
            const Json after = parseWhole(text);
            EXPECT_STREQ(cJSON_GetObjectItem(cJSON_GetObjectItem(cJSON_GetObjectItem(after.get(), "devices"),
                                                                 kBoard0.c_str()),
                                             "alias")
                             ->valuestring,
                         std::string(c.alias, c.alias + 5).c_str());
        }
    }
}

TEST_F(RenameHost, pointers_are_checked_in_order_before_the_alias_and_the_alias_before_the_file) {
    std::filesystem::remove(machine.aliasFile()); // any look at the file would fail with E_UNEXPECTED
    const std::u16string item = widen(RenameMachine::itemName(0));
    LONG inUse = 5;
    void* reserved = &reserved;
    EXPECT_EQ(expert->RenameResource(nullptr, nullptr, 0, nullptr, &reserved), E_POINTER);
    EXPECT_EQ(reserved, static_cast<void*>(&reserved));
    EXPECT_EQ(expert->RenameResource(nullptr, nullptr, 0, &inUse, nullptr), E_POINTER);
    EXPECT_EQ(inUse, 0);
    inUse = 5;
    EXPECT_EQ(expert->RenameResource(nullptr, nullptr, 0, &inUse, &reserved), E_POINTER);
    EXPECT_EQ(inUse, 0);
    EXPECT_EQ(reserved, nullptr);
    EXPECT_EQ(expert->RenameResource(ole(item), nullptr, 0, &inUse, &reserved), HW_E_INVALID_ALIAS);
    EXPECT_EQ(expert->RenameResource(ole(item), OLESTR("_x"), 0, &inUse, &reserved), HW_E_INVALID_ALIAS);
    EXPECT_EQ(expert->RenameResource(ole(item), OLESTR("ok"), 0, &inUse, &reserved), E_UNEXPECTED);
}

TEST_F(RenameHost, every_refused_rename_leaves_the_file_byte_for_byte) {
    const struct {
        std::u16string itemName;
        std::u16string alias;
        HRESULT result;
    } cases[] = {
        {widen(RenameMachine::itemName(0)), std::u16string(255, u'a'), HW_E_INVALID_ALIAS},
        {widen(RenameMachine::itemName(0)), u"", HW_E_INVALID_ALIAS},
        {widen(RenameMachine::itemName(0)), u"caf\u00e9", HW_E_INVALID_ALIAS},
        {widen(RenameMachine::itemName(0)), u"two words", HW_E_INVALID_ALIAS},
        {u"PCI\\VEN_1F2B&DEV_7A00\u0100", u"ok", E_FAIL},                  // does not narrow
        {widen(RenameMachine::itemName(7)), u"ok", E_FAIL},                // no such board
        {u"", u"ok", E_FAIL},                                              // names no board
        {widen(RenameMachine::itemName(0)), u"Bench", HW_E_ALIAS_IN_USE}, // board 1's
    };
    for (const auto& c : cases) {
        RenameMachine::write(machine.aliasFile(), kStore);
        EXPECT_EQ(renameItem(c.itemName, c.alias), c.result);
        EXPECT_EQ(RenameMachine::read(machine.aliasFile()), kStore);
    }
    EXPECT_EQ(rename(0, std::u16string(254, u'-')), S_OK);
}

TEST_F(RenameHost, a_record_without_an_alias_fails_the_uniqueness_check_but_not_a_forced_rename) {
    const std::string store = R"({"devices": {"SIM:1": {"alias": "a"}, "SIM:2": {"simulated": true}}})";
    RenameMachine::write(machine.aliasFile(), store);
    EXPECT_EQ(rename(0, u"Fresh"), E_FAIL);
    EXPECT_EQ(RenameMachine::read(machine.aliasFile()), store);
    EXPECT_EQ(rename(0, u"Fresh", 1), S_OK);
}

TEST_F(RenameHost, keys_differing_only_in_case_all_give_way_to_the_one_new_record) {
    std::string lower = kBoard0;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    RenameMachine::write(machine.aliasFile(), R"({"devices": {")" + lower + R"(": {"alias": "Old1"}, ")" + kBoard0 +
                                                  R"(": {"alias": "Old2"}, "SIM:1": {"alias": "Keep"}}})");
    ASSERT_EQ(rename(0, u"Old2"), S_OK);
    const Json after = parsedStore();
    EXPECT_EQ(keysOf(cJSON_GetObjectItem(after.get(), "devices")), (std::vector<std::string>{"SIM:1", kBoard0}));
}

TEST_F(RenameHost, a_missing_empty_malformed_or_trailing_text_file_is_refused_and_left_as_it_was) {
    std::filesystem::remove(machine.aliasFile());
    EXPECT_EQ(rename(0, u"A"), E_UNEXPECTED);
    EXPECT_FALSE(std::filesystem::exists(machine.aliasFile()));
    for (const std::string& text : {std::string(), std::string("{\"devices\": {}"),
                                    std::string("{\"devices\": {}}\n{\"devices\": {}}"),
                                    std::string("{\"devices\": {}}\n\0tail", 22)}) {
        RenameMachine::write(machine.aliasFile(), text);
        EXPECT_EQ(rename(0, u"A"), E_FAIL);
        EXPECT_EQ(RenameMachine::read(machine.aliasFile()), text);
    }
}

TEST_F(RenameHost, a_failed_system_call_gives_its_result_and_leaves_the_file_untouched) {
    const std::string store = R"({"devices": {"SIM:1": {"alias": "a"}, ")" + kBoard0 + R"(": {"alias": "Old"}}})";
    const struct {
        std::string fault;
        HRESULT result;
        bool onRuntime = false; // a call of the system's runtime, simulated only on Linux
    } cases[] = {
        {R"({ "call": "SetupDiGetClassDevsA", "error": 8 })", E_OUTOFMEMORY},
        {R"({ "call": "RegQueryValueExA", "error": 2, "argument": "pciRevision" })", E_FAIL},
        {R"({ "call": "LockFileEx", "error": 33 })", E_FAIL, true},
        {R"({ "call": "CreateFileA", "error": 112,
              "argument": "C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json.recovery" })", E_UNEXPECTED, true},
        // A read while the record is built: the board's old record stays, not one with empty members.
        {R"({ "call": "RegQueryValueExA", "error": 2, "argument": "modelName" })", E_FAIL},
    };
    for (const auto& c : cases) {
        if (c.onRuntime && !kRuntimeIsSimulated) {
            continue;
        }
        RenameMachine faulty(1, "\"faults\": [" + c.fault + "]");
        RenameMachine::write(faulty.aliasFile(), store);
        EXPECT_EQ(rename(0, u"New"), c.result) << c.fault;
        EXPECT_EQ(RenameMachine::read(faulty.aliasFile()), store) << c.fault;
        EXPECT_FALSE(faulty.journalPending()) << c.fault;
    }
}

// Anyone may plant names beside the journal's. What the folder's listing shows empty, or under a
// name no writer gives its journal, is never opened: here opening any of them fails in a way that
// would stop the rename, and the rename goes through.
TEST_F(RenameHost, empty_or_foreign_journal_names_are_never_opened) {
    if (!kRuntimeIsSimulated) {
        GTEST_SKIP() << "a failing CreateFileA is the simulation's";
    }
    const struct {
        const char* name;
        const char* content;
    } planted[] = {
        {"aliases.json.recovery-0123456789abcdef", ""},
        {"aliases.json.recovery-planted", "no journal"},
        {"aliases.json.recovery-0123456789abcdef0", "no journal"},
    };
    std::string faults;
    for (const auto& p : planted) {
        faults += std::string(faults.empty() ? "" : ", ") + R"({ "call": "CreateFileA", "error": 31, "argument": )" +
                  R"("C:\\ProgramData\\Quorvel\\QV-KELP\\)" + p.name + R"(" })";
    }
    RenameMachine faulty(1, "\"faults\": [" + faults + "]");
    const std::string store = R"({"devices": {"SIM:1": {"alias": "a"}, ")" + kBoard0 + R"(": {"alias": "Old"}}})";
    RenameMachine::write(faulty.aliasFile(), store);
    for (const auto& p : planted) {
        RenameMachine::write(faulty.aliasFile().parent_path() / p.name, p.content);
    }
    ASSERT_EQ(rename(0, u"New"), S_OK);
    const std::string after = RenameMachine::read(faulty.aliasFile());
    EXPECT_NE(after.find(R"("a")"), std::string::npos);
    EXPECT_NE(after.find(R"("New")"), std::string::npos);
    for (const auto& p : planted) {
        EXPECT_EQ(RenameMachine::read(faulty.aliasFile().parent_path() / p.name), p.content) << p.name;
    }
}

// What survives a power cut is what reached the disk: the journal before the file is touched, the
// rewritten file before the journal is emptied. The order is read from the simulation's call record.
TEST_F(RenameHost, the_journal_reaches_the_disk_before_the_rewrite_and_goes_only_after_the_file_has) {
    if (!kRuntimeIsSimulated) {
        GTEST_SKIP() << "the call record is the simulation's";
    }
    const std::filesystem::path record = machine.machineFile().parent_path() / "calls.log";
    RenameMachine::write(machine.aliasFile(), kStore);
    for (const char* alias : {"First", "Second"}) { // the journal is made, then rewritten in place
        std::filesystem::remove(record);
        hostplatform::setEnvironment("QVKELP_CALL_LOG", record.string());
        const HRESULT renamed = rename(0, widen(alias));
        hostplatform::unsetEnvironment("QVKELP_CALL_LOG");
        ASSERT_EQ(renamed, S_OK);
        const std::string file = R"(C:\ProgramData\Quorvel\QV-KELP\aliases.json)";
        const std::string journal = file + ".recovery";
        std::vector<std::string> calls;
        std::istringstream lines(RenameMachine::read(record));
        for (std::string line; std::getline(lines, line);) {
            if (line.find(R"(\QV-KELP\)") != std::string::npos) {
                calls.push_back(line);
            }
        }
        const std::vector<std::string> expected = {
            "SetEndOfFile " + journal, "FlushFileBuffers " + journal, // written whole and on the disk
            "_chsize_s " + file, "FlushFileBuffers " + file,         // rewritten and on the disk
            "SetEndOfFile " + journal,                                // only then emptied
        };
        EXPECT_EQ(calls, expected) << alias;
        EXPECT_FALSE(machine.journalPending()) << alias;
    }
}

TEST_F(RenameHost, a_file_torn_by_a_dying_writer_is_restored_from_its_journal) {
    const std::string copy = R"({"devices": {"SIM:1": {"alias": "Kept"}}})";
    const std::string journal = recoveryJournal(R"({"devices": {}})", copy);
    RenameMachine::write(machine.aliasFile(), copy.substr(0, 20));
    RenameMachine::write(machine.recoveryFile(), journal);
    ASSERT_EQ(rename(0, u"Kept"), HW_E_ALIAS_IN_USE); // the journal's records count
    EXPECT_EQ(RenameMachine::read(machine.aliasFile()), copy); // restored before the refusal
    EXPECT_FALSE(machine.journalPending());

    // A torn journal is no help: the file's own failure stands.
    RenameMachine::write(machine.aliasFile(), copy.substr(0, 20));
    RenameMachine::write(machine.recoveryFile(), journal.substr(0, journal.size() - 1));
    EXPECT_EQ(rename(0, u"New"), E_FAIL);
    EXPECT_EQ(RenameMachine::read(machine.aliasFile()), copy.substr(0, 20));
}

// A file-size limit kills a writer in the middle of writing, as the system would. Windows has no
// such limit, so the test runs where the system has one.
#ifndef _WIN32
TEST_F(RenameHost, a_writer_killed_while_renaming_loses_only_its_own_rename) {
    RenameMachine::write(machine.aliasFile(), kStore);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const rlimit limit{kStore.size() + 16, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        rename(0, std::u16string(200, u'x'));
        _exit(0);
    }
    int result = 0;
    ASSERT_EQ(waitpid(child, &result, 0), child);
    EXPECT_TRUE(WIFSIGNALED(result) && WTERMSIG(result) == SIGXFSZ);
    EXPECT_EQ(RenameMachine::read(machine.aliasFile()), kStore);
    ASSERT_EQ(rename(2, u"After"), S_OK);
    EXPECT_NE(parsedStore(), nullptr);
    EXPECT_FALSE(machine.journalPending());
}

// Links planted in the alias folder: the recovery copy is created new whatever stands under its
// name (a dangling link included, through which CREATE_NEW alone would create the link's target),
// and a restore from it never writes through a linked alias file. The file a link names stays as
// it was, or missing.
TEST_F(RenameHost, planted_links_change_no_file_outside_the_alias_folder) {
    namespace fs = std::filesystem;
    const fs::path target = machine.machineFile().parent_path() / "root-only.txt";
    const std::string copy = R"({"devices": {"SIM:1": {"alias": "Kept"}}})";
    const auto linkCopy = [&](bool symbolic) {
        RenameMachine::write(machine.aliasFile(), kStore);
        symbolic ? fs::create_symlink(target, machine.recoveryFile()) : fs::create_hard_link(target, machine.recoveryFile());
    };
    const auto linkTornFile = [&](bool symbolic) {
        fs::remove(machine.aliasFile());
        RenameMachine::write(target, copy.substr(0, 20));
        symbolic ? fs::create_symlink(target, machine.aliasFile()) : fs::create_hard_link(target, machine.aliasFile());
        RenameMachine::write(machine.recoveryFile(), recoveryJournal(R"({"devices": {}})", copy));
    };
    const struct {
        const char* planted;
        std::function<void()> plant;
        HRESULT result;
    } cases[] = {
        {"the copy a symbolic link", [&] { linkCopy(true); }, S_OK},
        {"the copy a hard link", [&] { linkCopy(false); }, S_OK},
        {"the copy a dangling link", [&] {
             fs::remove(target);
             linkCopy(true);
         }, S_OK},
        {"a torn file a symbolic link", [&] { linkTornFile(true); }, HW_E_FILE_ACCESS_DENIED},
        {"a torn file a hard link", [&] { linkTornFile(false); }, HW_E_FILE_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        fs::remove(machine.aliasFile());
        fs::remove(machine.recoveryFile());
        RenameMachine::write(target, "secret");
        c.plant();
        const std::string before = RenameMachine::read(target);
        EXPECT_EQ(rename(0, u"New"), c.result) << c.planted;
        EXPECT_EQ(RenameMachine::read(target), before) << c.planted;
    }
}

// Renames as another user than the one who left the recovery copy: root's copy, taking the alias
// file's permission bits, in a folder where only owners remove files (1777), must not block the
// rename; a folder the user cannot write, with no copy in it, gives the access-denied result.
TEST_F(RenameHost, another_users_leftover_copy_blocks_no_rename_and_an_unwritable_folder_is_access_denied) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to rename as another user";
    }
    namespace fs = std::filesystem;
    constexpr uid_t kNobody = 65534;
    const fs::path folder = machine.aliasFile().parent_path();
    for (fs::path up = folder; up != machine.machineFile().parent_path().parent_path(); up = up.parent_path()) {
        fs::permissions(up, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    fs::permissions(machine.machineFile(), fs::perms::owner_read | fs::perms::others_read);
    RenameMachine::write(machine.aliasFile(), kStore);
    fs::permissions(machine.aliasFile(), fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    const struct {
        fs::perms folderPermissions;
        bool leftover;
        HRESULT result;
    } cases[] = {
        {fs::perms::all | fs::perms::sticky_bit, true, S_OK},
        {fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec, false, HW_E_FILE_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        fs::permissions(folder, c.folderPermissions);
        fs::remove(machine.recoveryFile());
        if (c.leftover) {
            RenameMachine::write(machine.recoveryFile(), "a rewrite of root's, cut short");
            fs::permissions(machine.recoveryFile(), fs::status(machine.aliasFile()).permissions());
        }
        const pid_t child = spawn([&] {
            return ::setresgid(kNobody, kNobody, kNobody) == 0 && ::setresuid(kNobody, kNobody, kNobody) == 0 &&
                   rename(0, u"ByNobody") == c.result;
        });
        EXPECT_TRUE(exitedCleanly(child)) << static_cast<int>(c.folderPermissions);
    }
    EXPECT_NE(RenameMachine::read(machine.aliasFile()).find("ByNobody"), std::string::npos);
}

// The rule of protected symbolic links: a rename writes through a link of the target's owner, never
// through one another user planted in place of the alias file.
TEST_F(RenameHost, a_symbolic_link_another_user_planted_as_the_alias_file_is_not_written_through) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to give the link another owner";
    }
    namespace fs = std::filesystem;
    constexpr uid_t kNobody = 65534;
    const fs::path target = machine.machineFile().parent_path() / "root-only.json";
    RenameMachine::write(target, kStore);
    fs::remove(machine.aliasFile());
    fs::create_symlink(target, machine.aliasFile());
    ASSERT_EQ(::lchown(machine.aliasFile().c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(rename(0, u"ThroughLink"), HW_E_FILE_ACCESS_DENIED);
    EXPECT_EQ(RenameMachine::read(target), kStore);

    ASSERT_EQ(::lchown(machine.aliasFile().c_str(), 0, 0), 0);
    EXPECT_EQ(rename(0, u"OwnLink"), S_OK);
    EXPECT_NE(RenameMachine::read(target).find("OwnLink"), std::string::npos);
}

// The module names the common folder to the file functions in the ANSI code page: a folder outside
// ASCII holds the file a rename writes (in page 932 the folder's last byte is 0x5C, half of a
// character), and a folder the page cannot name fails without any file written.
TEST_F(RenameHost, a_common_folder_outside_ascii_is_named_in_the_ansi_code_page) {
    namespace fs = std::filesystem;
    const struct {
        const char* members;
        const char* hostFolder;
        bool renamed;
    } cases[] = {
        {R"("commonAppData": "C:\\Données partagées", "ansiCodePage": 1252)", "Données partagées", true},
        {R"("commonAppData": "C:\\ソ", "ansiCodePage": 932)", "ソ", true},
        {R"("commonAppData": "C:\\数据", "ansiCodePage": 1252)", "数据", false},
    };
    for (const auto& c : cases) {
        const RenameMachine outside(3, c.members);
        const fs::path drive = outside.machineFile().parent_path() / "drive_c";
        const fs::path file = drive / c.hostFolder / "Quorvel" / "QV-KELP" / "aliases.json";
        fs::create_directories(file.parent_path());
        RenameMachine::write(file, kStore);
        const HRESULT result = rename(0, u"Beyond-ASCII");
        EXPECT_EQ(SUCCEEDED(result), c.renamed) << c.hostFolder << ": " << std::hex << result;
        EXPECT_EQ(RenameMachine::read(file).find("Beyond-ASCII") != std::string::npos, c.renamed) << c.hostFolder;
        std::size_t aliasFiles = 0;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(drive)) {
            aliasFiles += entry.path().filename() == "aliases.json" ? 1 : 0;
        }
        EXPECT_EQ(aliasFiles, 1U) << c.hostFolder; // none made elsewhere, under another reading of the name
    }
}
#endif

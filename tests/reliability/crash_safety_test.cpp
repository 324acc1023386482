// Renaming processes killed (SIGKILL) at random moments, most of them while the alias file is
// rewritten, since its thousand records make the write-back the longest part of a rename: the next
// reader must find the file readable and every record it held before, each once. The records are
// of equal length and the file longer than 256 KiB, the renamed board's first, so that a rewrite
// cut short can leave a text that still parses, with one record twice and the renamed one gone.
// The renamer is the file's owner, or a member of the file's group who may write it but could not
// create a journal protected as the file is: that writer rewrites the common journal the owner's
// first rename left. QVKELP_CRASH_KILLS sets the number of kills.
#include "operations.h"

#include "common/child_processes.h"
#include "hwsys/hwsys_tags.h"
#include "platform/sim/device/machine.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>

using namespace reliability;

namespace {

unsigned killsToMake() {
    if (const char* kills = std::getenv("QVKELP_CRASH_KILLS")) {
        return static_cast<unsigned>(std::strtoul(kills, nullptr, 10));
    }
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return 200;
#else
    return 1000;
#endif
}

using JsonTree = std::unique_ptr<cJSON, void (*)(cJSON*)>;

JsonTree parse(const std::string& text) {
    return JsonTree(cJSON_ParseWithLength(text.data(), text.size()), cJSON_Delete);
}

// The aliases of the five letters the renames use, so that every record keeps its length.
constexpr const char16_t* kRenamedAliases[] = {u"Alpha", u"Bravo"};
constexpr int kOtherRecords = 1000;

// The first board's record as the module writes it, named `alias`, under `key`.
void addRecord(cJSON* devices, const std::string& key, const cJSON* boardRecord, const char* alias) {
    cJSON* record = cJSON_Duplicate(boardRecord, true);
    cJSON_ReplaceItemInObject(record, "alias", cJSON_CreateString(alias));
    cJSON_AddItemToObject(devices, key.c_str(), record);
}

// The first board's record first, then a thousand records of other devices and the second board's,
// all of the same length.
std::string aliasFileOfEqualRecords(const cJSON* boardRecord) {
    const std::string ownKey = reporttest::identityToken(0);
    JsonTree root(cJSON_CreateObject(), cJSON_Delete);
    cJSON* devices = cJSON_AddObjectToObject(root.get(), "devices");
    addRecord(devices, ownKey, boardRecord, "Start");
    for (int i = 0; i < kOtherRecords; ++i) {
        const std::string number = std::to_string(i);
        addRecord(devices, "SIM:" + std::string(ownKey.size() - 4 - number.size(), '0') + number, boardRecord,
                  ("s" + std::string(4 - number.size(), '0') + number).c_str());
    }
    addRecord(devices, reporttest::identityToken(1), boardRecord, "Other");
    char* printed = cJSON_Print(root.get());
    std::string text = printed;
    cJSON_free(printed);
    return text;
}

// What a kill did to the records, as the next update leaves them.
struct RecordCheck {
    bool readable = false;
    unsigned lost = 0;
    unsigned duplicated = 0;
};

RecordCheck checkRecords(const std::string& text) {
    const JsonTree root = parse(text);
    const cJSON* devices = cJSON_GetObjectItemCaseSensitive(root.get(), "devices");
    RecordCheck check;
    check.readable = cJSON_IsObject(devices);
    if (!check.readable) {
        return check;
    }
    std::map<std::string, std::string> aliases;
    const cJSON* record = nullptr;
    cJSON_ArrayForEach(record, devices) {
        const cJSON* alias = cJSON_GetObjectItemCaseSensitive(record, "alias");
        const bool added = aliases.emplace(record->string, cJSON_IsString(alias) ? alias->valuestring : "").second;
        check.duplicated += added ? 0 : 1;
    }
    const auto holds = [&aliases](const std::string& key, const std::string& alias) {
        const auto found = aliases.find(key);
        return found != aliases.end() && found->second == alias;
    };
    const std::string ownKey = reporttest::identityToken(0);
    for (int i = 0; i < kOtherRecords; ++i) {
        const std::string number = std::to_string(i);
        check.lost += holds("SIM:" + std::string(ownKey.size() - 4 - number.size(), '0') + number,
                            "s" + std::string(4 - number.size(), '0') + number)
                          ? 0
                          : 1;
    }
    check.lost += holds(reporttest::identityToken(1), "Other") ? 0 : 1;
    check.lost += holds(ownKey, "Start") || holds(ownKey, "Alpha") || holds(ownKey, "Bravo") ? 0 : 1;
    return check;
}

// The alias a report gives for the board, or nothing when the report fails.
std::optional<std::u16string> reportedAlias(IhwSysExpert2* expert, std::uint32_t board) {
    const std::u16string item = wide(reporttest::boardId(board));
    IhwSysPropertyBag* raw = nullptr;
    const HRESULT reported = expert->GetResourceProperties(item.c_str(), &raw);
    const auto bag = hosttest::ComRef<IhwSysPropertyBag>::attach(raw);
    BSTR alias = nullptr;
    if (FAILED(reported) || bag == nullptr || FAILED(bag->GetString(hwSysTagAlias, &alias))) {
        return std::nullopt;
    }
    const auto owned = hosttest::CqvBStr::Attach(alias);
    return std::u16string(alias, SysStringLen(alias));
}

constexpr uid_t kOwner = 4242;
constexpr uid_t kMember = 4343;
constexpr gid_t kLab = 4300;

class CrashSafety : public hosttest::LoadedModuleTest {
protected:
    void TearDown() override { sim::uninstallMachine(); }

    void killRenamesDuringTheWriteBack(bool asGroupWriter);

    HRESULT rename(IhwSysExpert2* expert, const char16_t* alias) {
        LONG inUse = 0;
        void* reserved = nullptr;
        return expert->RenameResource(kItemName.c_str(), alias, 0, &inUse, &reserved);
    }

    reporttest::AliasDrive drive_;
};

} // namespace

TEST_F(CrashSafety, a_renamer_killed_at_random_leaves_a_readable_file_that_keeps_every_record_once) {
    killRenamesDuringTheWriteBack(false);
}

TEST_F(CrashSafety, a_group_writer_killed_at_random_leaves_a_readable_file_that_keeps_every_record_once) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to act as other users";
    }
    killRenamesDuringTheWriteBack(true);
}

void CrashSafety::killRenamesDuringTheWriteBack(bool asGroupWriter) {
    const std::filesystem::path journal = drive_.aliasFile().string() + ".recovery";
    drive_.write("{\"devices\":{}}");
    if (asGroupWriter) {
        // Made by an installer for the lab's group; the folder lets nobody else create files.
        ASSERT_EQ(::chown(drive_.aliasFile().c_str(), kOwner, kLab), 0);
        ASSERT_EQ(::chmod(drive_.aliasFile().c_str(), 0664), 0);
        for (std::filesystem::path up = drive_.aliasFile().parent_path(); up != drive_.root().parent_path();
             up = up.parent_path()) {
            ASSERT_EQ(::chmod(up.c_str(), 0755), 0);
        }
    }
    sim::installMachine(reliabilityMachine(drive_));
    hosttest::ComRef<IhwSysExpert2> expert;
    ASSERT_EQ(create(expert.put()), S_OK);
    ASSERT_EQ(rename(expert.get(), u"Start"), S_OK);
    const JsonTree written = parse(drive_.read());
    const cJSON* boardRecord =
        cJSON_GetObjectItemCaseSensitive(cJSON_GetObjectItemCaseSensitive(written.get(), "devices"),
                                         reporttest::identityToken(0).c_str());
    ASSERT_NE(boardRecord, nullptr);
    const std::string original = aliasFileOfEqualRecords(boardRecord);
    ASSERT_GT(original.size(), 256u * 1024u);
    drive_.write(original);

    constexpr int kTimedRenames = 5;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimedRenames; ++i) {
        ASSERT_EQ(rename(expert.get(), u"Start"), S_OK);
    }
    const auto renameTime = (std::chrono::steady_clock::now() - start) / kTimedRenames;

    // Within the two renames after the child's first: the kills spread over whole renames.
    const std::uint32_t seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> delay(
        0, 2 * std::chrono::duration_cast<std::chrono::microseconds>(renameTime).count());
    const unsigned kills = killsToMake();
    unsigned duringWriteBack = 0;
    unsigned unreadable = 0;
    unsigned lost = 0;
    unsigned duplicated = 0;
    for (unsigned kill = 0; kill < kills; ++kill) {
        drive_.write(original); // the renamed board's record first again
        int started[2];
        ASSERT_EQ(::pipe(started), 0);
        const pid_t renamer = spawn([&] {
            if (asGroupWriter && (::setgroups(1, &kLab) != 0 || ::setresgid(kLab, kLab, kLab) != 0 ||
                                  ::setresuid(kMember, kMember, kMember) != 0)) {
                return false;
            }
            for (unsigned i = 0;; ++i) {
                rename(expert.get(), kRenamedAliases[i % 2]);
                if (i == 0) {
                    static_cast<void>(::write(started[1], "!", 1));
                }
            }
            return true;
        });
        ASSERT_GT(renamer, 0);
        char signal = 0;
        ASSERT_EQ(::read(started[0], &signal, 1), 1);
        ::close(started[0]);
        ::close(started[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(renamer, SIGKILL);
        ASSERT_EQ(::waitpid(renamer, nullptr, 0), renamer);
        std::error_code missing;
        duringWriteBack += std::filesystem::file_size(journal, missing) > 0 && !missing ? 1 : 0;

        const auto other = reportedAlias(expert.get(), 1);
        const auto own = reportedAlias(expert.get(), 0);
        // An update completes a rewrite cut short from the recovery copy and removes the copy, so
        // that the next kill's copy tells again whether that kill fell into a write-back.
        const HRESULT renamed = rename(expert.get(), u"Start");
        const RecordCheck check = checkRecords(drive_.read());
        if (!other || !own || renamed != S_OK || !check.readable) {
            ++unreadable;
            continue;
        }
        const bool kept = *other == u"Other" && (*own == u"Start" || *own == u"Alpha" || *own == u"Bravo");
        lost += (kept ? 0 : 1) + check.lost;
        duplicated += check.duplicated;
    }
    std::printf("%s: %u kills (seed %u, rename %lld us), %u during the write-back: %u unreadable, %u lost records, "
                "%u duplicated keys\n",
                asGroupWriter ? "group writer" : "owner", kills, seed, static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(renameTime).count()),
                duringWriteBack, unreadable, lost, duplicated);
    EXPECT_EQ(unreadable, 0u);
    EXPECT_EQ(lost, 0u);
    EXPECT_EQ(duplicated, 0u);
}

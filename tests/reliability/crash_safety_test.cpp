// Renaming processes killed (SIGKILL) at random moments, most of them while the alias file is
// rewritten, since its thousand records make the write-back the longest part of a rename: the next
// reader must find the file readable and every record it held before. QVKELP_CRASH_KILLS sets the
// number of kills.
#include "operations.h"

#include "common/child_processes.h"
#include "hwsys/hwsys_tags.h"
#include "platform/sim/machine.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// A thousand records of other devices, then the second board's and the first board's.
constexpr int kOtherRecords = 1000;

std::string aliasFileOfManyRecords() {
    std::string text = "{\"devices\":{";
    for (int i = 0; i < kOtherRecords; ++i) {
        text += "\"SIM:" + std::to_string(i) + "\":{\"alias\":\"sim-" + std::to_string(i) + "\"},";
    }
    return text + "\"" + reporttest::identityToken(1) + "\":{\"alias\":\"Other\"},\"" +
           reporttest::identityToken(0) + "\":{\"alias\":\"Start\"}}}";
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

class CrashSafety : public hosttest::LoadedModuleTest {
protected:
    void TearDown() override { sim::uninstallMachine(); }

    HRESULT rename(IhwSysExpert2* expert, const char16_t* alias) {
        LONG inUse = 0;
        void* reserved = nullptr;
        return expert->RenameResource(kItemName.c_str(), alias, 0, &inUse, &reserved);
    }

    reporttest::AliasDrive drive_;
};

} // namespace

TEST_F(CrashSafety, a_renamer_killed_at_random_leaves_a_readable_file_that_keeps_every_record) {
    const std::filesystem::path recoveryCopy = drive_.aliasFile().string() + ".recovery";
    const std::string original = aliasFileOfManyRecords();
    drive_.write(original);
    sim::installMachine(reliabilityMachine(drive_));
    hosttest::ComRef<IhwSysExpert2> expert;
    ASSERT_EQ(create(expert.put()), S_OK);

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
    for (unsigned kill = 0; kill < kills; ++kill) {
        int started[2];
        ASSERT_EQ(::pipe(started), 0);
        const pid_t renamer = spawn([&] {
            for (unsigned i = 0;; ++i) {
                rename(expert.get(), i % 2 == 0 ? u"A" : u"B");
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
        duringWriteBack += std::filesystem::exists(recoveryCopy) ? 1 : 0;

        const auto other = reportedAlias(expert.get(), 1);
        const auto own = reportedAlias(expert.get(), 0);
        if (!other || !own) {
            ++unreadable;
            drive_.write(original); // the next kills start from a whole file again
            continue;
        }
        const bool kept = *other == u"Other" && (*own == u"Start" || *own == u"A" || *own == u"B");
        lost += kept ? 0 : 1;
        // An update restores a torn file from the copy and removes the copy, so that the next
        // kill's copy tells again whether that kill fell into a write-back.
        EXPECT_EQ(rename(expert.get(), u"Start"), S_OK);
    }
    std::printf("%u kills (seed %u, rename %lld us), %u during the write-back: %u unreadable, %u lost records\n",
                kills, seed, static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(renameTime).count()),
                duringWriteBack, unreadable, lost);
    EXPECT_EQ(unreadable, 0u);
    EXPECT_EQ(lost, 0u);
}

// The alias store's locks between two processes on Windows: the real LockFileEx on the real alias file
// of the common application-data folder, with the other process running alias_reader.exe.
#include "source/aliases/AliasStore.h"
#include "support/cJSONUtils.h"
#include "support/status.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr char kToken[] = "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:01:00:00";
// Long enough for a reader that is not held back by a lock to open, parse and exit.
constexpr DWORD kUnblockedReaderMs = 5000;
constexpr DWORD kBlockedReaderMs = 500;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

fs::path programFolder() {
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

// Starts alias_reader.exe, which exits 0 once it has read `alias` for kToken under a shared lock.
OwnedHandle startReader(const std::string& alias) {
    std::wstring command = L"\"" + (programFolder() / "alias_reader.exe").wstring() + L"\" \"" +
                           fs::path(kToken).wstring() + L"\" " + fs::path(alias).wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return OwnedHandle();
    }
    CloseHandle(process.hThread);
    return OwnedHandle(process.hProcess);
}

DWORD exitCodeOf(HANDLE process) {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

class AliasLockProcesses : public ::testing::Test {
protected:
    // The test owns the file only on a machine that has none: a real machine's names stay untouched.
    void SetUp() override {
        file_ = getAliasesFilePath();
        if (fs::exists(file_)) {
            GTEST_SKIP() << file_.string() << " exists already";
        }
        fs::create_directories(file_.parent_path());
        std::ofstream(file_, std::ios::binary) << R"({"devices": {")" << kToken << R"(": {"alias": "before"}}})";
        owned_ = true;
    }
    void TearDown() override {
        if (owned_) {
            fs::remove(file_);
        }
    }

    fs::path file_;
    bool owned_ = false;
};

} // namespace

TEST_F(AliasLockProcesses, a_reader_in_another_process_waits_for_an_update_and_shares_with_a_read) {
    const struct {
        bool update;
        DWORD waitWhileHeld;
        const char* aliasTheReaderSees;
    } cases[] = {
        {false, WAIT_OBJECT_0, "before"},
        {true, WAIT_TIMEOUT, "after"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.update ? "update" : "read");
        nQVOSALS100::tStatus status;
        AliasStore store;
        ASSERT_TRUE(item.update ? store.openForUpdate(&status) : store.openForRead(&status));
        const OwnedHandle reader = startReader(item.aliasTheReaderSees);
        ASSERT_NE(reader, nullptr) << "CreateProcessW failed with " << GetLastError();
        EXPECT_EQ(WaitForSingleObject(reader.get(), item.update ? kBlockedReaderMs : kUnblockedReaderMs),
                  item.waitWhileHeld);
        if (item.update) {
            cJSONUtils::Tree record = cJSONUtils::createObject();
            cJSONUtils::addString(record.get(), "alias", "after");
            store.replaceDeviceRecord(kToken, record.get());
            ASSERT_TRUE(store.writeBack(&status));
        }
        store.close();
        ASSERT_EQ(WaitForSingleObject(reader.get(), kUnblockedReaderMs), WAIT_OBJECT_0);
        EXPECT_EQ(exitCodeOf(reader.get()), 0u);
    }
}

// Share modes between open handles, as Windows keeps them for every process: an open fails with
// ERROR_SHARING_VIOLATION when another handle does not share the access it asks for, or when it
// does not share an access another handle holds; an open without data access is not subject to
// sharing.
#include "common/child_processes.h"
#include "runtime_files.h"
#include "sim_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

namespace {

using simtest::writeFileAt;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kLook = READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

class FileSharing : public ::testing::Test {
protected:
    HANDLE open(DWORD access, DWORD share) const {
        return CreateFileA(path_.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    simtest::TempFolder folder_;
    std::string path_ = writeFileAt(folder_.path() / "shared.txt", "text");
};

TEST_F(FileSharing, an_open_fails_when_another_handle_does_not_share_its_access_and_the_reverse) {
    const struct {
        const char* what;
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool opens;
    } cases[] = {
        {"read beside a reader sharing nothing", GENERIC_READ, 0, GENERIC_READ, kShareAll, false},
        {"read beside a reader sharing read", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        {"write beside a reader sharing read", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, false},
        {"read not sharing the write a writer holds", GENERIC_WRITE, kShareAll, GENERIC_READ, FILE_SHARE_READ, false},
        {"delete beside a reader not sharing it", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, DELETE,
         kShareAll, false},
        {"a look beside a reader sharing nothing", GENERIC_READ, 0, kLook, 0, true},
        {"anything beside a look sharing nothing", kLook, 0, GENERIC_READ | GENERIC_WRITE, 0, true},
    };
    for (const auto& c : cases) {
        const HANDLE first = open(c.firstAccess, c.firstShare);
        ASSERT_NE(first, INVALID_HANDLE_VALUE) << c.what;
        SetLastError(0xDEADBEEF);
        const HANDLE second = open(c.secondAccess, c.secondShare);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.opens) << c.what;
        if (second != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(second));
        } else {
            EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION) << c.what;
        }
        EXPECT_TRUE(CloseHandle(first));
        const HANDLE after = open(c.secondAccess, c.secondShare); // the closed handle shares again
        EXPECT_NE(after, INVALID_HANDLE_VALUE) << c.what;
        CloseHandle(after);
    }
}

// Another process's handle counts as this one's own: the C runtime (which shares read and write)
// and DeleteFileA are refused while it is open, a look is not, and its death ends its share mode.
TEST_F(FileSharing, another_processs_handle_holds_its_share_mode_until_it_dies) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = spawn([&] {
        const HANDLE held = open(GENERIC_READ, FILE_SHARE_READ);
        static_cast<void>(::write(ready[1], held == INVALID_HANDLE_VALUE ? "n" : "y", 1));
        ::pause();
        return true;
    });
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');

    errno = 0;
    const simtest::Stream refused(platformOpenFile(path_.c_str(), "r+b")); // write is not shared
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(errno, EACCES);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeleteFileA(path_.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    const HANDLE look = open(kLook, 0);
    EXPECT_NE(look, INVALID_HANDLE_VALUE);
    CloseHandle(look);
    const simtest::OpenFile reader = simtest::openWithHandle(path_, "rb"); // read is shared
    EXPECT_NE(reader.stream, nullptr);

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    const simtest::OpenFile writer = simtest::openWithHandle(path_, "r+b");
    EXPECT_NE(writer.stream, nullptr);
}

} // namespace

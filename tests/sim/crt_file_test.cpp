// C runtime files: opening by host path and by Windows drive path, descriptors with their Windows
// handles, changing a file's size.
#include "runtime_files.h"
#include "sim_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using simtest::readWholeFile;
using simtest::Stream;
using simtest::writeFileAt;

class RuntimeFiles : public ::testing::Test {
protected:
    // A machine whose drive C is the folder drive_c of the test's folder.
    sim::Machine machineWithDriveC() {
        sim::Machine machine;
        machine.mapDrive('C', (folder_.path() / "drive_c").string());
        return machine;
    }

    simtest::TempFolder folder_;
};

TEST_F(RuntimeFiles, a_host_path_is_opened_as_it_is_and_each_mode_keeps_its_access) {
    const std::string path = writeFileAt(folder_.path() / "modes.txt", "abc");
    Stream reading(platformOpenFile(path.c_str(), "rb"));
    ASSERT_TRUE(reading);
    EXPECT_EQ('a', std::fgetc(reading.get()));
    EXPECT_EQ(EOF, std::fputc('x', reading.get()));

    Stream appending(platformOpenFile(path.c_str(), "a"));
    ASSERT_TRUE(appending);
    std::fseek(appending.get(), 0, SEEK_SET);
    std::fputs("def", appending.get());
    appending.reset();
    EXPECT_EQ("abcdef", readWholeFile(path));

    EXPECT_TRUE(Stream(platformOpenFile(path.c_str(), "w+")));
    EXPECT_EQ("", readWholeFile(path));
    errno = 0;
    EXPECT_EQ(nullptr, platformOpenFile(path.c_str(), "wx"));
    EXPECT_EQ(EEXIST, errno);
    for (const char* mode : {"", "q", "rw", "ax"}) {
        errno = 0;
        EXPECT_EQ(nullptr, platformOpenFile(path.c_str(), mode)) << mode;
        EXPECT_EQ(EINVAL, errno) << mode;
    }
}

TEST_F(RuntimeFiles, a_file_the_user_may_not_read_and_a_folder_fail_with_EACCES) {
    chmod(folder_.path().c_str(), 0755);
    const std::string path = writeFileAt(folder_.path() / "secret.txt", "x");
    chmod(path.c_str(), 0000);
    // Root may read anything, so the check runs as an unprivileged user when needed.
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(2);
        }
        errno = 0;
        _exit(platformOpenFile(path.c_str(), "r") == nullptr && errno == EACCES ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    for (const char* mode : {"r", "w"}) {
        errno = 0;
        EXPECT_EQ(nullptr, platformOpenFile(folder_.path().c_str(), mode)) << mode;
        EXPECT_EQ(EACCES, errno) << mode;
    }
}

TEST_F(RuntimeFiles, a_drive_path_reaches_the_folder_its_drive_maps_to_and_never_leaves_it) {
    simtest::ScopedMachine machine(machineWithDriveC());
    std::filesystem::create_directories(folder_.path() / "drive_c/ProgramData/Quorvel");
    Stream out(platformOpenFile("C:\\ProgramData\\Quorvel\\aliases.json", "w"));
    ASSERT_TRUE(out) << "errno " << errno;
    std::fputs("{}", out.get());
    out.reset();
    EXPECT_EQ("{}", readWholeFile((folder_.path() / "drive_c/ProgramData/Quorvel/aliases.json").string()));

    // Neither the drive letter's case nor the kind of slash matters; ".." stops at the root.
    Stream in(platformOpenFile("c:/ProgramData\\.\\Quorvel/aliases.json", "r"));
    EXPECT_TRUE(in);
    EXPECT_TRUE(Stream(platformOpenFile("C:\\ProgramData\\..\\..\\..\\escaped.txt", "w")));
    EXPECT_TRUE(std::filesystem::exists(folder_.path() / "drive_c/escaped.txt"));

    errno = 0;
    EXPECT_EQ(nullptr, platformOpenFile("D:\\aliases.json", "w"));
    EXPECT_EQ(ENOENT, errno);
}

TEST_F(RuntimeFiles, the_empty_machine_maps_no_drive) {
    simtest::ScopedMachineVariable noMachine(std::nullopt);
    errno = 0;
    EXPECT_EQ(nullptr, platformOpenFile("C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json", "r"));
    EXPECT_EQ(ENOENT, errno);
}

TEST_F(RuntimeFiles, an_injected_failure_fails_only_the_named_path_with_its_errno) {
    sim::Machine described = machineWithDriveC();
    described.addFault({"platformOpenFile", EACCES, std::string("C:\\locked.json"), 0, std::nullopt});
    simtest::ScopedMachine machine(described);
    writeFileAt(folder_.path() / "drive_c/locked.json", "{}");
    writeFileAt(folder_.path() / "drive_c/open.json", "{}");
    errno = 0;
    EXPECT_EQ(nullptr, platformOpenFile("C:\\locked.json", "r"));
    EXPECT_EQ(EACCES, errno);
    EXPECT_TRUE(Stream(platformOpenFile("C:\\open.json", "r")));
}

TEST_F(RuntimeFiles, each_stream_has_one_handle_and_a_reused_descriptor_gets_a_new_one) {
    const std::string path = writeFileAt(folder_.path() / "file.txt", "");
    Stream first(platformOpenFile(path.c_str(), "r"));
    Stream second(platformOpenFile(path.c_str(), "r"));
    ASSERT_TRUE(first && second);
    const int fd = _fileno(first.get());
    const std::intptr_t handle = _get_osfhandle(fd);
    EXPECT_NE(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE), handle);
    EXPECT_EQ(handle, _get_osfhandle(fd));
    EXPECT_NE(handle, _get_osfhandle(_fileno(second.get())));

    first.reset();
    Stream third(platformOpenFile(path.c_str(), "r"));
    ASSERT_EQ(fd, _fileno(third.get()));
    EXPECT_NE(handle, _get_osfhandle(fd));
}

TEST_F(RuntimeFiles, a_descriptor_the_runtime_did_not_open_has_no_handle) {
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    for (int fd : {-1, ends[0]}) {
        errno = 0;
        EXPECT_EQ(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE), _get_osfhandle(fd)) << fd;
        EXPECT_EQ(EBADF, errno) << fd;
        EXPECT_EQ(EBADF, _chsize_s(fd, 0));
    }
    close(ends[0]);
    close(ends[1]);
    errno = 0;
    EXPECT_EQ(-1, _fileno(nullptr));
    EXPECT_EQ(EINVAL, errno);
}

TEST_F(RuntimeFiles, changing_the_size_extends_with_zeros_truncates_and_respects_the_mode) {
    const std::string path = writeFileAt(folder_.path() / "file.txt", "hello");
    Stream file(platformOpenFile(path.c_str(), "r+"));
    Stream readOnly(platformOpenFile(path.c_str(), "r"));
    ASSERT_TRUE(file && readOnly);
    const int fd = _fileno(file.get());

    EXPECT_EQ(0, _chsize_s(fd, 8));
    EXPECT_EQ(std::string("hello\0\0\0", 8), readWholeFile(path));
    EXPECT_EQ(0, _chsize_s(fd, 2));
    EXPECT_EQ("he", readWholeFile(path));

    errno = 0;
    EXPECT_EQ(EINVAL, _chsize_s(fd, -1));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ(EACCES, _chsize_s(_fileno(readOnly.get()), 0));
    EXPECT_EQ("he", readWholeFile(path));
}

} // namespace

namespace {

// The C runtime opens files without FILE_SHARE_DELETE.
TEST_F(RuntimeFiles, a_file_open_in_a_stream_is_not_deleted_until_the_stream_is_closed) {
    const std::string path = writeFileAt(folder_.path() / "open.txt", "x");
    Stream open(platformOpenFile(path.c_str(), "rb"));
    ASSERT_TRUE(open);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FALSE, DeleteFileA(path.c_str()));
    EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    open.reset();
    EXPECT_EQ(TRUE, DeleteFileA(path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace

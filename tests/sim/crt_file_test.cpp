// C runtime files: opening by host path and by Windows drive path, descriptors and their Windows
// handles, changing a file's size.
#include "scratch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using simtest::ScopedMachine;
using simtest::ScratchFolder;
using simtest::Stream;

constexpr char kDriveMachine[] = R"({ "drives": { "C": "drive_c" } })";

// --- Opening ---------------------------------------------------------------------------------

TEST(OpeningFiles, a_host_path_is_opened_as_it_is) {
    ScratchFolder folder;
    const std::string path = folder / "plain.txt";
    {
        Stream out(platformOpenFile(path.c_str(), "wb"));
        ASSERT_TRUE(out);
        EXPECT_GE(std::fputs("hello", out.get()), 0);
    }
    EXPECT_EQ("hello", simtest::readWholeFile(path));

    Stream in(platformOpenFile(path.c_str(), "r"));
    ASSERT_TRUE(in);
    char text[8] = {};
    EXPECT_EQ(5u, std::fread(text, 1, sizeof text, in.get()));
    EXPECT_STREQ("hello", text);
}

TEST(OpeningFiles, each_mode_keeps_the_access_it_asks_for) {
    ScratchFolder folder;
    const std::string path = folder.write("modes.txt", "abc");

    Stream reading(platformOpenFile(path.c_str(), "r"));
    ASSERT_TRUE(reading);
    EXPECT_EQ(EOF, std::fputc('x', reading.get()));
    reading.reset();

    Stream appending(platformOpenFile(path.c_str(), "a"));
    ASSERT_TRUE(appending);
    std::fseek(appending.get(), 0, SEEK_SET);
    std::fputs("def", appending.get());
    appending.reset();
    EXPECT_EQ("abcdef", simtest::readWholeFile(path));

    Stream truncating(platformOpenFile(path.c_str(), "w+"));
    ASSERT_TRUE(truncating);
    EXPECT_EQ("", simtest::readWholeFile(path));
    truncating.reset();

    errno = 0;
    EXPECT_EQ(nullptr, platformOpenFile(path.c_str(), "wx"));
    EXPECT_EQ(EEXIST, errno);
    errno = 0;
    EXPECT_EQ(nullptr, platformOpenFile((folder / "absent.txt").c_str(), "r"));
    EXPECT_EQ(ENOENT, errno);
}

TEST(OpeningFiles, a_mode_the_runtime_does_not_know_fails_with_EINVAL) {
    ScratchFolder folder;
    const std::string path = folder.write("modes.txt", "");
    for (const char* mode : {"", "q", "rw", "r++", "ax"}) {
        errno = 0;
        EXPECT_EQ(nullptr, platformOpenFile(path.c_str(), mode)) << mode;
        EXPECT_EQ(EINVAL, errno) << mode;
    }
    Stream windowsLetters(platformOpenFile(path.c_str(), "rbN"));
    EXPECT_TRUE(windowsLetters);
}

TEST(OpeningFiles, a_file_the_user_may_not_read_fails_with_EACCES) {
    ScratchFolder folder;
    chmod(folder.path().c_str(), 0755);
    const std::string path = folder.write("secret.txt", "x");
    chmod(path.c_str(), 0000);
    // Root may read anything, so the check runs as an unprivileged user when needed.
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(2);
        }
        errno = 0;
        const bool refused = platformOpenFile(path.c_str(), "r") == nullptr && errno == EACCES;
        _exit(refused ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST(OpeningFiles, a_folder_cannot_be_opened_as_a_file) {
    ScratchFolder folder;
    for (const char* mode : {"r", "r+", "w"}) {
        errno = 0;
        EXPECT_EQ(nullptr, platformOpenFile(folder.path().c_str(), mode)) << mode;
        EXPECT_EQ(EACCES, errno) << mode;
    }
}

TEST(OpeningFiles, a_drive_path_reaches_the_folder_its_drive_maps_to) {
    ScratchFolder folder;
    ScopedMachine machine(folder, kDriveMachine);
    folder.write("drive_c/ProgramData/Quorvel/QV-KELP/keep", "");
    {
        Stream out(platformOpenFile("C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json", "w"));
        ASSERT_TRUE(out) << "errno " << errno;
        std::fputs("{}", out.get());
    }
    EXPECT_EQ("{}", simtest::readWholeFile(folder / "drive_c/ProgramData/Quorvel/QV-KELP/aliases.json"));

    // The drive letter's case and the kind of slash do not matter.
    Stream in(platformOpenFile("c:/ProgramData\\Quorvel/QV-KELP/aliases.json", "r"));
    ASSERT_TRUE(in);
    EXPECT_EQ('{', std::fgetc(in.get()));
}

TEST(OpeningFiles, dot_dot_in_a_drive_path_never_leaves_the_drive_folder) {
    ScratchFolder folder;
    ScopedMachine machine(folder, kDriveMachine);
    folder.write("drive_c/inside/keep", "");
    Stream out(platformOpenFile("C:\\inside\\..\\..\\..\\escaped.txt", "w"));
    ASSERT_TRUE(out) << "errno " << errno;
    out.reset();
    EXPECT_TRUE(std::filesystem::exists(folder / "drive_c/escaped.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "escaped.txt"));
}

TEST(OpeningFiles, a_drive_the_machine_does_not_map_fails_with_ENOENT) {
    ScopedMachine machine{simtest::NoMachine{}};
    errno = 0;
    EXPECT_EQ(nullptr, platformOpenFile("C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json", "r"));
    EXPECT_EQ(ENOENT, errno);

    ScratchFolder folder;
    ScopedMachine withDriveC(folder, kDriveMachine);
    errno = 0;
    EXPECT_EQ(nullptr, platformOpenFile("D:\\aliases.json", "w"));
    EXPECT_EQ(ENOENT, errno);
}

TEST(OpeningFiles, an_injected_failure_fails_only_the_named_path_with_its_errno) {
    ScratchFolder folder;
    ScopedMachine machine(folder, R"({ "drives": { "C": "drive_c" },
        "faults": [ { "call": "platformOpenFile", "argument": "C:\\locked.json", "error": 13 } ] })");
    folder.write("drive_c/locked.json", "{}");
    folder.write("drive_c/open.json", "{}");
    errno = 0;
    EXPECT_EQ(nullptr, platformOpenFile("C:\\locked.json", "r"));
    EXPECT_EQ(EACCES, errno);
    Stream other(platformOpenFile("C:\\open.json", "r"));
    EXPECT_TRUE(other);
}

// --- Descriptors and handles -----------------------------------------------------------------

TEST(RuntimeDescriptors, each_stream_has_one_handle_for_its_descriptor) {
    ScratchFolder folder;
    const std::string path = folder.write("file.txt", "");
    Stream first(platformOpenFile(path.c_str(), "r"));
    Stream second(platformOpenFile(path.c_str(), "r"));
    ASSERT_TRUE(first && second);

    const int fd = _fileno(first.get());
    EXPECT_GE(fd, 0);
    EXPECT_NE(fd, _fileno(second.get()));
    const std::intptr_t handle = _get_osfhandle(fd);
    EXPECT_NE(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE), handle);
    EXPECT_EQ(handle, _get_osfhandle(fd));
    EXPECT_NE(handle, _get_osfhandle(_fileno(second.get())));
}

TEST(RuntimeDescriptors, a_descriptor_the_runtime_did_not_open_has_no_handle) {
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    for (int fd : {-1, ends[0], 9999}) {
        errno = 0;
        EXPECT_EQ(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE), _get_osfhandle(fd)) << fd;
        EXPECT_EQ(EBADF, errno) << fd;
    }
    close(ends[0]);
    close(ends[1]);
    errno = 0;
    EXPECT_EQ(-1, _fileno(nullptr));
    EXPECT_EQ(EINVAL, errno);
}

TEST(RuntimeDescriptors, a_reused_descriptor_number_gets_a_new_handle) {
    ScratchFolder folder;
    const std::string path = folder.write("file.txt", "");
    Stream first(platformOpenFile(path.c_str(), "r"));
    ASSERT_TRUE(first);
    const int fd = _fileno(first.get());
    const std::intptr_t oldHandle = _get_osfhandle(fd);
    first.reset();

    Stream second(platformOpenFile(path.c_str(), "r"));
    ASSERT_TRUE(second);
    ASSERT_EQ(fd, _fileno(second.get()));
    EXPECT_NE(oldHandle, _get_osfhandle(fd));
}

TEST(RuntimeDescriptors, changing_the_size_extends_with_zeros_and_truncates) {
    ScratchFolder folder;
    const std::string path = folder.write("file.txt", "hello");
    Stream file(platformOpenFile(path.c_str(), "r+"));
    ASSERT_TRUE(file);
    const int fd = _fileno(file.get());

    EXPECT_EQ(0, _chsize_s(fd, 8));
    EXPECT_EQ(std::string("hello\0\0\0", 8), simtest::readWholeFile(path));
    EXPECT_EQ(0, _chsize_s(fd, 2));
    EXPECT_EQ("he", simtest::readWholeFile(path));
}

TEST(RuntimeDescriptors, changing_the_size_fails_with_the_runtime_errno) {
    ScratchFolder folder;
    const std::string path = folder.write("file.txt", "hello");
    Stream writable(platformOpenFile(path.c_str(), "r+"));
    Stream readOnly(platformOpenFile(path.c_str(), "r"));
    ASSERT_TRUE(writable && readOnly);

    errno = 0;
    EXPECT_EQ(EINVAL, _chsize_s(_fileno(writable.get()), -1));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ(EACCES, _chsize_s(_fileno(readOnly.get()), 0));
    EXPECT_EQ(EBADF, _chsize_s(9999, 0));
    EXPECT_EQ("hello", simtest::readWholeFile(path));
}

TEST(RuntimeDescriptors, an_injected_size_change_failure_returns_its_errno) {
    ScratchFolder folder;
    ScopedMachine machine(folder, R"({ "drives": { "C": "drive_c" },
        "faults": [ { "call": "_chsize_s", "argument": "C:\\aliases.json", "error": 28 } ] })");
    folder.write("drive_c/aliases.json", "hello");
    Stream file(platformOpenFile("C:\\aliases.json", "r+"));
    ASSERT_TRUE(file);
    EXPECT_EQ(ENOSPC, _chsize_s(_fileno(file.get()), 0));
    EXPECT_EQ("hello", simtest::readWholeFile(folder / "drive_c/aliases.json"));
}

} // namespace

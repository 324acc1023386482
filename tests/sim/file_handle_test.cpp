// Files opened by handle and file attributes, written like conformance tests that would pass on
// Windows: the exact result, the exact error and every out-argument, links included.
#include "runtime_files.h"
#include "sim_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using simtest::readWholeFile;
using simtest::writeFileAt;

class FileHandles : public ::testing::Test {
protected:
    std::string path(const char* name) const { return (folder_.path() / name).string(); }

    HANDLE create(const std::string& name, DWORD disposition, DWORD flags = 0, HANDLE templateFile = nullptr) {
        // Shares everything, as the stream some tests keep open beside it must be shared with.
        return CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disposition, flags, templateFile);
    }

    BY_HANDLE_FILE_INFORMATION informationOf(HANDLE file) {
        BY_HANDLE_FILE_INFORMATION information{};
        EXPECT_TRUE(GetFileInformationByHandle(file, &information));
        return information;
    }

    simtest::TempFolder folder_;
};

// With FILE_FLAG_OPEN_REPARSE_POINT a link is the name itself, so every existing name is refused;
// without it CREATE_NEW follows the link, and through a dangling one creates the link's target.
TEST_F(FileHandles, create_new_writes_a_new_file_and_refuses_every_existing_name_links_included) {
    const std::string target = writeFileAt(folder_.path() / "target.txt", "secret");
    fs::create_symlink(target, path("symbolic"));
    fs::create_symlink(path("missing"), path("dangling"));
    fs::create_hard_link(target, path("hard"));
    const struct {
        const char* name;
        DWORD flags;
    } refused[] = {{"target.txt", 0}, {"symbolic", 0}, {"hard", 0},
                   {"symbolic", FILE_FLAG_OPEN_REPARSE_POINT}, {"dangling", FILE_FLAG_OPEN_REPARSE_POINT}};
    for (const auto& r : refused) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(create(path(r.name), CREATE_NEW, r.flags), INVALID_HANDLE_VALUE) << r.name << " " << r.flags;
        EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS) << r.name << " " << r.flags;
    }
    EXPECT_FALSE(fs::exists(path("missing")));
    EXPECT_EQ(readWholeFile(target), "secret");
    const HANDLE throughLink = create(path("dangling"), CREATE_NEW);
    ASSERT_NE(throughLink, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(throughLink));
    EXPECT_TRUE(fs::is_regular_file(path("missing")));
    EXPECT_TRUE(fs::is_symlink(path("dangling")));

    const HANDLE file = create(path("new.txt"), CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0xDEADBEEF;
    EXPECT_TRUE(WriteFile(file, "abcdef", 6, &written, nullptr));
    EXPECT_EQ(written, 6u);
    EXPECT_TRUE(FlushFileBuffers(file));
    const BY_HANDLE_FILE_INFORMATION information = informationOf(file);
    EXPECT_EQ(information.nNumberOfLinks, 1u);
    EXPECT_EQ(information.nFileSizeLow, 6u);
    EXPECT_EQ(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(readWholeFile(path("new.txt")), "abcdef");
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// A template lends attributes, never the security descriptor: the new file's permission bits are
// those of any new file of the process.
TEST_F(FileHandles, a_template_file_lends_no_permission_bits) {
    const std::string original = writeFileAt(folder_.path() / "original.txt", "{}");
    fs::permissions(original, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                  fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    const simtest::OpenFile templateFile = simtest::openWithHandle(original, "rb");
    const mode_t mask = ::umask(077);
    const HANDLE file = create(path("copy.txt"), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, templateFile.handle);
    ::umask(mask);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(fs::status(path("copy.txt")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(FileHandles, a_link_is_told_apart_by_its_attributes_and_its_count_of_names) {
    const std::string target = writeFileAt(folder_.path() / "target.txt", "secret");
    fs::create_symlink(target, path("symbolic"));
    EXPECT_EQ(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_NE(GetFileAttributesA(path("symbolic").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(GetFileAttributesA(path("missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    // FILE_FLAG_OPEN_REPARSE_POINT opens the link itself, which takes no data.
    const HANDLE link = create(path("symbolic"), OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    ASSERT_NE(link, INVALID_HANDLE_VALUE);
    EXPECT_NE(informationOf(link).dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(link, "x", 1, &written, nullptr));
    EXPECT_TRUE(CloseHandle(link));
    EXPECT_EQ(readWholeFile(target), "secret");

    fs::create_hard_link(target, path("hard"));
    const simtest::OpenFile stream = simtest::openWithHandle(target, "rb");
    EXPECT_EQ(informationOf(stream.handle).nNumberOfLinks, 2u);

    const HANDLE existing = create(path("hard"), OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    ASSERT_NE(existing, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteFile(existing, "ab", 2, &written, nullptr));
    EXPECT_TRUE(SetEndOfFile(existing));
    EXPECT_TRUE(CloseHandle(existing));
    EXPECT_EQ(readWholeFile(target), "ab");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(create(path("missing"), OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// Owners are security identifiers S-1-22-1-<uid>; a link opened itself has its own owner.
TEST_F(FileHandles, a_files_owner_comes_as_a_security_identifier_compared_with_equal_sid) {
    const std::string target = writeFileAt(folder_.path() / "target.txt", "secret");
    fs::create_symlink(target, path("symbolic"));
    const simtest::OpenFile stream = simtest::openWithHandle(target, "rb");
    const HANDLE link = CreateFileA(path("symbolic").c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(link, INVALID_HANDLE_VALUE);
    PSID owners[2] = {};
    PSECURITY_DESCRIPTOR descriptors[2] = {};
    PACL dacl = reinterpret_cast<PACL>(0x1);
    ASSERT_EQ(GetSecurityInfo(stream.handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owners[0], nullptr, &dacl,
                              nullptr, &descriptors[0]),
              ERROR_SUCCESS);
    EXPECT_EQ(dacl, nullptr);
    ASSERT_EQ(GetSecurityInfo(link, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owners[1], nullptr, nullptr, nullptr,
                              &descriptors[1]),
              ERROR_SUCCESS);
    const auto* sid = static_cast<const BYTE*>(owners[0]);
    EXPECT_EQ(sid[0], 1); // revision
    EXPECT_EQ(sid[7], 22); // the authority of Unix users
    EXPECT_TRUE(EqualSid(owners[0], owners[1])); // one user made both
    if (::geteuid() == 0) {
        ASSERT_EQ(::lchown(path("symbolic").c_str(), 65534, 65534), 0);
        PSID changed = nullptr;
        PSECURITY_DESCRIPTOR held = nullptr;
        ASSERT_EQ(GetSecurityInfo(link, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &changed, nullptr, nullptr, nullptr,
                                  &held),
                  ERROR_SUCCESS);
        EXPECT_FALSE(EqualSid(owners[0], changed));
        LocalFree(held);
    }
    EXPECT_EQ(GetSecurityInfo(reinterpret_cast<HANDLE>(0x1234), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owners[0],
                              nullptr, nullptr, nullptr, &descriptors[0]),
              ERROR_INVALID_HANDLE);
    for (PSECURITY_DESCRIPTOR descriptor : descriptors) {
        LocalFree(descriptor);
    }
    EXPECT_TRUE(CloseHandle(link));
}

// A folder is made once; opened as a file it is refused, with backup semantics it is a handle for
// its attributes, owner and access list; a link in its place is opened itself.
TEST_F(FileHandles, a_folder_is_made_once_and_opened_only_with_backup_semantics) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const auto openFolder = [&](const char* name, DWORD flags) {
        return CreateFileA(path(name).c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
    };
    EXPECT_TRUE(CreateDirectoryA(path("made").c_str(), nullptr));
    const struct {
        const char* name;
        DWORD error;
    } refused[] = {{"made", ERROR_ALREADY_EXISTS}, {"missing/below", ERROR_PATH_NOT_FOUND}};
    for (const auto& c : refused) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(CreateDirectoryA(path(c.name).c_str(), nullptr)) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(openFolder("made", 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    fs::create_directory_symlink(path("made"), path("link"));
    for (const char* name : {"made", "link"}) {
        const HANDLE folder = openFolder(name, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
        ASSERT_NE(folder, INVALID_HANDLE_VALUE) << name;
        const DWORD attributes = informationOf(folder).dwFileAttributes;
        const bool isLink = std::string(name) == "link";
        EXPECT_EQ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, isLink) << name;
        EXPECT_TRUE(isLink || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) << name;
        EXPECT_TRUE(CloseHandle(folder));
    }
}

} // namespace

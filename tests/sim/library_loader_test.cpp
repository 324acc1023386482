// LoadLibraryExW, GetProcAddress and FreeLibrary with the test libraries built beside this program.
#include "sim_fixture.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

const fs::path kTestLibrary = fs::path(QV_RUNTIME_DIR) / "libqvsimtestlib.so";
constexpr char kAnswer[] = "qvsimtestlib_answer";

std::u16string utf16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// The file that a module's export comes from, or "" when there is no such export.
fs::path fileOf(HMODULE module) {
    Dl_info info{};
    const FARPROC answer = GetProcAddress(module, kAnswer);
    return answer != nullptr && dladdr(reinterpret_cast<void*>(answer), &info) != 0
               ? fs::canonical(info.dli_fname)
               : fs::path();
}

int callAnswer(HMODULE module) {
    // Through void (*)(), the type that converts to every function type without a warning.
    const auto answer =
        reinterpret_cast<int (*)()>(reinterpret_cast<void (*)()>(GetProcAddress(module, kAnswer)));
    return answer != nullptr ? answer() : -1;
}

bool isLoaded(const fs::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

class LibraryLoading : public ::testing::Test {
protected:
    fs::path copyTestLibrary(const std::string& to) {
        const fs::path copy = folder_.path() / to;
        fs::create_directories(copy.parent_path());
        fs::copy_file(kTestLibrary, copy);
        return copy;
    }

    simtest::TempFolder folder_;
};

TEST_F(LibraryLoading,
       a_bare_name_is_found_beside_the_program_and_other_names_of_the_file_are_the_same_module) {
    simtest::ScopedMachineVariable noMachine(std::nullopt);
    SetLastError(0xDEADBEEF);
    HMODULE module = LoadLibraryExW(u"qvsimtestlib", nullptr, 0);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(42, callAnswer(module));
    EXPECT_EQ(fs::canonical(kTestLibrary), fileOf(module));

    const HMODULE others[] = {LoadLibraryExW(u"qvsimtestlib.so", nullptr, 0),
                              LoadLibraryExW(u"libqvsimtestlib.so", nullptr, 0),
                              LoadLibraryExW(utf16(kTestLibrary.string()).c_str(), nullptr, 0)};
    for (HMODULE other : others) {
        EXPECT_EQ(module, other);
        EXPECT_TRUE(FreeLibrary(other));
    }
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(LibraryLoading, the_library_path_comes_first_and_a_trailing_dot_suppresses_the_default_extension) {
    const fs::path first = copyTestLibrary("lib/libqvsimtestlib.so");
    copyTestLibrary("lib/qvsimplain");
    sim::Machine described;
    described.addLibraryFolder((folder_.path() / "empty").string());
    described.addLibraryFolder((folder_.path() / "lib").string());
    simtest::ScopedMachine machine(described);

    HMODULE module = LoadLibraryExW(u"qvsimtestlib", nullptr, 0);
    EXPECT_EQ(fs::canonical(first), fileOf(module));
    EXPECT_TRUE(FreeLibrary(module));
    HMODULE plain = LoadLibraryExW(u"qvsimplain.", nullptr, 0);
    EXPECT_EQ(42, callAnswer(plain));
    EXPECT_TRUE(FreeLibrary(plain));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(u"qvsimplain", nullptr, 0));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
}

TEST_F(LibraryLoading, a_path_is_searched_alone_and_may_be_a_drive_path_or_outside_ascii) {
    copyTestLibrary("drive_c/Program Files/libqvsimpathed.so");
    copyTestLibrary("caf\xC3\xA9/qvsim\xF0\x9F\x94\x8C.so");
    sim::Machine described;
    described.mapDrive('C', (folder_.path() / "drive_c").string());
    simtest::ScopedMachine machine(described);

    const std::u16string loadable[] = {u"C:\\Program Files\\qvsimpathed.so",
                                       utf16(folder_.path().string()) + u"/caf\u00E9/qvsim\U0001F50C.so"};
    for (const std::u16string& name : loadable) {
        HMODULE module = LoadLibraryExW(name.c_str(), nullptr, 0);
        EXPECT_EQ(42, callAnswer(module));
        EXPECT_TRUE(FreeLibrary(module));
    }
    const std::u16string missing[] = {u"C:\\Program Files\\qvsimpathed", u"E:\\qvsimpathed.so",
                                      utf16((folder_.path() / "elsewhere/libqvsimtestlib.so").string())};
    for (const std::u16string& name : missing) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(nullptr, LoadLibraryExW(name.c_str(), nullptr, 0));
        EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
    }
}

TEST_F(LibraryLoading, what_cannot_be_loaded_fails_with_the_windows_error_for_its_reason) {
    simtest::ScopedMachineVariable noMachine(std::nullopt);
    const fs::path text = folder_.path() / "notalib.so";
    simtest::writeFile(text.string(), "this is text, not a shared object\n");
    const struct {
        std::u16string name;
        DWORD error;
    } cases[] = {
        {u"qvsimnosuchlibrary", ERROR_MOD_NOT_FOUND},
        {u"qvsimtestneedsgone", ERROR_MOD_NOT_FOUND},
        {u"qvsimtestunresolved", ERROR_PROC_NOT_FOUND},
        {utf16(text.string()), ERROR_BAD_EXE_FORMAT},
        {u"", ERROR_MOD_NOT_FOUND},
    };
    for (const auto& item : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(nullptr, LoadLibraryExW(item.name.c_str(), nullptr, 0));
        EXPECT_EQ(item.error, GetLastError()) << std::string(item.name.begin(), item.name.end());
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(nullptr, nullptr, 0));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST_F(LibraryLoading, an_injected_failure_fails_only_the_named_library) {
    sim::Machine described;
    described.addFault(
        {"LoadLibraryExW", ERROR_NOT_ENOUGH_MEMORY, std::string("qvsimtestlib"), 0, std::nullopt});
    simtest::ScopedMachine machine(described);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(u"qvsimtestlib", nullptr, 0));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    HMODULE other = LoadLibraryExW(u"libqvsimtestlib.so", nullptr, 0);
    EXPECT_NE(nullptr, other);
    EXPECT_TRUE(FreeLibrary(other));
}

TEST_F(LibraryLoading, only_the_modules_own_exports_are_found) {
    HMODULE module = LoadLibraryExW(u"qvsimtestlib", nullptr, 0);
    ASSERT_NE(nullptr, module);
    for (const char* missing :
         {"qvsimtestlib_question", "strlen", reinterpret_cast<LPCSTR>(std::uintptr_t{1})}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(nullptr, GetProcAddress(module, missing));
        EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
    }
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(LibraryLoading, each_load_counts_a_reference_until_the_last_free_unloads) {
    const fs::path path = copyTestLibrary("counted/libqvsimcounted.so");
    HMODULE first = LoadLibraryExW(utf16(path.string()).c_str(), nullptr, 0);
    HMODULE second = LoadLibraryExW(utf16(path.string()).c_str(), nullptr, 0);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(42, callAnswer(second));
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_FALSE(isLoaded(path));

    for (HMODULE bad :
         {first, static_cast<HMODULE>(nullptr), reinterpret_cast<HMODULE>(std::uintptr_t{0x12345})}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(FreeLibrary(bad));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(nullptr, GetProcAddress(bad, kAnswer));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    }
}

} // namespace

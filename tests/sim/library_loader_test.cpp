// LoadLibraryExW, GetProcAddress and FreeLibrary with the test libraries built beside this program.
#include "scratch.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>

namespace {

using simtest::ScopedMachine;
using simtest::ScratchFolder;

const std::string kRuntimeDir = QV_RUNTIME_DIR;
const std::string kTestLibrary = kRuntimeDir + "/libqvsimtestlib.so";
constexpr char kAnswer[] = "qvsimtestlib_answer";

std::u16string utf16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// The file a loaded export comes from.
std::string fileOf(FARPROC function) {
    Dl_info info{};
    return function != nullptr && dladdr(reinterpret_cast<void*>(function), &info) != 0 ? info.dli_fname : "";
}

int callAnswer(HMODULE module) {
    // Through void (*)(), the type that converts to every function type without a warning.
    const auto answer =
        reinterpret_cast<int (*)()>(reinterpret_cast<void (*)()>(GetProcAddress(module, kAnswer)));
    return answer != nullptr ? answer() : -1;
}

void copyTestLibrary(const std::string& to) {
    std::filesystem::create_directories(std::filesystem::path(to).parent_path());
    std::filesystem::copy_file(kTestLibrary, to);
}

bool isLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        dlclose(handle);
    }
    return handle != nullptr;
}

class LibraryLoading : public ::testing::Test {
protected:
    ScratchFolder folder_;
};

// --- Finding a library -----------------------------------------------------------------------

TEST_F(LibraryLoading, a_bare_name_is_found_in_the_program_folder_with_the_default_extension) {
    ScopedMachine machine{simtest::NoMachine{}};
    SetLastError(0xDEADBEEF);
    HMODULE module = LoadLibraryExW(u"qvsimtestlib", nullptr, 0);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(42, callAnswer(module));
    EXPECT_EQ(std::filesystem::canonical(kTestLibrary),
              std::filesystem::canonical(fileOf(GetProcAddress(module, kAnswer))));

    // The same file by other names is the same module.
    HMODULE withExtension = LoadLibraryExW(u"qvsimtestlib.so", nullptr, 0);
    HMODULE fileName = LoadLibraryExW(u"libqvsimtestlib.so", nullptr, 0);
    HMODULE fullPath = LoadLibraryExW(utf16(kTestLibrary).c_str(), nullptr, 0);
    EXPECT_EQ(module, withExtension);
    EXPECT_EQ(module, fileName);
    EXPECT_EQ(module, fullPath);
    for (HMODULE loaded : {module, withExtension, fileName, fullPath}) {
        EXPECT_TRUE(FreeLibrary(loaded));
    }
}

TEST_F(LibraryLoading, the_library_path_is_searched_before_the_program_folder) {
    copyTestLibrary(folder_ / "lib/libqvsimtestlib.so");
    ScopedMachine machine(folder_, R"({ "libraryPath": ["empty", "lib"] })");
    HMODULE module = LoadLibraryExW(u"qvsimtestlib", nullptr, 0);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(std::filesystem::canonical(folder_ / "lib/libqvsimtestlib.so"),
              std::filesystem::canonical(fileOf(GetProcAddress(module, kAnswer))));
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(LibraryLoading, a_trailing_dot_suppresses_the_default_extension) {
    copyTestLibrary(folder_ / "lib/qvsimplain");
    ScopedMachine machine(folder_, R"({ "libraryPath": ["lib"] })");
    HMODULE module = LoadLibraryExW(u"qvsimplain.", nullptr, 0);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(42, callAnswer(module));
    EXPECT_TRUE(FreeLibrary(module));

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(u"qvsimplain", nullptr, 0));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
}

TEST_F(LibraryLoading, a_path_is_searched_alone_and_gets_no_default_extension) {
    copyTestLibrary(folder_ / "only/libqvsimpathed.so");
    copyTestLibrary(folder_ / "only/qvsimbare");
    const std::string folder = folder_ / "only/";

    HMODULE withExtension = LoadLibraryExW(utf16(folder + "qvsimpathed.so").c_str(), nullptr, 0);
    EXPECT_NE(nullptr, withExtension);
    EXPECT_TRUE(FreeLibrary(withExtension));
    HMODULE withTrailingDot = LoadLibraryExW(utf16(folder + "qvsimbare.").c_str(), nullptr, 0);
    EXPECT_NE(nullptr, withTrailingDot);
    EXPECT_TRUE(FreeLibrary(withTrailingDot));

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(utf16(folder + "qvsimpathed").c_str(), nullptr, 0));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(utf16(folder_ / "elsewhere/libqvsimtestlib.so").c_str(), nullptr, 0));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
}

TEST_F(LibraryLoading, a_drive_path_is_loaded_from_the_folder_its_drive_maps_to) {
    copyTestLibrary(folder_ / "drive_c/Program Files/Quorvel/qvsimdriven.so");
    ScopedMachine machine(folder_, R"({ "drives": { "C": "drive_c" } })");
    HMODULE module = LoadLibraryExW(u"C:\\Program Files\\Quorvel\\qvsimdriven.so", nullptr, 0);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(42, callAnswer(module));
    EXPECT_TRUE(FreeLibrary(module));
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(u"E:\\qvsimdriven.so", nullptr, 0));
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, GetLastError());
}

TEST_F(LibraryLoading, a_name_outside_ascii_reaches_the_file_system_as_utf8) {
    copyTestLibrary(folder_ / "caf\xC3\xA9/qvsim\xF0\x9F\x94\x8C.so");
    const std::u16string path = utf16(folder_.path()) + u"/caf\u00E9/qvsim\U0001F50C.so";
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, 0);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(42, callAnswer(module));
    EXPECT_TRUE(FreeLibrary(module));
}

// --- Failing loads ---------------------------------------------------------------------------

TEST_F(LibraryLoading, what_cannot_be_loaded_fails_with_the_windows_error_for_its_reason) {
    ScopedMachine machine{simtest::NoMachine{}};
    const std::string notALibrary = folder_.write("notalib.so", "this is text, not a shared object\n");
    const struct {
        std::u16string name;
        DWORD error;
    } cases[] = {
        {u"qvsimnosuchlibrary", ERROR_MOD_NOT_FOUND},
        {u"qvsimtestneedsgone", ERROR_MOD_NOT_FOUND},
        {u"qvsimtestunresolved", ERROR_PROC_NOT_FOUND},
        {utf16(notALibrary), ERROR_BAD_EXE_FORMAT},
        {u"", ERROR_MOD_NOT_FOUND},
        {u".", ERROR_MOD_NOT_FOUND},
    };
    for (const auto& item : cases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(nullptr, LoadLibraryExW(item.name.c_str(), nullptr, 0));
        EXPECT_EQ(item.error, GetLastError()) << std::string(item.name.begin(), item.name.end());
    }
}

TEST_F(LibraryLoading, requests_other_than_loading_for_execution_are_refused) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(nullptr, nullptr, 0));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    constexpr DWORD kLoadAsDataFile = 0x00000002;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(u"qvsimtestlib", nullptr, kLoadAsDataFile));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
}

TEST_F(LibraryLoading, an_injected_failure_fails_only_the_named_library) {
    ScopedMachine machine(folder_, R"({ "faults": [ { "call": "LoadLibraryExW", "argument": "qvsimtestlib",
                                                      "error": 1455 } ] })");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, LoadLibraryExW(u"qvsimtestlib", nullptr, 0));
    EXPECT_EQ(1455u, GetLastError());
    HMODULE other = LoadLibraryExW(u"libqvsimtestlib.so", nullptr, 0);
    EXPECT_NE(nullptr, other);
    EXPECT_TRUE(FreeLibrary(other));
}

// --- Exports and references ------------------------------------------------------------------

TEST_F(LibraryLoading, only_the_modules_own_exports_are_found) {
    HMODULE module = LoadLibraryExW(u"qvsimtestlib", nullptr, 0);
    ASSERT_NE(nullptr, module);
    for (const char* missing : {"qvsimtestlib_question", "malloc", "LoadLibraryExW"}) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(nullptr, GetProcAddress(module, missing)) << missing;
        EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError()) << missing;
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, GetProcAddress(module, reinterpret_cast<LPCSTR>(std::uintptr_t{1})));
    EXPECT_EQ(ERROR_PROC_NOT_FOUND, GetLastError());
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(LibraryLoading, each_load_counts_a_reference_until_the_last_free_unloads) {
    copyTestLibrary(folder_ / "counted/libqvsimcounted.so");
    const std::string path = folder_ / "counted/libqvsimcounted.so";
    HMODULE first = LoadLibraryExW(utf16(path).c_str(), nullptr, 0);
    HMODULE second = LoadLibraryExW(utf16(path).c_str(), nullptr, 0);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(42, callAnswer(second));
    EXPECT_TRUE(isLoaded(path));
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_FALSE(isLoaded(path));

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, GetProcAddress(first, kAnswer));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(LibraryLoading, module_handles_that_were_never_loaded_are_invalid) {
    for (HMODULE bad : {static_cast<HMODULE>(nullptr), reinterpret_cast<HMODULE>(std::uintptr_t{0x12345})}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(FreeLibrary(bad));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(nullptr, GetProcAddress(bad, kAnswer));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    }
}

} // namespace

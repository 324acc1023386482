// The library loader: its reports, the UTF-8 names it hands to LoadLibraryExW, and LibraryHandle.
#include "support/dynload.h"

#include "common/call_log_file.h"
#include "support/errorException.h"
#include "support/statusCodes.h"
#include "support/unique_any.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kTestLibrary[] = "qvsimtestlib";


qv::unique_cjson parse(const char* text) {
    return qv::unique_cjson(cJSON_Parse(text != nullptr ? text : ""));
}

std::vector<std::string> memberNames(const cJSON* object) {
    std::vector<std::string> names;
    for (const cJSON* item = object != nullptr ? object->child : nullptr; item != nullptr; item = item->next) {
        names.push_back(item->string);
    }
    return names;
}

std::string textOf(const cJSON* object, const char* name) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, name);
    return cJSON_IsString(item) ? item->valuestring : "(absent)";
}

// The report of a failed load or lookup: its members in order, the debug object and the Win32 error.
void expectLoaderReport(const qverr::Status& status, const char* member, const std::string& value, DWORD error) {
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusInvalidParameter);
    const qv::unique_cjson payload = parse(status.payload);
    ASSERT_TRUE(payload);
    EXPECT_EQ(memberNames(payload.get()), (std::vector<std::string>{"error_constant", "file", "line", "component",
                                                                     "qvdynlib_debug", "internal_error"}));
    EXPECT_EQ(textOf(payload.get(), "error_constant"), "qvosalerr_invalidParameter");
    const cJSON* debug = cJSON_GetObjectItemCaseSensitive(payload.get(), "qvdynlib_debug");
    EXPECT_EQ(memberNames(debug), (std::vector<std::string>{"debug", member}));
    EXPECT_EQ(textOf(debug, "debug"), "failed to qvdynlib_load library");
    EXPECT_EQ(textOf(debug, member), value);
    const cJSON* internal = cJSON_GetObjectItemCaseSensitive(payload.get(), "internal_error");
    EXPECT_EQ(textOf(internal, "api"), "win32");
    EXPECT_EQ(cJSON_GetNumberValue(cJSON_GetObjectItemCaseSensitive(internal, "code")), error);
}

TEST(DynamicLoader, a_missing_library_is_reported_with_its_name_as_given_and_the_windows_error) {
    qverr::Status status;
    EXPECT_EQ(dynload::load("qv no such\xC3\xA9library", status), nullptr);
    expectLoaderReport(status, "path", "qv no such\xC3\xA9library", ERROR_MOD_NOT_FOUND);
}

TEST(DynamicLoader, a_missing_export_is_reported_with_the_symbol_name_and_the_windows_error) {
    dynload::LibraryHandle library(kTestLibrary);
    qverr::Status status;
    EXPECT_EQ(dynload::symbol(library.get(), "qvsimtestlib_question", status), nullptr);
    expectLoaderReport(status, "qvdynlib_symbol", "qvsimtestlib_question", ERROR_PROC_NOT_FOUND);
}

// LoadLibraryExW logs the name it received, converted back to UTF-8, so the log shows the UTF-16
// text the loader made.
TEST(DynamicLoader, names_reach_the_loader_as_utf16_and_a_cut_off_sequence_stands_byte_by_byte) {
    const struct {
        const char* name;
        const char* received;
    } cases[] = {
        {"qvsim-plain", "qvsim-plain"},
        {"qvsim-caf\xC3\xA9", "qvsim-caf\xC3\xA9"},
        {"qvsim-\xF0\x9F\x94\x8C", "qvsim-\xF0\x9F\x94\x8C"},  // U+1F50C: the pair D83D DD0C
        {"qvsim-\xE2\x82\xAC", "qvsim-\xE2\x82\xAC"},          // U+20AC: one unit
        {"qvsim-\x80", "qvsim-\xC2\x80"},                       // a stray continuation byte stands alone
        {"qvsim-\xF0\x9F", "qvsim-\xC3\xB0\xC2\x9F"},           // cut off by the NUL: each byte alone
        {"qvsim-\xE2", "qvsim-\xC3\xA2"},
    };
    for (const auto& item : cases) {
        CallLogFile log;
        qverr::Status status;
        EXPECT_EQ(dynload::load(item.name, status), nullptr);
        EXPECT_EQ(log.lines(), std::vector<std::string>{std::string("LoadLibraryExW ") + item.received +
                                                        " -> error 126"})
            << item.name;
    }
}

TEST(DynamicLoader, a_name_outside_the_basic_plane_loads_the_file_of_that_name) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "qvkelp-dynload-\xF0\x9F\x94\x8C";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(std::filesystem::path(QV_RUNTIME_DIR) / "libqvsimtestlib.so",
                               folder / "lib\xF0\x9F\x94\x8C.so", std::filesystem::copy_options::overwrite_existing);
    {
        dynload::LibraryHandle library((folder / "lib\xF0\x9F\x94\x8C.so").string().c_str());
        const auto answer = library.getFunction<int (*)()>("qvsimtestlib_answer");
        EXPECT_EQ(answer(), 42);
    }
    std::filesystem::remove_all(folder);
}

TEST(DynamicLoader, with_an_error_already_held_nothing_is_called_and_the_report_stays) {
    CallLogFile log;
    dynload::LibraryHandle library(kTestLibrary);
    qverr::Status status;
    status.setCode(nQVOSALS100::osalStatusUnexpected);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(dynload::load(kTestLibrary, status), nullptr);
    EXPECT_EQ(dynload::symbol(library.get(), "qvsimtestlib_answer", status), nullptr);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusUnexpected);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"LoadLibraryExW qvsimtestlib"});
}

TEST(LibraryHandle, frees_what_it_loaded_exactly_once_and_an_empty_handle_frees_nothing) {
    CallLogFile log;
    {
        dynload::LibraryHandle empty;
        dynload::LibraryHandle moved;
        dynload::LibraryHandle loaded(kTestLibrary);
        moved = std::move(loaded);
        EXPECT_FALSE(loaded.isLoaded());
        dynload::LibraryHandle later;
        later.load(kTestLibrary);
        later.close();
        later.close();
    }
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"LoadLibraryExW qvsimtestlib", "LoadLibraryExW qvsimtestlib",
                                                     "FreeLibrary qvsimtestlib", "FreeLibrary qvsimtestlib"}));
}

TEST(LibraryHandle, throws_the_loader_report_for_a_missing_library_or_export) {
    try {
        dynload::LibraryHandle missing("qvsimnosuchlibrary");
        ADD_FAILURE() << "no exception";
    } catch (const qverr::Exception& error) {
        expectLoaderReport(error.status(), "path", "qvsimnosuchlibrary", ERROR_MOD_NOT_FOUND);
    }
    dynload::LibraryHandle library(kTestLibrary);
    try {
        library.getSymbol("qvsimtestlib_question");
        ADD_FAILURE() << "no exception";
    } catch (const qverr::Exception& error) {
        expectLoaderReport(error.status(), "qvdynlib_symbol", "qvsimtestlib_question", ERROR_PROC_NOT_FOUND);
    }
    dynload::LibraryHandle empty;
    EXPECT_THROW(empty.load("qvsimnosuchlibrary"), qverr::Exception);
    EXPECT_FALSE(empty.isLoaded());
}

} // namespace

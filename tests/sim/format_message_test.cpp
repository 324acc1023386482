#include "common/host_platform.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kAllocated = FORMAT_MESSAGE_ALLOCATE_BUFFER | kFromSystem;
const DWORD kDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

// Formats into a buffer allocated by the call; the text is freed with the object.
struct AllocatedMessage {
    LPSTR text = reinterpret_cast<LPSTR>(0x1); // a value the call must overwrite
    DWORD length;
    DWORD error;
    AllocatedMessage(DWORD messageId, DWORD languageId = kDefaultLanguage, DWORD flags = kAllocated) {
        SetLastError(0xDEADBEEF);
        length =
            FormatMessageA(flags, nullptr, messageId, languageId, reinterpret_cast<LPSTR>(&text), 0, nullptr);
        error = GetLastError();
    }
    ~AllocatedMessage() {
        if (length != 0) {
            LocalFree(text);
        }
    }
};

// On Windows, a failure the simulation chooses, or one Wine does not reproduce, is not checked.
bool skippedHere(DWORD languageId, [[maybe_unused]] DWORD flags) {
#ifdef _WIN32
    // The simulation refuses every flag but the documented 0x1300 (kFromSystem with
    // FORMAT_MESSAGE_ALLOCATE_BUFFER); Windows formats with them.
    if (flags != kAllocated) {
        return true;
    }
#endif
    // Wine gives its English text for any language (windows_choices.h).
    return languageId != kDefaultLanguage && hostplatform::runningUnderWine();
}

} // namespace

TEST(FormatMessage, a_system_text_comes_with_its_length_and_line_end_in_every_english_language) {
    if (hostplatform::runningUnderWine()) {
        GTEST_SKIP() << "Wine has its own system texts (windows_choices.h)";
    }
    const AllocatedMessage lock(ERROR_LOCK_VIOLATION);
    const std::string expected =
        "The process cannot access the file because another process has locked a portion of the file.\r\n";
    ASSERT_EQ(lock.length, expected.size());
    EXPECT_EQ(std::string(lock.text), expected);
    EXPECT_EQ(lock.error, 0xDEADBEEFu) << "success leaves the last error alone";
    for (const DWORD language : {0x000u, 0x400u, 0x800u, 0x409u}) {
        const AllocatedMessage message(ERROR_BAD_EXE_FORMAT, language);
        ASSERT_NE(message.length, 0u) << "language " << language;
        EXPECT_STREQ(message.text, "%1 is not a valid Win32 application.\r\n")
            << "inserts are left as they are";
    }
    const AllocatedMessage success(ERROR_SUCCESS);
    EXPECT_STREQ(success.length != 0 ? success.text : "", "The operation completed successfully.\r\n");
}

TEST(FormatMessage, missing_texts_other_languages_and_other_flags_fail_with_the_error_windows_sets) {
    const struct {
        DWORD messageId, languageId, flags, error;
    } failures[] = {
        {0x2000FFFF, kDefaultLanguage, kAllocated, ERROR_MR_MID_NOT_FOUND},
        {ERROR_KEY_DOES_NOT_EXIST, kDefaultLanguage, kAllocated, ERROR_MR_MID_NOT_FOUND},
        {ERROR_NO_SUCH_DEVINST, kDefaultLanguage, kAllocated, ERROR_MR_MID_NOT_FOUND},
        {ERROR_ACCESS_DENIED, MAKELANGID(0x07, 0x01), kAllocated, ERROR_RESOURCE_LANG_NOT_FOUND},
        {ERROR_ACCESS_DENIED, kDefaultLanguage, FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
         ERROR_INVALID_PARAMETER},
        {ERROR_ACCESS_DENIED, kDefaultLanguage, kAllocated | FORMAT_MESSAGE_FROM_STRING,
         ERROR_INVALID_PARAMETER},
        {ERROR_ACCESS_DENIED, kDefaultLanguage, kAllocated | 80 /* line width */, ERROR_INVALID_PARAMETER},
    };
    for (const auto& failure : failures) {
        if (skippedHere(failure.languageId, failure.flags)) {
            continue;
        }
        const AllocatedMessage message(failure.messageId, failure.languageId, failure.flags);
        EXPECT_EQ(message.length, 0u) << std::hex << failure.messageId << " " << failure.flags;
        EXPECT_EQ(message.error, failure.error) << std::hex << failure.messageId << " " << failure.flags;
        if (failure.error != ERROR_INVALID_PARAMETER) {
            EXPECT_EQ(message.text, nullptr) << "the out-pointer is cleared before the failure";
        }
    }
}

TEST(FormatMessage, a_caller_buffer_must_hold_the_text_and_its_terminator) {
    if (hostplatform::runningUnderWine()) {
        GTEST_SKIP() << "Wine's text is shorter, and Wine succeeds where Windows refuses (windows_choices.h)";
    }
    const std::string expected = "Access is denied.\r\n";
    const auto size = static_cast<DWORD>(expected.size());
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(
        FormatMessageA(kFromSystem, nullptr, ERROR_ACCESS_DENIED, kDefaultLanguage, buffer, size, nullptr),
        0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(FormatMessageA(kFromSystem, nullptr, ERROR_ACCESS_DENIED, kDefaultLanguage, buffer, size + 1,
                             nullptr),
              size);
    EXPECT_EQ(std::string(buffer), expected);
    EXPECT_EQ(buffer[size + 1], '#') << "nothing is written past the terminator";
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);

    EXPECT_EQ(
        FormatMessageA(kFromSystem, nullptr, ERROR_ACCESS_DENIED, kDefaultLanguage, nullptr, 64, nullptr),
        0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

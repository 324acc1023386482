#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr DWORD kSystemTextFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
const DWORD kDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

struct AllocatedMessage {
    DWORD length = 0;
    DWORD error = 0;
    LPSTR text = reinterpret_cast<LPSTR>(0x1); // a value the call must overwrite
    ~AllocatedMessage() {
        if (length != 0) {
            LocalFree(text);
        }
    }
};

void formatAllocated(AllocatedMessage& result, DWORD messageId, DWORD languageId = kDefaultLanguage,
                     DWORD flags = kSystemTextFlags) {
    SetLastError(0xDEADBEEF);
    result.length = FormatMessageA(flags, nullptr, messageId, languageId,
                                   reinterpret_cast<LPSTR>(&result.text), 0, nullptr);
    result.error = GetLastError();
}

} // namespace

TEST(FormatMessage, a_system_text_is_allocated_with_its_length_and_line_end) {
    AllocatedMessage message;
    formatAllocated(message, ERROR_LOCK_VIOLATION);
    const std::string expected =
        "The process cannot access the file because another process has locked a portion of the file.\r\n";
    ASSERT_EQ(message.length, expected.size());
    EXPECT_EQ(std::string(message.text), expected);
    EXPECT_EQ(message.error, 0xDEADBEEFu) << "success leaves the last error alone";
}

TEST(FormatMessage, texts_keep_their_insert_markers_and_every_english_language_finds_them) {
    for (const DWORD language : {0x000u, 0x400u, 0x800u, 0x409u}) {
        AllocatedMessage message;
        formatAllocated(message, ERROR_BAD_EXE_FORMAT, language);
        ASSERT_NE(message.length, 0u) << "language " << language;
        EXPECT_STREQ(message.text, "%1 is not a valid Win32 application.\r\n");
    }
    AllocatedMessage german;
    formatAllocated(german, ERROR_ACCESS_DENIED, MAKELANGID(0x07, 0x01));
    EXPECT_EQ(german.length, 0u);
    EXPECT_EQ(german.error, ERROR_RESOURCE_LANG_NOT_FOUND);
}

TEST(FormatMessage, success_has_a_text_but_customer_and_setupapi_codes_have_none) {
    AllocatedMessage success;
    formatAllocated(success, ERROR_SUCCESS);
    EXPECT_STREQ(success.length != 0 ? success.text : "", "The operation completed successfully.\r\n");

    for (const DWORD id : {0x2000FFFFu, 0xFFFFFFFFu, ERROR_KEY_DOES_NOT_EXIST, ERROR_NO_SUCH_DEVINST}) {
        AllocatedMessage message;
        formatAllocated(message, id);
        EXPECT_EQ(message.length, 0u) << id;
        EXPECT_EQ(message.error, ERROR_MR_MID_NOT_FOUND) << id;
        EXPECT_EQ(message.text, nullptr) << "the out-pointer is cleared before the failure";
    }
}

TEST(FormatMessage, flags_other_than_the_system_table_without_inserts_are_refused) {
    const DWORD refused[] = {
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        kSystemTextFlags | FORMAT_MESSAGE_FROM_STRING,
        kSystemTextFlags | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        kSystemTextFlags | 80, // a maximum line width
    };
    for (const DWORD flags : refused) {
        AllocatedMessage message;
        formatAllocated(message, ERROR_ACCESS_DENIED, kDefaultLanguage, flags);
        EXPECT_EQ(message.length, 0u) << std::hex << flags;
        EXPECT_EQ(message.error, ERROR_INVALID_PARAMETER) << std::hex << flags;
    }
}

TEST(FormatMessage, a_caller_buffer_must_hold_the_text_and_its_terminator) {
    const std::string expected = "Access is denied.\r\n";
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);

    SetLastError(0xDEADBEEF);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  ERROR_ACCESS_DENIED, kDefaultLanguage, buffer,
                                  static_cast<DWORD>(expected.size()), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    SetLastError(0xDEADBEEF);
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            ERROR_ACCESS_DENIED, kDefaultLanguage, buffer,
                            static_cast<DWORD>(expected.size() + 1), nullptr);
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(std::string(buffer), expected);
    EXPECT_EQ(buffer[expected.size() + 1], '#') << "nothing is written past the terminator";
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);

    SetLastError(0xDEADBEEF);
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                            ERROR_ACCESS_DENIED, kDefaultLanguage, nullptr, 64, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(FormatMessage, an_allocated_text_honours_a_minimum_size_and_local_free_returns_null) {
    LPSTR text = nullptr;
    SetLastError(0xDEADBEEF);
    const DWORD length = FormatMessageA(kSystemTextFlags, nullptr, ERROR_INVALID_HANDLE, kDefaultLanguage,
                                        reinterpret_cast<LPSTR>(&text), 4096, nullptr);
    ASSERT_EQ(length, 24u);
    std::memset(text + length, 'x', 4096 - length); // the whole minimum size is usable
    EXPECT_EQ(LocalFree(text), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), 0xDEADBEEFu);
}

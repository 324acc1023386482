// MultiByteToWideChar, WideCharToMultiByte and GetACP of the simulated Windows.
#include "platform/sim/device/machine.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char16_t kUntouched = 0xBEEF;

struct Conversion {
    int result;
    DWORD error;
    std::u16string output; // the whole buffer, including what the call left untouched
};

Conversion convert(UINT codePage, DWORD flags, const char* input, int length, int capacity) {
    std::u16string buffer(static_cast<std::size_t>(capacity) + 2, kUntouched);
    SetLastError(0xDEADBEEF);
    const int result = MultiByteToWideChar(codePage, flags, input, length,
                                           capacity == 0 ? nullptr : buffer.data(), capacity);
    return Conversion{result, GetLastError(), buffer};
}

TEST(MultiByteToWideChar, the_ansi_code_page_of_an_empty_machine_is_1252) {
    EXPECT_EQ(GetACP(), 1252u);
    const Conversion c = convert(CP_ACP, 0, "caf\xE9 \x80\x81", 7, 10);
    EXPECT_EQ(c.result, 7);
    EXPECT_EQ(c.output.substr(0, 7), u"caf\u00E9 \u20AC\u0081");
}

TEST(MultiByteToWideChar, the_ansi_code_page_follows_the_machine) {
    sim::Machine japanese;
    japanese.ansiCodePage = CP_SHIFT_JIS;
    sim::installMachine(japanese);
    const UINT ansiCodePage = GetACP();
    const Conversion c = convert(CP_ACP, 0, "\x82\xA0", 2, 1);
    sim::uninstallMachine();
    EXPECT_EQ(ansiCodePage, 932u);
    EXPECT_EQ(c.result, 1);
    EXPECT_EQ(c.output[0], u'\u3042');
}

TEST(MultiByteToWideChar, an_explicit_length_yields_no_terminator_and_minus_one_counts_it) {
    EXPECT_EQ(convert(CP_WINDOWS_1252, 0, "hello", -1, 0).result, 6) << "size query";
    const Conversion explicitLength = convert(CP_WINDOWS_1252, 0, "abc", 3, 8);
    EXPECT_EQ(explicitLength.result, 3);
    EXPECT_EQ(explicitLength.output[3], kUntouched);

    const Conversion terminated = convert(CP_WINDOWS_1252, 0, "abc", -1, 8);
    EXPECT_EQ(terminated.result, 4);
    EXPECT_EQ(terminated.output[3], u'\0');
    EXPECT_EQ(terminated.output[4], kUntouched);
}

TEST(MultiByteToWideChar,
     us_ascii_drops_the_high_bit_and_shift_jis_decodes_double_and_half_width_characters) {
    const Conversion ascii = convert(CP_US_ASCII, 0, "A\xC1\xFF", 3, 3);
    EXPECT_EQ(ascii.output.substr(0, 3), std::u16string(u"AA\u007F"));

    const Conversion c = convert(CP_SHIFT_JIS, 0,
                                 "\x82\xA0\xB1\x93\xFA"
                                 "A",
                                 6, 6);
    EXPECT_EQ(c.result, 4);
    EXPECT_EQ(c.output.substr(0, 4), u"\u3042\uFF71\u65E5A");
}

TEST(MultiByteToWideChar, invalid_shift_jis_is_replaced_unless_the_caller_refuses_it) {
    const Conversion replaced = convert(CP_SHIFT_JIS, 0, "\x81 x\x82", 4, 8);
    EXPECT_EQ(replaced.result, 4);
    EXPECT_EQ(replaced.output.substr(0, 4), u"\u30FB x\u30FB");

    const Conversion refused = convert(CP_SHIFT_JIS, MB_ERR_INVALID_CHARS, "\x81 x", 3, 8);
    EXPECT_EQ(refused.result, 0);
    EXPECT_EQ(refused.error, ERROR_NO_UNICODE_TRANSLATION);
}

TEST(MultiByteToWideChar, bad_arguments_fail_with_the_windows_errors) {
    const char* text = "abc";
    EXPECT_EQ(convert(CP_WINDOWS_1252, 0, nullptr, 3, 4).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(convert(CP_WINDOWS_1252, 0, text, 0, 4).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(convert(CP_WINDOWS_1252, 0, text, -2, 4).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(convert(12345, 0, text, 3, 4).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(convert(CP_WINDOWS_1252, 0x100, text, 3, 4).error, ERROR_INVALID_FLAGS);
    EXPECT_EQ(convert(CP_WINDOWS_1252, MB_PRECOMPOSED | MB_COMPOSITE, text, 3, 4).error, ERROR_INVALID_FLAGS);

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(MultiByteToWideChar(CP_WINDOWS_1252, 0, text, 3, nullptr, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    const Conversion tooSmall = convert(CP_WINDOWS_1252, 0, text, -1, 3);
    EXPECT_EQ(tooSmall.result, 0);
    EXPECT_EQ(tooSmall.error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(tooSmall.output[3], kUntouched);
}

} // namespace

namespace {

struct Encoding {
    int result;
    DWORD error;
    std::string output; // what the call wrote
    BOOL usedDefault;
};

Encoding encode(UINT codePage, DWORD flags, const std::u16string& input, int capacity) {
    std::string buffer(static_cast<std::size_t>(capacity), '\x7F');
    BOOL usedDefault = 0xBEEF;
    SetLastError(0xDEADBEEF);
    const int result = WideCharToMultiByte(codePage, flags, input.data(), static_cast<int>(input.size()),
                                           capacity == 0 ? nullptr : buffer.data(), capacity, nullptr, &usedDefault);
    return Encoding{result, GetLastError(), buffer.substr(0, result > 0 ? static_cast<std::size_t>(result) : 0),
                    usedDefault};
}

} // namespace

TEST(WideCharToMultiByte, encodes_in_the_page_and_says_when_a_character_is_missing_from_it) {
    const Encoding western = encode(CP_ACP, WC_NO_BEST_FIT_CHARS, u"caf\u00E9 \u20AC", 6);
    EXPECT_EQ(western.result, 6);
    EXPECT_EQ(western.output, "caf\xE9 \x80");
    EXPECT_EQ(western.usedDefault, FALSE);
    // No best fit: Omega is not "O".
    const Encoding omega = encode(CP_WINDOWS_1252, WC_NO_BEST_FIT_CHARS, u"\u03A9", 1);
    EXPECT_EQ(omega.output, "?");
    EXPECT_EQ(omega.usedDefault, TRUE);
    const Encoding japanese = encode(CP_SHIFT_JIS, WC_NO_BEST_FIT_CHARS, u"\u3042\u3044", 4);
    EXPECT_EQ(japanese.output, "\x82\xA0\x82\xA2");
    EXPECT_EQ(japanese.usedDefault, FALSE);
    // A size query, a buffer too small and flags the call does not know, as Windows answers them.
    EXPECT_EQ(encode(CP_SHIFT_JIS, 0, u"\u3042a", 0).result, 3);
    const Encoding small = encode(CP_SHIFT_JIS, 0, u"\u3042a", 2);
    EXPECT_EQ(small.result, 0);
    EXPECT_EQ(small.error, DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(encode(CP_WINDOWS_1252, 0x80000000, u"a", 1).error, DWORD{ERROR_INVALID_FLAGS});
}

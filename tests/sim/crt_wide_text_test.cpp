// The C runtime's 16-bit wide-text routines of the simulated Windows: mbstowcs, wcstombs and
// _vswprintf_c_l.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

int format(char16_t* buffer, std::size_t capacity, const char16_t* formatText, ...) {
    va_list arguments;
    va_start(arguments, formatText);
    const int result = _vswprintf_c_l(buffer, capacity, formatText, nullptr, arguments);
    va_end(arguments);
    return result;
}

TEST(CLocaleConversion, mbstowcs_widens_every_byte_to_the_same_unit) {
    char16_t wide[8];
    std::fill(std::begin(wide), std::end(wide), u'#');
    EXPECT_EQ(mbstowcs(wide, "A\xE9\xFF", 3), 3u);
    EXPECT_EQ(std::u16string(wide, 4), u"A\u00E9\u00FF#") << "a full buffer gets no terminator";
    EXPECT_EQ(mbstowcs(nullptr, "A\xE9\xFF", 0), 3u);
}

TEST(CLocaleConversion, wcstombs_narrows_units_up_to_ff_and_refuses_others) {
    char narrow[8] = "#######";
    EXPECT_EQ(wcstombs(narrow, u"A\u00E9", 8), 2u);
    EXPECT_STREQ(narrow, "A\xE9");
    EXPECT_EQ(wcstombs(nullptr, u"A\u00E9", 0), 2u);

    errno = 0;
    EXPECT_EQ(wcstombs(narrow, u"A\u0100", 8), static_cast<std::size_t>(-1));
    EXPECT_EQ(errno, EILSEQ);
    errno = 0;
    EXPECT_EQ(wcstombs(nullptr, u"\u20AC", 0), static_cast<std::size_t>(-1));
    EXPECT_EQ(errno, EILSEQ);
}

TEST(WideFormat, honours_flags_width_precision_and_sizes) {
    char16_t buffer[64];
    format(buffer, 64, u"%04X|%x|%-3d|%5s|%.2s|%hs|%%|%lld", 0xABu, 255u, 7, u"ab", u"xyz", "nar",
           -5000000000ll);
    EXPECT_EQ(std::u16string(buffer), u"00AB|ff|7  |   ab|xy|nar|%|-5000000000");
    format(buffer, 64, u"%+d %#x %s", 3, 16u, static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(std::u16string(buffer), u"+3 0x10 (null)");
}

TEST(WideFormat, text_that_does_not_fit_is_cut_terminated_and_reported) {
    char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(format(buffer, 4, u"PXI%u", 12u), -1);
    EXPECT_EQ(std::u16string(buffer), u"PXI");
    EXPECT_EQ(format(buffer, 4, u"%u", 123u), 3);
    EXPECT_EQ(format(buffer, 4, u"%q", 1), -1);
    EXPECT_EQ(buffer[0], u'\0');
}

} // namespace

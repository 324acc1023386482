// The C runtime's 16-bit wide-text routines of the simulated Windows: mbstowcs, wcstombs and
// _vswprintf_c_l.
#include "common/host_platform.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

// The C runtime's wide text is 16 bits: wchar_t on Windows, char16_t in the simulation, where
// wchar_t has 32 bits.
#ifdef _WIN32
using WideUnit = wchar_t;
#define WIDE(text) L##text
#else
using WideUnit = char16_t;
#define WIDE(text) u##text
#endif
using WideString = std::basic_string<WideUnit>;

int format(WideUnit* buffer, std::size_t capacity, const WideUnit* formatText, ...) {
    va_list arguments;
    va_start(arguments, formatText);
    const int result = _vswprintf_c_l(buffer, capacity, formatText, nullptr, arguments);
    va_end(arguments);
    return result;
}

TEST(CLocaleConversion, mbstowcs_widens_every_byte_to_the_same_unit) {
    WideUnit wide[8];
    std::fill(std::begin(wide), std::end(wide), WIDE('#'));
    EXPECT_EQ(mbstowcs(wide, "A\xE9\xFF", 3), 3u);
    EXPECT_EQ(WideString(wide, 4), WIDE("A\u00E9\u00FF#")) << "a full buffer gets no terminator";
    EXPECT_EQ(mbstowcs(nullptr, "A\xE9\xFF", 0), 3u);
}

TEST(CLocaleConversion, wcstombs_narrows_units_up_to_ff_and_refuses_others) {
    char narrow[8] = "#######";
    EXPECT_EQ(wcstombs(narrow, WIDE("A\u00E9"), 8), 2u);
    EXPECT_STREQ(narrow, "A\xE9");
    EXPECT_EQ(wcstombs(nullptr, WIDE("A\u00E9"), 0), 2u);

    errno = 0;
    EXPECT_EQ(wcstombs(narrow, WIDE("A\u0100"), 8), static_cast<std::size_t>(-1));
    EXPECT_EQ(errno, EILSEQ);
    if (hostplatform::runningUnderWine()) {
        return; // Wine's size query counts such units instead of refusing them (windows_choices.h)
    }
    errno = 0;
    EXPECT_EQ(wcstombs(nullptr, WIDE("\u20AC"), 0), static_cast<std::size_t>(-1));
    EXPECT_EQ(errno, EILSEQ);
}

TEST(WideFormat, honours_flags_width_precision_and_sizes) {
    WideUnit buffer[64];
    format(buffer, 64, WIDE("%04X|%x|%-3d|%5s|%.2s|%hs|%%|%lld"), 0xABu, 255u, 7, WIDE("ab"), WIDE("xyz"),
           "nar", -5000000000ll);
    EXPECT_EQ(WideString(buffer), WIDE("00AB|ff|7  |   ab|xy|nar|%|-5000000000"));
    format(buffer, 64, WIDE("%+d %#x %s"), 3, 16u, static_cast<const WideUnit*>(nullptr));
    EXPECT_EQ(WideString(buffer), WIDE("+3 0x10 (null)"));
}

TEST(WideFormat, text_that_does_not_fit_is_cut_terminated_and_reported) {
    WideUnit buffer[4] = {WIDE('#'), WIDE('#'), WIDE('#'), WIDE('#')};
    EXPECT_EQ(format(buffer, 4, WIDE("PXI%u"), 12u), -1);
    EXPECT_EQ(WideString(buffer), WIDE("PXI"));
    EXPECT_EQ(format(buffer, 4, WIDE("%u"), 123u), 3);
    EXPECT_EQ(format(buffer, 4, WIDE("%q"), 1), -1);
    EXPECT_EQ(buffer[0], WIDE('\0'));
}

} // namespace

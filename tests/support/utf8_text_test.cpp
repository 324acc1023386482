// UTF-16 to UTF-8 as hwconfig prints item names: pairs join, and a lone surrogate becomes U+FFFD
// without taking the unit after it. (The module's rule, which keeps a lone surrogate, is tested
// with the standard paths it serves.)
#include "support/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string shown(const std::u16string& text) {
    std::string out;
    qvtext::appendUtf16AsUtf8(text.data(), text.size(), qvtext::LoneSurrogate::replace, out);
    return out;
}

TEST(Utf8ForDisplay, every_unit_width_and_every_lone_surrogate_gives_valid_utf8) {
    const struct {
        std::u16string text;
        std::string utf8;
    } cases[] = {
        {u"PXI1Slot3", "PXI1Slot3"},
        {u"caf\u00E9", "caf\xC3\xA9"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::u16string(1, char16_t(0xD800)) + u"a", "\xEF\xBF\xBD" "a"},
        {u"a" + std::u16string(1, char16_t(0xDC00)), "a\xEF\xBF\xBD"},
        {std::u16string(2, char16_t(0xD800)), "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shown(c.text), c.utf8) << c.utf8;
    }
}

} // namespace

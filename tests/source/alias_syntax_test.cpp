#include "com/hostBoundary.h"
#include "hwsys/hwsys_errors.h"
#include "source/aliases/AliasStore.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The HRESULT validateAlias throws, or S_OK when it accepts the alias.
HRESULT verdict(const std::u16string& alias) {
    return qvkelpsysapiexpert::runHostOperation([&](nQVOSALS100::tStatus&) { validateAlias(alias.c_str()); });
}

} // namespace

TEST(AliasSyntax, an_alias_needs_1_to_254_characters_and_must_not_begin_with_an_underscore) {
    EXPECT_EQ(verdict(std::u16string(254, u'a')), S_OK);
    EXPECT_EQ(verdict(std::u16string(255, u'a')), HW_E_INVALID_ALIAS);
    EXPECT_EQ(verdict(u""), HW_E_INVALID_ALIAS);
    EXPECT_EQ(verdict(u"_scope"), HW_E_INVALID_ALIAS);
    EXPECT_EQ(verdict(u"scope_1"), S_OK);
    EXPECT_EQ(verdict(u"-scope"), S_OK);
    EXPECT_EQ(verdict(u"9"), S_OK);
    EXPECT_THROW(validateAlias(nullptr), qvkelpsysapiexpert::tThrownHResult);
}

TEST(AliasSyntax, only_ascii_letters_digits_hyphen_and_underscore_are_allowed) {
    EXPECT_EQ(verdict(u"0123456789-ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz"), S_OK);
    for (const char16_t* alias : {u"my scope", u"scope.1", u"Sc\u00E9ne", u"A\xD83D\xDE00"}) {
        EXPECT_EQ(verdict(alias), HW_E_INVALID_ALIAS);
    }
    // Letters whose low byte is an allowed character must not pass as that character.
    EXPECT_EQ(verdict(u"\u0141BC"), HW_E_INVALID_ALIAS);
}

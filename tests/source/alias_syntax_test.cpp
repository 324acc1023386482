#include "hwsys/hwsys_errors.h"
#include "source/AliasStore.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using WideText = std::basic_string<WCHAR>;

WideText wide(const std::string& text) {
    return WideText(text.begin(), text.end());
}

// The HRESULT validateAlias throws, or S_OK when it accepts the alias.
HRESULT verdict(const WCHAR* alias) {
    try {
        validateAlias(alias);
        return S_OK;
    } catch (HRESULT result) {
        return result;
    }
}

HRESULT verdict(const WideText& alias) {
    return verdict(alias.c_str());
}

} // namespace

TEST(AliasSyntax, an_alias_of_254_characters_is_accepted_and_one_of_255_is_refused) {
    EXPECT_EQ(verdict(WideText(254, u'a')), S_OK);
    EXPECT_EQ(verdict(WideText(255, u'a')), HW_E_INVALID_ALIAS);
    EXPECT_EQ(verdict(WideText(4000, u'a')), HW_E_INVALID_ALIAS);
}

TEST(AliasSyntax, an_empty_or_missing_alias_is_refused) {
    EXPECT_EQ(verdict(WideText()), HW_E_INVALID_ALIAS);
    EXPECT_EQ(verdict(nullptr), HW_E_INVALID_ALIAS);
}

TEST(AliasSyntax, only_a_leading_underscore_is_refused) {
    EXPECT_EQ(verdict(wide("_scope")), HW_E_INVALID_ALIAS);
    EXPECT_EQ(verdict(wide("_")), HW_E_INVALID_ALIAS);
    EXPECT_EQ(verdict(wide("scope_1")), S_OK);
}

TEST(AliasSyntax, a_leading_hyphen_or_digit_is_allowed) {
    EXPECT_EQ(verdict(wide("-scope")), S_OK);
    EXPECT_EQ(verdict(wide("9scope")), S_OK);
    EXPECT_EQ(verdict(wide("-")), S_OK);
    EXPECT_EQ(verdict(wide("0123456789-ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz")), S_OK);
}

TEST(AliasSyntax, characters_outside_the_set_are_refused_wherever_they_stand) {
    for (const char* alias : {"my scope", "scope ", "scope.1", "scope/1", "a+b", "tab\there", "a:b"}) {
        EXPECT_EQ(verdict(wide(alias)), HW_E_INVALID_ALIAS) << alias;
    }
    EXPECT_EQ(verdict(u"Sc\u00E9ne"), HW_E_INVALID_ALIAS);
    // Letters whose low byte is an allowed ASCII character must not pass as that character.
    EXPECT_EQ(verdict(u"\u0141BC"), HW_E_INVALID_ALIAS);
    EXPECT_EQ(verdict(u"AB\uFF21"), HW_E_INVALID_ALIAS);
    EXPECT_EQ(verdict(u"A\xD83D\xDE00"), HW_E_INVALID_ALIAS);
}

TEST(AliasSyntax, a_refusal_is_thrown_as_an_hresult_value) {
    EXPECT_THROW(validateAlias(u"_x"), HRESULT);
}

#include "support/cJSONUtils.h"
#include "support/errorException.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::int32_t codeThrownBy(const std::function<void()>& action, std::string* payload = nullptr) {
    try {
        action();
    } catch (const qverr::Exception& error) {
        if (payload != nullptr) {
            *payload = error.what();
        }
        return error.code();
    }
    return 0;
}

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

} // namespace

TEST(JsonHelpers, malformed_text_throws_invalid_parameter_carrying_only_where_it_was_raised) {
    for (const std::string& text : {std::string(), std::string("  "), std::string("{\"a\" 1}"),
                                    std::string("[1,]"), std::string("nul"), nested(200000)}) {
        std::string payload;
        EXPECT_EQ(codeThrownBy([&] { cJSONUtils::parse(text.c_str()); }, &payload), -52005)
            << text.substr(0, 9);
        std::vector<std::string> names;
        const cJSONUtils::Tree root = cJSONUtils::parse(payload.c_str());
        for (const cJSON* member = root->child; member != nullptr; member = member->next) {
            names.push_back(member->string);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"file", "line", "component"}));
    }
}

TEST(JsonHelpers, members_match_ignoring_ascii_letter_case_only_and_the_first_match_wins) {
    const cJSONUtils::Tree root = cJSONUtils::parse(R"({"Alias": "first", "ALIAS": "second", "\u00c9": 1})");
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::getMember(root.get(), "aLiAs")), "first");
    EXPECT_EQ(cJSONUtils::findMember(root.get(), "\xC3\xA9"), nullptr);
    EXPECT_EQ(cJSONUtils::findMember(root.get(), "alia"), nullptr);
    EXPECT_EQ(cJSONUtils::findMember(cJSONUtils::parse(" {\"y\":1} {\"z\":2}").get(), "z"), nullptr);
    EXPECT_EQ(cJSONUtils::findMember(cJSONUtils::getMember(root.get(), "alias"), "alias"), nullptr);
}

TEST(JsonHelpers, a_missing_member_and_a_value_of_the_wrong_kind_throw_their_own_codes) {
    const cJSONUtils::Tree root = cJSONUtils::parse(R"({"s": "text", "n": 1, "a": []})");
    cJSON* text = cJSONUtils::getMember(root.get(), "s");
    EXPECT_EQ(codeThrownBy([&] { cJSONUtils::getMember(root.get(), "missing"); }), -52006);
    EXPECT_EQ(codeThrownBy([&] { cJSONUtils::getMember(text, "s"); }), -52004);
    EXPECT_EQ(codeThrownBy([&] { cJSONUtils::getString(cJSONUtils::getMember(root.get(), "n")); }), -52004);
    EXPECT_EQ(codeThrownBy([&] { cJSONUtils::requireObject(cJSONUtils::getMember(root.get(), "a")); }),
              -52004);
    EXPECT_EQ(codeThrownBy([&] { cJSONUtils::addString(cJSONUtils::getMember(root.get(), "a"), "k", "v"); }),
              -52004);
    EXPECT_EQ(cJSON_GetArraySize(cJSONUtils::getMember(root.get(), "a")), 0);
}

TEST(JsonHelpers, members_print_in_insertion_order_one_per_line_indented_with_tabs) {
    const cJSONUtils::Tree root = cJSONUtils::createObject();
    cJSONUtils::addString(root.get(), "a", "x\"y");
    cJSONUtils::addNumber(root.get(), "b", 4294967295u);
    cJSON* inner = cJSONUtils::addCopy(root.get(), "c", cJSONUtils::createObject().get());
    cJSONUtils::addBool(inner, "d", false);
    cJSONUtils::addString(root.get(), "a", "again");
    EXPECT_EQ(cJSONUtils::print(root.get()), "{\n\t\"a\":\t\"x\\\"y\",\n\t\"b\":\t4294967295,\n\t\"c\":\t{\n"
                                             "\t\t\"d\":\tfalse\n\t},\n\t\"a\":\t\"again\"\n}");
    cJSONUtils::deleteMember(root.get(), cJSONUtils::getMember(root.get(), "C"));
    EXPECT_EQ(cJSONUtils::print(root.get()),
              "{\n\t\"a\":\t\"x\\\"y\",\n\t\"b\":\t4294967295,\n\t\"a\":\t\"again\"\n}");
}

#include "support/cJSONUtils.h"
#include "support/error_exception.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// The qverr::Exception that `action` throws; fails the test when it throws none.
struct Thrown {
    std::int32_t code = 0;
    std::string payload;
};

Thrown thrownBy(const std::function<void()>& action) {
    try {
        action();
    } catch (const qverr::Exception& error) {
        return {error.code(), error.what() != nullptr ? error.what() : ""};
    }
    ADD_FAILURE() << "nothing was thrown";
    return {};
}

std::vector<std::string> memberNames(const std::string& payload) {
    const cJSONUtils::Tree root = cJSONUtils::parse(payload.c_str());
    std::vector<std::string> names;
    const cJSON* member = nullptr;
    cJSON_ArrayForEach(member, root.get()) {
        names.push_back(member->string);
    }
    return names;
}

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

} // namespace

TEST(JsonParse, text_that_is_not_json_throws_invalid_parameter_with_where_it_was_raised) {
    for (const char* text : {"", "  ", "{", "{\"a\" 1}", "[1,]", "nul", "\"open"}) {
        const Thrown thrown = thrownBy([&] { cJSONUtils::parse(text); });
        EXPECT_EQ(thrown.code, -52005) << text;
        EXPECT_EQ(memberNames(thrown.payload), (std::vector<std::string>{"file", "line", "component"}))
            << text;
    }
    const Thrown thrown = thrownBy([] { cJSONUtils::parse(""); });
    const cJSONUtils::Tree payload = cJSONUtils::parse(thrown.payload.c_str());
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::getMember(payload.get(), "component")),
              "qvkelpsysapiexpertu");
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::getMember(payload.get(), "file")), "support/cJSONUtils.cpp");
}

TEST(JsonParse, leading_blanks_are_skipped_and_text_after_the_first_value_is_ignored) {
    const cJSONUtils::Tree root = cJSONUtils::parse(" \r\n\t{\"a\": 1} {\"b\": 2} garbage");
    EXPECT_NE(cJSONUtils::findMember(root.get(), "a"), nullptr);
    EXPECT_EQ(cJSONUtils::findMember(root.get(), "b"), nullptr);
}

TEST(JsonParse, deeply_nested_input_is_refused_or_handled_without_crashing) {
    EXPECT_EQ(thrownBy([] { cJSONUtils::parse(nested(200000).c_str()); }).code, -52005);
    EXPECT_EQ(thrownBy([] { cJSONUtils::parse(("{\"a\":" + nested(5000) + "}").c_str()); }).code, -52005);

    const std::string deepest = "{\"devices\":{},\"x\":" + nested(998) + "}";
    const cJSONUtils::Tree root = cJSONUtils::parse(deepest.c_str());
    const std::string printed = cJSONUtils::print(root.get());
    EXPECT_NE(cJSONUtils::parse(printed.c_str()), nullptr);
}

TEST(JsonParse, a_large_document_parses) {
    std::string text = "{\"devices\":{";
    for (int i = 0; i < 20000; ++i) {
        text += (i ? ",\"" : "\"") + std::to_string(i) + "\":{\"alias\":\"" + std::string(200, 'x') + "\"}";
    }
    text += "}}";
    const cJSONUtils::Tree root = cJSONUtils::parse(text.c_str());
    EXPECT_EQ(cJSON_GetArraySize(cJSONUtils::getMember(root.get(), "devices")), 20000);
}

TEST(JsonMembers, members_are_found_ignoring_ascii_letter_case_and_the_first_match_wins) {
    const cJSONUtils::Tree root = cJSONUtils::parse(R"({"Alias": "first", "ALIAS": "second", "\u00c9": 1})");
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::getMember(root.get(), "alias")), "first");
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::findMember(root.get(), "aLiAs")), "first");
    // Only ASCII letters fold: the two-byte É does not match é.
    EXPECT_EQ(cJSONUtils::findMember(root.get(), "\xC3\xA9"), nullptr);
    EXPECT_EQ(cJSONUtils::findMember(root.get(), "alia"), nullptr);
    EXPECT_EQ(cJSONUtils::findMember(root.get(), "aliass"), nullptr);
}

TEST(JsonMembers, a_missing_member_or_a_value_of_the_wrong_kind_throws_its_own_code) {
    const cJSONUtils::Tree root = cJSONUtils::parse(R"({"s": "text", "n": 1, "o": {}, "a": []})");
    cJSON* text = cJSONUtils::getMember(root.get(), "s");
    EXPECT_EQ(thrownBy([&] { cJSONUtils::getMember(root.get(), "missing"); }).code, -52006);
    EXPECT_EQ(thrownBy([&] { cJSONUtils::getMember(text, "s"); }).code, -52004);
    EXPECT_EQ(thrownBy([&] { cJSONUtils::getMember(nullptr, "s"); }).code, -52004);
    EXPECT_EQ(thrownBy([&] { cJSONUtils::getString(cJSONUtils::getMember(root.get(), "n")); }).code, -52004);
    EXPECT_EQ(thrownBy([&] { cJSONUtils::requireObject(cJSONUtils::getMember(root.get(), "a")); }).code,
              -52004);
    EXPECT_EQ(thrownBy([&] { cJSONUtils::requireString(cJSONUtils::getMember(root.get(), "o")); }).code,
              -52004);
    EXPECT_EQ(cJSONUtils::findMember(text, "s"), nullptr);
    EXPECT_EQ(memberNames(thrownBy([&] { cJSONUtils::getMember(root.get(), "x"); }).payload),
              (std::vector<std::string>{"file", "line", "component"}));
}

TEST(JsonBuild, members_are_appended_in_order_and_printed_one_per_line_with_tabs) {
    const cJSONUtils::Tree root = cJSONUtils::createObject();
    cJSONUtils::addString(root.get(), "a", "x\"y");
    cJSONUtils::addNumber(root.get(), "b", 4294967295u);
    cJSONUtils::addBool(root.get(), "c", true);
    cJSON* inner = cJSONUtils::addCopy(root.get(), "d", cJSONUtils::createObject().get());
    cJSONUtils::addNumber(inner, "e", 0);
    cJSONUtils::addString(root.get(), "a", "second");
    EXPECT_EQ(
        cJSONUtils::print(root.get()),
        "{\n\t\"a\":\t\"x\\\"y\",\n\t\"b\":\t4294967295,\n\t\"c\":\ttrue,\n\t\"d\":\t{\n\t\t\"e\":\t0\n\t},\n"
        "\t\"a\":\t\"second\"\n}");
}

TEST(JsonBuild, created_values_hold_what_they_were_made_from) {
    EXPECT_EQ(cJSONUtils::createNumber(4294967295u)->valuedouble, 4294967295.0);
    EXPECT_TRUE(cJSON_IsTrue(cJSONUtils::createBool(true).get()));
    EXPECT_TRUE(cJSON_IsFalse(cJSONUtils::createBool(false).get()));
    EXPECT_EQ(cJSONUtils::print(cJSONUtils::createNumber(4294967295u).get()), "4294967295");
}

TEST(JsonBuild, a_copy_is_independent_of_its_source) {
    const cJSONUtils::Tree source = cJSONUtils::parse(R"({"k": {"deep": "v"}})");
    const cJSONUtils::Tree target = cJSONUtils::createObject();
    cJSON* copy = cJSONUtils::addCopy(target.get(), "copy", source.get());
    cJSON_Delete(cJSON_DetachItemFromObject(cJSONUtils::getMember(source.get(), "k"), "deep"));
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::getMember(cJSONUtils::getMember(copy, "k"), "deep")), "v");
}

TEST(JsonBuild, adding_to_something_that_is_not_an_object_links_nothing) {
    const cJSONUtils::Tree array = cJSONUtils::parse("[]");
    EXPECT_EQ(thrownBy([&] { cJSONUtils::addString(array.get(), "a", "b"); }).code, -52004);
    EXPECT_EQ(cJSON_GetArraySize(array.get()), 0);
}

TEST(JsonBuild, deleting_a_member_unlinks_only_that_member) {
    const cJSONUtils::Tree root = cJSONUtils::parse(R"({"a": 1, "b": {"c": 2}, "d": 3})");
    cJSONUtils::deleteMember(root.get(), cJSONUtils::getMember(root.get(), "B"));
    EXPECT_EQ(cJSONUtils::print(root.get()), "{\n\t\"a\":\t1,\n\t\"d\":\t3\n}");
}

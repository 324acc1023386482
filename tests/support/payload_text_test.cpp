#include "support/payloadText.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using qverr::PayloadCursor;

namespace {

// A payload buffer without a status behind it: cursors on it cannot grow.
struct Buffer {
    std::vector<char> bytes;
    Buffer(const char* text, std::uint32_t capacity) : bytes(capacity, '?') {
        EXPECT_TRUE(qverr::copyPayloadText(bytes.data(), capacity, text));
    }
    char* end() { return qverr::locateEnd(bytes.data()); }
    PayloadCursor cursor() { return PayloadCursor(end(), nullptr, nullptr); }
    std::string text() const { return bytes.data(); }
    std::string all() const { return std::string(bytes.begin(), bytes.end()); }
};

} // namespace

TEST(PayloadText, a_copied_text_is_followed_by_zero_fill_and_the_sentinel_or_refused) {
    std::vector<char> bytes(6, '?');
    EXPECT_FALSE(qverr::copyPayloadText(bytes.data(), 6, "[123]"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "??????");
    EXPECT_TRUE(qverr::copyPayloadText(bytes.data(), 6, "[12]"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("[12]\0J", 6));
    EXPECT_TRUE(qverr::copyPayloadText(bytes.data(), 6, "{}"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("{}\0\0\0J", 6));
}

TEST(PayloadText, elements_are_separated_by_exactly_one_comma_at_either_end) {
    Buffer object("{}", 64);
    object.cursor().addSigned("a", 1).addUnsigned("b", 2);
    EXPECT_EQ(object.text(), R"({"a":1,"b":2})");

    Buffer blank("{ \n}", 64);
    blank.cursor().addString("a", "x");
    EXPECT_EQ(blank.text(), "{ \n\"a\":\"x\"}");

    Buffer array("[ 1]", 64);
    char* after = qverr::insertElement(array.bytes.data(), {nullptr, "0", false});
    EXPECT_EQ(array.text(), "[0, 1]");
    EXPECT_EQ(after, array.bytes.data() + 2) << "just after the new element";
    Buffer empty("[]", 64);
    qverr::insertElement(empty.bytes.data(), {nullptr, "0", false});
    EXPECT_EQ(empty.text(), "[0]");
}

TEST(PayloadText, an_element_without_room_leaves_every_byte_unchanged) {
    Buffer tight("{}", 8);
    const std::string before = tight.all();
    EXPECT_EQ(qverr::insertElement(tight.end(), {"k", "1", false}), nullptr);
    EXPECT_EQ(tight.all(), before);

    Buffer exact("{}", 9);
    char* after = qverr::insertElement(exact.end(), {"k", "1", false});
    EXPECT_EQ(exact.all(), std::string("{\"k\":1}\0J", 9));
    EXPECT_EQ(after, exact.bytes.data() + 6);
}

TEST(PayloadText, control_bytes_quotes_and_backslashes_are_escaped_and_high_bytes_kept) {
    Buffer buffer("{}", 256);
    buffer.cursor().addString("k\n\"", "\\\x01\xE9\x7F\b\t\f\r\x1F/");
    EXPECT_EQ(buffer.text(), "{\"k\\n\\\"\":\"\\\\\\u0001\xE9\\u007f\\b\\t\\f\\r\\u001f/\"}");
    EXPECT_NE(buffer.end(), nullptr);
}

TEST(PayloadText, a_nested_object_takes_the_members_appended_until_it_is_closed) {
    Buffer buffer("{}", 256);
    buffer.cursor()
        .beginObject("outer")
        .addSigned("n", -5)
        .addUnsigned("u", 4294967295u)
        .endObject()
        .addSigned("min", INT32_MIN)
        .endObject() // nothing to close: stays in the top level
        .addString("s", nullptr);
    EXPECT_EQ(buffer.text(), R"({"outer":{"n":-5,"u":4294967295},"min":-2147483648,"s":""})");
}

TEST(PayloadText, locate_end_finds_the_closing_bracket_of_valid_documents) {
    const std::string valid[] = {"{}",
                                 " [ ] ",
                                 R"({"a":[1,-2.5e+3,0,true,false,null,"\u00e9\n\"\\\/"],"b":{}})",
                                 "[{\"\" : 0.0E-0}]\r\n\t",
                                 "[\"\xE9\x80\"]",
                                 std::string(256, '[') + std::string(256, ']')};
    for (const std::string& text : valid) {
        EXPECT_EQ(qverr::locateEnd(text.c_str()), text.c_str() + text.find_last_of("}]")) << text;
    }
}

TEST(PayloadText, locate_end_refuses_invalid_documents) {
    const std::string invalid[] = {"",
                                   "  ",
                                   "1",
                                   "\"s\"",
                                   "{",
                                   "[1,]",
                                   R"({"a":1,})",
                                   R"({"a" 1})",
                                   R"({"a":1 "b":2})",
                                   R"({"a":"x})",
                                   R"(["\x"])",
                                   R"(["\u12G4"])",
                                   R"(["\u12"])",
                                   "[01]",
                                   "[1.]",
                                   "[-]",
                                   "[.5]",
                                   "[1e]",
                                   "[+1]",
                                   "[1e+]",
                                   "[\"a\tb\"]",
                                   "[\"\x7F\"]",
                                   "{} x",
                                   "{}{}",
                                   "{]",
                                   "[}",
                                   "{1:2}",
                                   "[tru]",
                                   "[,1]",
                                   std::string(257, '[') + std::string(257, ']')};
    for (const std::string& text : invalid) {
        EXPECT_EQ(qverr::locateEnd(text.c_str()), nullptr) << text;
    }
}

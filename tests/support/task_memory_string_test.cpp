// Strings in COM task memory and the conversion of narrow text to wide text.
#include "platform/sim/runtime/memory_hooks.h"
#include "support/AnsiToWide.h"
#include "support/BrixException.h"
#include "support/OSException.h"
#include "support/StringBase.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qv::brix::StringBase;

std::u16string text(const StringBase<WCHAR>& s) {
    return std::u16string(s.c_str(), s.length());
}

class TaskMemoryString : public testing::Test {
protected:
    void SetUp() override { liveBefore = winsimLiveTaskMemoryBlocks(); }
    void TearDown() override {
        winsimClearTaskMemoryFaults();
        EXPECT_EQ(winsimLiveTaskMemoryBlocks(), liveBefore) << "task memory leaked";
    }

private:
    long long liveBefore = 0;
};

TEST_F(TaskMemoryString, an_empty_or_null_text_gives_a_buffer_holding_only_the_terminator) {
    for (const char* empty : {static_cast<const char*>(nullptr), ""}) {
        const long long before = winsimLiveTaskMemoryBlocks();
        const StringBase<WCHAR> wide(empty);
        const StringBase<char> narrow(empty);
        EXPECT_EQ(winsimLiveTaskMemoryBlocks(), before + 2);
        EXPECT_EQ(wide.length(), 0u);
        EXPECT_EQ(wide.capacity(), 0u);
        EXPECT_EQ(wide.c_str()[0], u'\0');
        EXPECT_STREQ(narrow.c_str(), "");
    }
}

TEST_F(TaskMemoryString, narrow_text_widens_with_the_ansi_code_page_and_copies_are_independent) {
    const StringBase<WCHAR> wide("PCI\\VEN_ABCD caf\xE9 \x80");
    EXPECT_EQ(text(wide), u"PCI\\VEN_ABCD caf\u00E9 \u20AC");
    EXPECT_EQ(wide.c_str()[wide.length()], u'\0');
    const StringBase<WCHAR> copy(wide);
    EXPECT_NE(copy.c_str(), wide.c_str());
    EXPECT_EQ(text(copy), text(wide));
}

TEST_F(TaskMemoryString, assignment_grows_and_shrinks_the_buffer_and_accepts_its_own_text) {
    StringBase<char> s("abcdefgh");
    const std::string longer(40, 'x');
    s.assign(longer.data(), longer.data() + longer.size());
    EXPECT_EQ(s.c_str(), longer);
    EXPECT_EQ(s.capacity(), 40u);

    const char shortText[] = "tiny";
    s.assign(shortText, shortText + 4);
    EXPECT_STREQ(s.c_str(), "tiny");
    EXPECT_EQ(s.capacity(), 4u);

    const char medium[] = "tin";
    s.assign(medium, medium + 3);
    EXPECT_STREQ(s.c_str(), "tin");
    EXPECT_EQ(s.capacity(), 4u) << "a small shrink keeps the buffer";

    // Parts of its own text, which a reallocation must not leave dangling.
    const char digits[] = "0123456789abcdefghij";
    s.assign(digits, digits + 20);
    s.assign(s.c_str() + 17, s.c_str() + 20);
    EXPECT_STREQ(s.c_str(), "hij");
    s.assign(s.c_str(), s.c_str() + 2);
    EXPECT_STREQ(s.c_str(), "hi");
}

TEST_F(TaskMemoryString, running_out_of_task_memory_throws_bad_allocation_and_keeps_the_old_text) {
    winsimFailTaskMemory(0, 1);
    try {
        const StringBase<WCHAR> never("abc");
        ADD_FAILURE() << "no exception";
    } catch (const std::bad_alloc& error) {
        EXPECT_STREQ(error.what(), "bad allocation");
    }

    StringBase<char> s("short");
    const std::string longer(64, 'y');
    winsimFailTaskMemory(0, 1);
    EXPECT_THROW(s.assign(longer.data(), longer.data() + longer.size()), std::bad_alloc);
    EXPECT_STREQ(s.c_str(), "short");
}

TEST(AnsiToWide, an_output_too_small_throws_the_systems_error) {
    const char narrow[] = "abc";
    WCHAR output[2];
    try {
        qv::brix::convertToWide(narrow, narrow + 3, "", output, output + 2);
        ADD_FAILURE() << "no exception";
    } catch (const qv::brix::osdep::WinError& error) {
        EXPECT_EQ(error.getOSError(), ERROR_INSUFFICIENT_BUFFER);
    }
}

TEST(CodePageNames, only_three_exact_names_are_known) {
    EXPECT_EQ(qv::brix::_GetCodePageID(""), 0u);
    EXPECT_EQ(qv::brix::_GetCodePageID("US-ASCII"), 20127u);
    EXPECT_EQ(qv::brix::_GetCodePageID("cp932"), 932u);
    for (const char* unknown : {"us-ascii", "CP932", "cp1252", "UTF-8", " cp932"}) {
        EXPECT_THROW(qv::brix::_GetCodePageID(unknown), qv::brix::exception::InvalidLocale) << unknown;
    }
}

TEST(AnsiToWide, converts_by_the_named_code_page) {
    const char japanese[] = "\x93\xFA\x96\x7B"
                            "A"; // two double-byte characters and a letter
    EXPECT_EQ(qv::brix::wideLength(japanese, japanese + 5, "cp932"), 3u);
    WCHAR output[3];
    const auto converted = qv::brix::convertToWide(japanese, japanese + 5, "cp932", output, output + 3);
    EXPECT_EQ(converted.written, 3u);
    EXPECT_EQ(converted.end, output + 3);
    EXPECT_EQ(std::u16string(output, 3), u"\u65E5\u672CA");

    const char accented[] = "\xE9t\xE9";
    WCHAR ascii[3];
    qv::brix::convertToWide(accented, accented + 3, "US-ASCII", ascii, ascii + 3);
    EXPECT_EQ(std::u16string(ascii, 3), u"iti");
    EXPECT_EQ(qv::brix::wideLength(accented, accented, "cp932"), 0u) << "an empty range";
}

} // namespace

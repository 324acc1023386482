#include "support/qvtrace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace qvkelpsysapiexpert::nQVOSAL000;

namespace {

std::vector<std::string> received;

void recordMessage(const char* message) {
    received.emplace_back(message);
}

// Catches what the destination hands over instead of the debugger output.
class Trace : public ::testing::Test {
protected:
    void SetUp() override {
        received.clear();
        saved = traceOutputSink;
        traceOutputSink = recordMessage;
    }
    void TearDown() override { traceOutputSink = saved; }

    tConsoleTraceDestination destination;

private:
    tTraceOutputSink saved = nullptr;
};

} // namespace

TEST_F(Trace, a_counted_write_stops_at_the_count_or_at_the_end_of_the_text) {
    destination.writeCounted("abcdef", 3);
    destination.writeCounted("abc", 10);
    destination.writeCounted("abc", 0);
    const char unterminated[4] = {'w', 'x', 'y', 'z'};
    destination.writeCounted(unterminated, 2);
    destination.writeCounted("%d %s", 5);
    EXPECT_EQ(received, (std::vector<std::string>{"abc", "abc", "", "wx", "%d %s"}));
}

TEST_F(Trace, a_message_longer_than_the_buffer_arrives_cut_to_511_characters) {
    const std::string longText(600, 'x');
    destination.writeString(longText.c_str());
    destination.writeCounted(longText.c_str(), 0xFFFFFFFFu);
    destination.writeString(std::string(511, 'y').c_str());
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0], std::string(511, 'x'));
    EXPECT_EQ(received[1], std::string(511, 'x'));
    EXPECT_EQ(received[2], std::string(511, 'y'));
}

TEST_F(Trace, format_characters_in_a_text_are_written_literally_and_a_null_text_writes_nothing) {
    destination.writeString("100% %s %n");
    destination.writeString(nullptr);
    destination.writeCounted(nullptr, 4);
    EXPECT_EQ(received, (std::vector<std::string>{"100% %s %n"}));
}

TEST_F(Trace, the_command_line_option_is_always_terminated_and_reports_its_full_size) {
    char small[10];
    std::memset(small, '#', sizeof small);
    std::uint32_t required = 0;
    EXPECT_EQ(destination.getCommandLineOption(small, sizeof small, &required), small);
    EXPECT_STREQ(small, " --destin");
    EXPECT_EQ(required, 20u);

    char exact[20];
    EXPECT_STREQ(destination.getCommandLineOption(exact, sizeof exact, nullptr), " --destination osal");

    // Room for all but the NUL: the last character gives way to the terminator.
    char tight[19];
    EXPECT_STREQ(destination.getCommandLineOption(tight, sizeof tight, nullptr), " --destination osa");

    // A roomy buffer is terminated at its last byte too; what lies between is left alone.
    char roomy[32];
    std::memset(roomy, '#', sizeof roomy);
    destination.getCommandLineOption(roomy, sizeof roomy, nullptr);
    EXPECT_STREQ(roomy, " --destination osal");
    EXPECT_EQ(roomy[20], '#');
    EXPECT_EQ(roomy[31], '\0');
}

TEST_F(Trace, no_room_or_no_buffer_copies_nothing_but_still_reports_the_size) {
    char guard[4] = {'#', '#', '#', '#'};
    std::uint32_t required = 0;
    EXPECT_EQ(destination.getCommandLineOption(guard, 0, &required), guard);
    EXPECT_EQ(required, 20u);
    EXPECT_EQ(destination.getCommandLineOption(guard, -5, nullptr), guard);
    EXPECT_EQ(std::string(guard, 4), "####");
    required = 0;
    EXPECT_EQ(destination.getCommandLineOption(nullptr, 64, &required), nullptr);
    EXPECT_EQ(required, 20u);
}

TEST_F(Trace, the_module_trace_object_is_bound_to_its_debugger_output_destination_from_load) {
    ASSERT_EQ(moduleTrace.destination, &moduleTraceDestination);
    EXPECT_FALSE(moduleTrace.criticalSectionInitialised);
    EXPECT_TRUE(moduleTraceDestination.isAvailable());
    EXPECT_STREQ(moduleTraceDestination.getName(), "qvsdbg_printf");
    moduleTrace.destination->writeString("through the module's object");
    EXPECT_EQ(received, (std::vector<std::string>{"through the module's object"}));
}

#include "alias_file_fixture.h"

#include <gtest/gtest.h>

namespace {

class AliasStoreRecoveryTest : public AliasFileTest {
protected:
    std::filesystem::path recoveryFile() const { return aliasFile().string() + ".recovery"; }
    // The common journal is kept, empty, once its rewrite is done.
    bool journalPending() const {
        std::error_code ignored;
        const std::uintmax_t size = std::filesystem::file_size(recoveryFile(), ignored);
        return !ignored && size > 0;
    }
};

const std::string kWhole = R"({"devices": {"SIM:1": {"alias": "kept"}}})";

} // namespace

// A reader holds only the shared lock and may lack write access, so it reads the journal and leaves
// the restoring to the next update.
TEST_F(AliasStoreRecoveryTest, a_reader_of_a_torn_file_reads_the_journal_and_changes_nothing) {
    writeAliasFile(kWhole.substr(0, 25));
    std::ofstream(recoveryFile(), std::ios::binary) << aliases::journalText(R"({"devices": {}})", kWhole);
    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_EQ(store.readAlias("sim:1"), "kept");
    store.close();
    EXPECT_EQ(readAliasFile(), kWhole.substr(0, 25));
    EXPECT_TRUE(journalPending());

    ASSERT_TRUE(store.openForUpdate(&status_));
    EXPECT_EQ(readAliasFile(), kWhole);
    EXPECT_FALSE(journalPending());
}

namespace {

const std::string kPadding(240, 'x');

// A thousand records of equal length; the first is the one a rename moves to the end.
std::string equalRecords() {
    std::string text = R"({"devices": {)";
    for (int i = 0; i < 1000; ++i) {
        const std::string number = std::to_string(10000 + i).substr(1);
        text += (i == 0 ? R"(")" : R"(, ")") + ("SIM:" + number) + R"(": {"alias": "r)" + number +
                R"(", "padding": ")" + kPadding + R"("})";
    }
    return text + "}}";
}

} // namespace

// A rewrite cut short after 256 KiB of equal-length records leaves a text that parses, with the
// moved record gone and another twice: only the journal knows it is torn.
TEST_F(AliasStoreRecoveryTest, a_torn_file_that_still_parses_takes_the_journals_new_text) {
    writeAliasFile(equalRecords());
    AliasStore store;
    ASSERT_TRUE(store.openForUpdate(&status_));
    ASSERT_TRUE(store.writeBack(&status_)); // in the printer's own layout
    const std::string old = readAliasFile();
    ASSERT_TRUE(store.openForUpdate(&status_));
    const cJSONUtils::Tree moved = recordWithAlias("moved");
    cJSONUtils::addString(moved.get(), "padding", kPadding.c_str());
    store.replaceDeviceRecord("SIM:0000", moved.get());
    ASSERT_TRUE(store.writeBack(&status_));
    const std::string next = readAliasFile();
    ASSERT_GT(old.size(), 262144u);

    const std::string torn = next.substr(0, 262144) + old.substr(262144);
    ASSERT_NO_THROW(cJSONUtils::parseDocument(torn.data(), torn.size()));
    writeAliasFile(torn);
    std::ofstream(recoveryFile(), std::ios::binary) << aliases::journalText(old, next);
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_EQ(store.readAlias("SIM:0000"), "moved");
    EXPECT_EQ(cJSON_GetArraySize(store.devices()), 1000);
    store.close();
    ASSERT_TRUE(store.openForUpdate(&status_));
    EXPECT_EQ(readAliasFile(), next);
    EXPECT_FALSE(journalPending());
}

// A journal is used only beside a state of the rewrite it names: a leftover neither reverts the
// file a later writer changed nor blocks that writer; a journal cut short is a write never begun;
// a document alone under the name is no journal.
TEST_F(AliasStoreRecoveryTest, a_leftover_or_torn_journal_changes_nothing) {
    const std::string before = R"({"devices": {"SIM:1": {"alias": "before"}}})";
    const std::string after = R"({"devices": {"SIM:1": {"alias": "after"}}})";
    const std::string later = R"({"devices": {"SIM:1": {"alias": "later"}}})";
    const std::string journal = aliases::journalText(before, after);
    const struct {
        std::string file, copy, alias;
    } cases[] = {{later, journal, "later"},
                 {before, journal.substr(0, journal.size() - 1), "before"},
                 {before, after, "before"}};
    for (const auto& c : cases) {
        writeAliasFile(c.file);
        std::ofstream(recoveryFile(), std::ios::binary | std::ios::trunc) << c.copy;
        AliasStore store;
        ASSERT_TRUE(store.openForUpdate(&status_));
        EXPECT_EQ(readAliasFile(), c.file);
        const cJSONUtils::Tree record = recordWithAlias("new");
        store.replaceDeviceRecord("SIM:2", record.get());
        ASSERT_TRUE(store.writeBack(&status_));
        EXPECT_EQ(store.readAlias("SIM:1"), c.alias);
        EXPECT_FALSE(journalPending());
    }
}

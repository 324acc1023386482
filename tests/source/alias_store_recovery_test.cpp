#include "alias_file_fixture.h"

#include <gtest/gtest.h>

namespace {

class AliasStoreRecoveryTest : public AliasFileTest {
protected:
    std::filesystem::path recoveryFile() const { return aliasFile().string() + ".recovery"; }
};

const std::string kWhole = R"({"devices": {"SIM:1": {"alias": "kept"}}})";

} // namespace

// A reader holds only the shared lock and may lack write access, so it reads the copy and leaves
// the restoring to the next update.
TEST_F(AliasStoreRecoveryTest, a_reader_of_a_torn_file_reads_the_recovery_copy_and_changes_nothing) {
    writeAliasFile(kWhole.substr(0, 25));
    std::ofstream(recoveryFile(), std::ios::binary) << kWhole;
    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_EQ(store.readAlias("sim:1"), "kept");
    store.close();
    EXPECT_EQ(readAliasFile(), kWhole.substr(0, 25));
    EXPECT_TRUE(std::filesystem::exists(recoveryFile()));

    ASSERT_TRUE(store.openForUpdate(&status_));
    EXPECT_EQ(readAliasFile(), kWhole);
    EXPECT_FALSE(std::filesystem::exists(recoveryFile()));
}

TEST_F(AliasStoreRecoveryTest, a_stale_copy_beside_a_whole_file_is_ignored) {
    writeAliasFile(kWhole);
    std::ofstream(recoveryFile(), std::ios::binary) << R"({"devices": {"SIM:1": {"alias": "stale"}}})";
    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_EQ(store.readAlias("SIM:1"), "kept");
}

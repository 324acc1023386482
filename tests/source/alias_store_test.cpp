#include "alias_file_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kScope = "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:00";
const std::string kMeter = "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01";

// The scope's key is in lower case, as another tool might have written it.
const char* const kStoreText = R"({
  "version": 2, "owner": {"tool": "setup", "list": [1, 2.5, "x", null]},
  "devices": {
    "pci:ven_abcd&dev_1234&subsys_abcd5678&rev_01/0000:00:e0:00": {"alias": "Scope", "vendor_id": 43981},
    "SIM:1": {"alias": "Sim1", "simulated": true, "extra": {"deep": [true]}},
    "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01": {"alias": "a-rather-long-alias-for-the-meter"}
  }
})";

class AliasStoreTest : public AliasFileTest {
protected:
    void rename(const std::string& token, const char* alias) {
        AliasStore store;
        ASSERT_TRUE(store.openForUpdate(&status_));
        store.replaceDeviceRecord(token, recordWithAlias(alias).get());
        ASSERT_TRUE(store.writeBack(&status_));
    }
};

} // namespace

TEST_F(AliasStoreTest, the_file_lies_in_the_makers_folder_under_common_application_data) {
    EXPECT_EQ(getAliasesFilePath(), "C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json");
}

TEST_F(AliasStoreTest, keys_match_the_token_in_any_letter_case_but_aliases_match_byte_for_byte) {
    writeAliasFile(kStoreText);
    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_EQ(store.readAlias(kScope), "Scope");
    EXPECT_EQ(store.readAlias("PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:02"), std::nullopt);
    EXPECT_TRUE(store.isAliasInUse("Scope"));
    EXPECT_TRUE(store.isAliasInUse("Sim1"));
    EXPECT_FALSE(store.isAliasInUse("scope"));
    EXPECT_FALSE(store.isAliasInUse("Scop"));
    EXPECT_FALSE(aliasFileIsUnlocked());
    store.close();
    EXPECT_TRUE(aliasFileIsUnlocked());
}

TEST_F(AliasStoreTest, a_rename_carries_everything_else_over_and_moves_the_record_to_the_end) {
    writeAliasFile(kStoreText);
    rename(kScope, "Scope");

    const cJSONUtils::Tree expected = cJSONUtils::parse(kStoreText);
    cJSON* devices = cJSONUtils::getMember(expected.get(), "devices");
    cJSONUtils::deleteMember(devices, cJSONUtils::getMember(devices, kScope.c_str()));
    cJSONUtils::addCopy(devices, kScope.c_str(), recordWithAlias("Scope").get());
    EXPECT_EQ(readAliasFile(), cJSONUtils::print(expected.get()));
}

TEST_F(AliasStoreTest, after_a_rename_to_a_shorter_alias_the_file_holds_exactly_the_new_text) {
    const cJSONUtils::Tree expected = cJSONUtils::parse(kStoreText);
    writeAliasFile(cJSONUtils::print(expected.get()));
    rename(kMeter, "M");

    cJSON* devices = cJSONUtils::getMember(expected.get(), "devices");
    cJSONUtils::deleteMember(devices, cJSONUtils::getMember(devices, kMeter.c_str()));
    cJSONUtils::addCopy(devices, kMeter.c_str(), recordWithAlias("M").get());
    EXPECT_EQ(readAliasFile(), cJSONUtils::print(expected.get()));
}

TEST_F(AliasStoreTest, readers_share_the_file_and_a_writer_excludes_them_until_it_closes) {
    writeAliasFile(R"({"devices": {}})");
    {
        AliasStore first, second;
        ASSERT_TRUE(first.openForRead(&status_));
        ASSERT_TRUE(second.openForRead(&status_));
    }
    AliasStore writer;
    ASSERT_TRUE(writer.openForUpdate(&status_));
    EXPECT_FALSE(aliasFileIsUnlocked());
    writer.close();
    EXPECT_TRUE(aliasFileIsUnlocked());
    EXPECT_THROW(writer.isAliasInUse("x"), std::logic_error);
}

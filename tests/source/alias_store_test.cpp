#include "alias_file_fixture.h"

#include "source/AliasStore.h"
#include "support/cJSONUtils.h"
#include "support/status.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kScope = "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:00";
const std::string kMeter = "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01";
const std::string kNewBoard = "PCI:VEN_ABCD&DEV_4321&SUBSYS_ABCD5678&REV_02/0000:03:00:00";

// The scope's key is stored in lower case, as another tool might have written it.
const char* const kStoreText = R"(  {
  "version": 2,
  "owner": {"tool": "setup", "list": [1, 2.5, "x", null]},
  "devices": {
    "pci:ven_abcd&dev_1234&subsys_abcd5678&rev_01/0000:00:e0:00":
        {"alias": "Scope", "simulated": false, "vendor_id": 43981},
    "SIM:1": {"alias": "Sim1", "simulated": true, "model_name": "virtual", "extra": {"deep": [true]}},
    "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01": {"alias": "a-rather-long-alias-for-the-meter"}
  }
} trailing text is ignored)";

cJSONUtils::Tree aliasOnly(const char* alias) {
    cJSONUtils::Tree record = cJSONUtils::createObject();
    cJSONUtils::addString(record.get(), "alias", alias);
    return record;
}

cJSONUtils::Tree recordWithAlias(const char* alias) {
    cJSONUtils::Tree record = cJSONUtils::createObject();
    cJSONUtils::addString(record.get(), "alias", alias);
    cJSONUtils::addBool(record.get(), "simulated", false);
    cJSONUtils::addNumber(record.get(), "vendor_id", 0xABCD);
    return record;
}

std::vector<std::string> deviceKeys(const cJSON* root) {
    std::vector<std::string> keys;
    const cJSON* record = nullptr;
    cJSON_ArrayForEach(record, cJSON_GetObjectItemCaseSensitive(root, "devices")) {
        keys.push_back(record->string);
    }
    return keys;
}

class AliasStoreTest : public AliasFileTest {
protected:
    void SetUp() override {
        AliasFileTest::SetUp();
        writeAliasFile(kStoreText);
    }

    void rename(const std::string& token, const cJSONUtils::Tree& record) {
        AliasStore store;
        ASSERT_TRUE(store.openForUpdate(&status_));
        store.replaceDeviceRecord(token, record.get());
        ASSERT_TRUE(store.writeBack(&status_));
    }

    nQVOSALS100::tStatus status_;
};

} // namespace

TEST_F(AliasStoreTest, the_file_lies_in_the_makers_folder_under_common_application_data) {
    EXPECT_EQ(getAliasesFilePath(), "C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json");
    machine_.commonAppData = u"D:\\Shared Data\\";
    install();
    EXPECT_EQ(getAliasesFilePath(), "D:\\Shared Data\\Quorvel\\QV-KELP\\aliases.json");
}

TEST_F(AliasStoreTest, a_record_is_found_by_its_token_whatever_the_letter_case_of_its_key) {
    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_EQ(store.readAlias(kScope), "Scope");
    EXPECT_EQ(store.readAlias(kMeter), "a-rather-long-alias-for-the-meter");
    EXPECT_EQ(store.readAlias(kNewBoard), std::nullopt);
    EXPECT_EQ(store.findDeviceRecord(kNewBoard), nullptr);
    EXPECT_EQ(status_.code, 0);
}

TEST_F(AliasStoreTest, an_alias_is_in_use_only_when_it_matches_byte_for_byte) {
    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_TRUE(store.isAliasInUse("Scope"));
    EXPECT_FALSE(store.isAliasInUse("scope"));
    EXPECT_FALSE(store.isAliasInUse("Scop"));
    EXPECT_TRUE(store.isAliasInUse("Sim1"));
    EXPECT_FALSE(store.isAliasInUse("Nothing"));
}

TEST_F(AliasStoreTest, a_board_no_longer_conflicts_with_its_own_alias_once_its_record_is_removed) {
    AliasStore store;
    ASSERT_TRUE(store.openForUpdate(&status_));
    EXPECT_TRUE(store.removeDeviceRecord(kScope));
    EXPECT_FALSE(store.removeDeviceRecord(kScope));
    EXPECT_FALSE(store.isAliasInUse("Scope"));
}

TEST_F(AliasStoreTest, a_rewrite_carries_over_unknown_members_and_simulated_records) {
    const cJSONUtils::Tree before = cJSONUtils::parse(kStoreText);
    rename(kMeter, recordWithAlias("Meter"));

    const std::string text = readAliasFile();
    const cJSONUtils::Tree after = cJSONUtils::parse(text.c_str());
    for (const char* member : {"version", "owner"}) {
        EXPECT_TRUE(cJSON_Compare(cJSON_GetObjectItem(before.get(), member),
                                  cJSON_GetObjectItem(after.get(), member), true))
            << member;
    }
    const cJSON* devicesBefore = cJSON_GetObjectItem(before.get(), "devices");
    const cJSON* devicesAfter = cJSON_GetObjectItem(after.get(), "devices");
    EXPECT_TRUE(cJSON_Compare(cJSON_GetObjectItem(devicesBefore, "SIM:1"),
                              cJSON_GetObjectItem(devicesAfter, "SIM:1"), true));
    EXPECT_TRUE(cJSON_Compare(cJSON_GetObjectItem(devicesBefore, kScope.c_str()),
                              cJSON_GetObjectItem(devicesAfter, kScope.c_str()), true));
    EXPECT_EQ(deviceKeys(after.get()),
              (std::vector<std::string>{"pci:ven_abcd&dev_1234&subsys_abcd5678&rev_01/0000:00:e0:00", "SIM:1",
                                        kMeter}));
}

TEST_F(AliasStoreTest, after_a_rename_to_a_shorter_alias_the_file_holds_exactly_the_new_text) {
    const cJSONUtils::Tree expected = cJSONUtils::parse(kStoreText);
    writeAliasFile(cJSONUtils::print(expected.get()));
    const std::size_t sizeBefore = readAliasFile().size();
    rename(kMeter, aliasOnly("M"));

    cJSON* devices = cJSON_GetObjectItem(expected.get(), "devices");
    cJSON_DeleteItemFromObject(devices, kMeter.c_str());
    cJSONUtils::addCopy(devices, kMeter.c_str(), aliasOnly("M").get());
    const std::string text = readAliasFile();
    EXPECT_EQ(text, cJSONUtils::print(expected.get()));
    EXPECT_LT(text.size(), sizeBefore);
}

TEST_F(AliasStoreTest, replacing_a_record_moves_it_to_the_end_under_the_tokens_spelling) {
    rename(kScope, recordWithAlias("Scope"));

    AliasStore store;
    ASSERT_TRUE(store.openForRead(&status_));
    EXPECT_EQ(store.readAlias(kScope), "Scope");
    const cJSONUtils::Tree after = cJSONUtils::parse(readAliasFile().c_str());
    EXPECT_EQ(deviceKeys(after.get()), (std::vector<std::string>{"SIM:1", kMeter, kScope}));
}

TEST_F(AliasStoreTest, a_board_without_a_record_gets_one_appended_with_the_given_fields) {
    rename(kNewBoard, recordWithAlias("Fresh"));

    const cJSONUtils::Tree after = cJSONUtils::parse(readAliasFile().c_str());
    EXPECT_EQ(deviceKeys(after.get()).back(), kNewBoard);
    EXPECT_TRUE(
        cJSON_Compare(cJSON_GetObjectItem(cJSON_GetObjectItem(after.get(), "devices"), kNewBoard.c_str()),
                      recordWithAlias("Fresh").get(), true));
    EXPECT_EQ(deviceKeys(after.get()).size(), 4u);
}

TEST_F(AliasStoreTest, the_file_is_written_in_the_formatted_layout) {
    writeAliasFile(R"({"devices":{}})");
    rename(kNewBoard, recordWithAlias("Fresh"));
    EXPECT_EQ(readAliasFile(), "{\n\t\"devices\":\t{\n\t\t\"" + kNewBoard +
                                   "\":\t{\n\t\t\t\"alias\":\t\"Fresh\",\n\t\t\t\"simulated\":\tfalse,\n"
                                   "\t\t\t\"vendor_id\":\t43981\n\t\t}\n\t}\n}");
}

TEST_F(AliasStoreTest, two_writes_through_one_store_each_leave_their_full_text) {
    AliasStore store;
    ASSERT_TRUE(store.openForUpdate(&status_));
    store.replaceDeviceRecord(kMeter, recordWithAlias("First-a-long-one").get());
    ASSERT_TRUE(store.writeBack(&status_));
    store.replaceDeviceRecord(kMeter, recordWithAlias("2").get());
    ASSERT_TRUE(store.writeBack(&status_));
    store.close();

    AliasStore reader;
    ASSERT_TRUE(reader.openForRead(&status_));
    EXPECT_EQ(reader.readAlias(kMeter), "2");
    EXPECT_EQ(cJSONUtils::print(cJSONUtils::parse(readAliasFile().c_str()).get()), readAliasFile());
}

TEST_F(AliasStoreTest, readers_share_the_file_and_the_lock_lasts_until_the_store_closes) {
    {
        AliasStore first;
        AliasStore second;
        ASSERT_TRUE(first.openForRead(&status_));
        ASSERT_TRUE(second.openForRead(&status_));
        EXPECT_FALSE(aliasFileIsUnlocked());
        first.close();
        EXPECT_FALSE(aliasFileIsUnlocked());
    }
    EXPECT_TRUE(aliasFileIsUnlocked());

    AliasStore writer;
    ASSERT_TRUE(writer.openForUpdate(&status_));
    EXPECT_FALSE(aliasFileIsUnlocked());
    writer.close();
    EXPECT_TRUE(aliasFileIsUnlocked());
}

TEST_F(AliasStoreTest, a_closed_store_refuses_to_be_used) {
    AliasStore store;
    EXPECT_THROW(store.readAlias(kScope), std::logic_error);
    EXPECT_THROW(static_cast<void>(store.writeBack(&status_)), std::logic_error);
    ASSERT_TRUE(store.openForRead(&status_));
    store.close();
    EXPECT_THROW(store.isAliasInUse("Scope"), std::logic_error);
}

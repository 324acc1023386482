#include "alias_file_fixture.h"

#include "enumeration/deviceMatchingToken.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "source/AliasStore.h"
#include "support/cJSONUtils.h"
#include "support/status.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr GUID kBoardClass = {0x7729C356, 0x96D6, 0x4FAB, {0x8D, 0x01, 0x92, 0x66, 0xFB, 0x3D, 0x1B, 0xD7}};
const std::string kBoard = "PCI\\VEN_ABCD&DEV_1234&SUBSYS_5678ABCD&REV_01\\4&2A5E1B0&0&00E0";

// A board behind a root port of the ACPI host bridge, as a PCI Express card sits.
class AliasStoreBoardTest : public AliasFileTest {
protected:
    void SetUp() override {
        AliasFileTest::SetUp();
        machine_.addDevice("ROOT\\ACPI_HAL\\0000");
        machine_.addDevice("ACPI_HAL\\PNP0C08\\0", "ROOT\\ACPI_HAL\\0000");
        machine_.addDevice("ACPI\\PNP0A08\\0", "ACPI_HAL\\PNP0C08\\0");
        const std::string rootPort = "PCI\\VEN_8086&DEV_A110&SUBSYS_00000000&REV_F0\\3&11583659&0&E0";
        machine_.addDevice(rootPort, "ACPI\\PNP0A08\\0").address = 0x001C0000;
        sim::Device& board = machine_.addDevice(kBoard, rootPort);
        board.address = 0;
        board.hardwareKey()
            .subkey("BusProperties")
            .set("pciVendorID", 0xABCD)
            .set("pciDeviceID", 0x1234)
            .set("pciSubsystemVendorID", 0xABCD)
            .set("pciSubsystemID", 0x5678)
            .set("pciRevision", 0x01);
        board.addInterface(kBoardClass).key().subkey("Properties").set("interfaceVersion", 4);
        install();
    }

    static std::string identityToken() {
        nQVOSALS100::tStatus status;
        nQVOSALS100::tBasicString enumerator;
        enumerator.assign(kBoard.c_str(), &status);
        nQVOSALS100::tDeviceInterfaceIterator iterator(kBoardClass, enumerator, &status);
        nQVOSALS100::tBasicString token;
        nQVOSALS100::buildPCIIdentityToken(iterator, token, &status);
        EXPECT_EQ(status.code, 0);
        return token.c_str();
    }
};

} // namespace

TEST_F(AliasStoreBoardTest, a_boards_identity_token_finds_its_record_and_keys_its_new_one) {
    writeAliasFile(
        R"({"devices": {"pci:ven_abcd&dev_1234&subsys_abcd5678&rev_01/0000:00:e0:00": {"alias": "Bench"}}})");
    const std::string token = identityToken();
    nQVOSALS100::tStatus status;
    {
        AliasStore store;
        ASSERT_TRUE(store.openForUpdate(&status));
        EXPECT_EQ(store.readAlias(token), "Bench");
        cJSONUtils::Tree record = cJSONUtils::createObject();
        cJSONUtils::addString(record.get(), "alias", "Scope");
        store.replaceDeviceRecord(token, record.get());
        ASSERT_TRUE(store.writeBack(&status));
    }
    const cJSONUtils::Tree root = cJSONUtils::parse(readAliasFile().c_str());
    const cJSON* devices = cJSONUtils::getMember(root.get(), "devices");
    ASSERT_EQ(cJSON_GetArraySize(devices), 1);
    EXPECT_STREQ(devices->child->string, "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:00");
    EXPECT_EQ(cJSONUtils::getString(cJSONUtils::getMember(devices->child, "alias")), "Scope");
}

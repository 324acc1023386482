#include "discovery_machine.h"

#include "enumeration/deviceValueReaders.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace discoverytest;
using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tStatus;

namespace {

const std::string kText39 = "QV-KELP 4480R Precision Digitizer Modul"; // 39 characters
const std::string kText40 = kText39 + "e";

// One board whose registry values the test chooses.
class ValueReaders : public DiscoveryTest {
protected:
    sim::Machine machine = discoveryMachine();
    sim::Device& board() {
        for (sim::Device& device : machine.devices) {
            if (device.id == kBehindBridge) {
                return device;
            }
        }
        throw std::logic_error("no board");
    }
    sim::RegistryKey& deviceProperties() { return board().hardwareKey().subkey("DeviceProperties"); }
    sim::RegistryKey& interfaceProperties() { return board().interfaces.front().key().subkey("Properties"); }

    tBasicString enumerator;
    void SetUp() override {
        tStatus status;
        enumerator.assign(kBehindBridge.c_str(), &status);
    }
};

} // namespace

TEST_F(ValueReaders, a_text_of_forty_bytes_with_its_nul_is_read_whole_and_one_of_forty_one_is_too_large) {
    deviceProperties().set("modelName", kText39).set("serialNumber", kText40);
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumerator, &status);
    EXPECT_EQ(textOf(nQVOSALS100::readModelName(iterator, &status)), kText39);
    EXPECT_EQ(status.code, 0);

    char buffer[40];
    std::uint32_t needed = 0;
    nQVOSALS100::readDeviceValue(iterator, "DeviceProperties", "serialNumber", buffer, sizeof buffer, &needed,
                                 &status);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusBufferTooSmall);
    EXPECT_EQ(needed, 41u);

    tStatus readerStatus;
    EXPECT_EQ(textOf(nQVOSALS100::readSerialNumber(iterator, &readerStatus)), "");
    EXPECT_EQ(readerStatus.code, nQVOSALS100::osalStatusBufferTooSmall);

    tStatus sizeStatus;
    nQVOSALS100::readDeviceValue(iterator, "DeviceProperties", "modelName", nullptr, 0, &needed, &sizeStatus);
    EXPECT_EQ(sizeStatus.code, nQVOSALS100::osalStatusBufferTooSmall) << "a pure size query";
    EXPECT_EQ(needed, 40u);
}

TEST_F(ValueReaders, the_size_query_protocol_appends_a_value_of_any_length_without_its_nul) {
    const std::string longText(300, 'k');
    interfaceProperties().set("selfCalLibraryName", longText);
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumerator, &status);
    tBasicString text;
    text.assign("lib:", &status);
    nQVOSALS100::appendValueBySizeQuery(
        text,
        [&](void* buffer, std::uint32_t size, std::uint32_t* needed, tStatus* readStatus) {
            nQVOSALS100::readInterfaceValue(iterator, "selfCalLibraryName", buffer, size, needed, readStatus);
        },
        &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(textOf(text), "lib:" + longText);

    nQVOSALS100::appendValueBySizeQuery(
        text,
        [&](void* buffer, std::uint32_t size, std::uint32_t* needed, tStatus* readStatus) {
            nQVOSALS100::readInterfaceValue(iterator, "selfCalFunctionName", buffer, size, needed,
                                            readStatus);
        },
        &status);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusResourceNotFound);
    EXPECT_EQ(textOf(text), "lib:" + longText) << "a failed read left bytes behind";
}

TEST_F(ValueReaders, a_text_read_into_four_bytes_gives_its_bytes_or_too_small_never_a_number) {
    deviceProperties().set("pxiGeographicAddress", "abc").set("modelName", "abcdef");
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumerator, &status);
    std::uint32_t value = 0;
    nQVOSALS100::readDeviceValue(iterator, "DeviceProperties", "pxiGeographicAddress", &value, sizeof value,
                                 nullptr, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(std::memcmp(&value, "abc", 4), 0);
    nQVOSALS100::readDeviceValue(iterator, "DeviceProperties", "modelName", &value, sizeof value, nullptr,
                                 &status);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusBufferTooSmall);
}

TEST_F(ValueReaders, the_driver_module_name_is_the_base_name_with_u) {
    interfaceProperties().set("driverBaseName", "abc").set("routingAdaptorName", "kelpRouting");
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumerator, &status);
    EXPECT_EQ(textOf(nQVOSALS100::readDriverModuleName(iterator, &status)), "abcu");
    EXPECT_EQ(textOf(nQVOSALS100::readRoutingAdaptorName(iterator, &status)), "kelpRouting");
    EXPECT_EQ(textOf(nQVOSALS100::readManufacturerName(iterator, &status)), "Quorvel");
    EXPECT_EQ(status.code, 0);

    tStatus missing;
    EXPECT_EQ(textOf(nQVOSALS100::readSerialNumber(iterator, &missing)), "");
    EXPECT_EQ(missing.code, nQVOSALS100::osalStatusResourceNotFound);
    tStatus afterError = missing;
    EXPECT_EQ(textOf(nQVOSALS100::readDriverModuleName(iterator, &afterError)), "")
        << "a name read after an error must not be a lone u";
}

TEST_F(ValueReaders, a_missing_key_subkey_or_value_is_not_found_and_says_where) {
    board().interfaces.front().registryKey.reset();
    sim::Device& bare = machine.addDevice("ROOT\\KELP\\0000");
    bare.addInterface(kBoardClass);
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumerator, &status);
    std::uint32_t value = 0;
    const char* const missing[][2] = {{"BusProperties", "pcieLinkWidth"}, {"NoSuchSubkey", "pciVendorID"}};
    for (const auto& [subkey, valueName] : missing) {
        tStatus readStatus;
        nQVOSALS100::readDeviceValue(iterator, subkey, valueName, &value, sizeof value, nullptr, &readStatus);
        EXPECT_EQ(readStatus.code, nQVOSALS100::osalStatusResourceNotFound) << subkey << "\\" << valueName;
    }
    tStatus interfaceStatus;
    nQVOSALS100::readInterfaceValue(iterator, "interfaceVersion", &value, sizeof value, nullptr,
                                    &interfaceStatus);
    EXPECT_EQ(interfaceStatus.code, nQVOSALS100::osalStatusResourceNotFound);

    tBasicString bareId;
    bareId.assign("ROOT\\KELP\\0000", &status);
    tDeviceInterfaceIterator bareBoard(kBoardClass, bareId, &status);
    nQVOSALS100::readDeviceValue(bareBoard, "BusProperties", "pciVendorID", &value, sizeof value, nullptr,
                                 &status);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusResourceNotFound) << "no hardware key";
    EXPECT_STREQ(status.component, "qvkelpsys");
    EXPECT_NE(status.line, 0u);
}

TEST_F(ValueReaders, the_hardware_revision_below_version_four_is_empty_and_reads_nothing) {
    interfaceProperties().set("hardwareRevision", "C2");
    machine.addFault(fault("SetupDiOpenDeviceInterfaceRegKey", ERROR_ACCESS_DENIED));
    machine.faults.back().after = 1;
    install(machine);
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumerator, &status);
    EXPECT_EQ(nQVOSALS100::readHardwareRevision(iterator, 3, &status), u"");
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(nQVOSALS100::readHardwareRevision(iterator, 4, &status), u"C2");
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(nQVOSALS100::readHardwareRevision(iterator, 5, &status), u"");
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusAccessDenied);
}

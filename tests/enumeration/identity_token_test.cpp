#include "discovery_machine.h"

#include "enumeration/deviceMatchingToken.h"
#include "enumeration/deviceValueReaders.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <string>

using namespace discoverytest;
using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tStatus;

namespace {

struct TokenResult {
    std::string token;
    std::int32_t code = 0;
};

TokenResult identityTokenOf(const std::string& deviceId) {
    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(deviceId), &status);
    tBasicString token;
    token.assign("stale", &status);
    nQVOSALS100::buildPCIIdentityToken(iterator, token, &status);
    return {textOf(token), status.code};
}

sim::Machine machineWithIdentity(const Identity& identity) {
    sim::Machine machine;
    machine.addDevice(kFirstBridge);
    machine.addDevice(kRootPort, kFirstBridge).address = 0x001C0000;
    addBoard(machine, kBehindBridge, kRootPort, 0, identity);
    return machine;
}

class IdentityToken : public DiscoveryTest {};

} // namespace

TEST_F(IdentityToken, registers_and_slot_path_make_the_token_subsystem_vendor_first) {
    install(discoveryMachine());
    const TokenResult result = identityTokenOf(kBehindBridge);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.token, "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:00");
}

TEST_F(IdentityToken, wide_values_print_all_their_digits_and_small_ones_are_padded) {
    Identity identity;
    identity.vendor = 0x10000;
    identity.device = 0x12;
    identity.subsystemVendor = 0xABCDE;
    identity.subsystem = 0x1;
    identity.revision = 0xAB;
    install(machineWithIdentity(identity));
    EXPECT_EQ(identityTokenOf(kBehindBridge).token,
              "PCI:VEN_10000&DEV_0012&SUBSYS_ABCDE0001&REV_AB/0000:00:E0:00");

    identity.revision = 0;
    install(machineWithIdentity(identity));
    EXPECT_EQ(identityTokenOf(kBehindBridge).token,
              "PCI:VEN_10000&DEV_0012&SUBSYS_ABCDE0001&REV_00/0000:00:E0:00");
}

TEST_F(IdentityToken, a_missing_register_leaves_the_token_empty_and_stops_the_reads) {
    sim::Machine machine = discoveryMachine();
    for (sim::Device& device : machine.devices) {
        if (device.id == kBehindBridge) {
            device.hardwareRegistryKey = sim::RegistryKey();
            device.hardwareKey()
                .subkey("BusProperties")
                .set("pciVendorID", 0xABCD)
                .set("pciSubsystemVendorID", 0xABCD)
                .set("pciSubsystemID", 0x5678)
                .set("pciRevision", 1);
        }
    }
    // Consumed only if the construction went on reading after the missing device ID.
    sim::Fault later = fault("RegQueryValueExA", ERROR_ACCESS_DENIED, "pciSubsystemVendorID");
    later.times = 1;
    machine.addFault(later);
    install(machine);

    const TokenResult result = identityTokenOf(kBehindBridge);
    EXPECT_EQ(result.code, nQVOSALS100::osalStatusResourceNotFound);
    EXPECT_EQ(result.token, "");

    tStatus status;
    tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(kBehindBridge), &status);
    std::uint32_t value = 0;
    nQVOSALS100::readDeviceValue(iterator, "BusProperties", "pciSubsystemVendorID", &value, sizeof value,
                                 nullptr, &status);
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusAccessDenied)
        << "the register after the missing one was read";
}

TEST_F(IdentityToken, a_board_without_a_slot_path_gets_no_token) {
    sim::Machine machine = discoveryMachine();
    machine.addFault(fault("CM_Get_Parent", CR_NO_SUCH_DEVNODE, kBehindBridge));
    install(machine);
    const TokenResult result = identityTokenOf(kBehindBridge);
    EXPECT_EQ(result.code, nQVOSALS100::osalStatusResourceNotFound);
    EXPECT_EQ(result.token, "");
}

TEST_F(IdentityToken, the_matching_token_is_the_instance_id_and_a_size_that_never_fits_is_an_error) {
    sim::Machine machine = discoveryMachine();
    // A "buffer too small" that persists must not keep the caller asking.
    machine.addFault(fault("SetupDiGetDeviceInstanceIdA", ERROR_INSUFFICIENT_BUFFER, kHighFunction));
    install(machine);
    for (const auto& [deviceId, code] : {std::pair{kBelowSecondBridge, 0},
                                         std::pair{kHighFunction, nQVOSALS100::osalStatusBufferTooSmall}}) {
        tStatus status;
        tDeviceInterfaceIterator iterator(kBoardClass, enumeratorText(deviceId), &status);
        tBasicString token;
        token.assign("stale", &status);
        nQVOSALS100::getDeviceMatchingToken(iterator.deviceInfoSet(), iterator.getDeviceInfo(), token,
                                            &status);
        EXPECT_EQ(status.code, code) << deviceId;
        EXPECT_EQ(textOf(token), code == 0 ? deviceId : "") << deviceId;
        EXPECT_EQ(token.length(), code == 0 ? deviceId.size() : 0u) << "a NUL was kept";
    }
}

#include "discovery_machine.h"

#include "enumeration/deviceValueReaders.h"
#include "simlibs/pxi/qvpxisvc_sessions.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

using namespace discoverytest;
using nQVOSALS100::readPXIChassisNumber;
using nQVOSALS100::readPXISlotNumber;
using nQVOSALS100::tStatus;

namespace {

class PxiLocation : public DiscoveryTest {
protected:
    sim::Machine machine = discoveryMachine();
    void SetUp() override {
        sim::PxiLocation location;
        location.bus = 6;
        location.device = 0;
        location.function = 0;
        location.chassis = 1;
        location.slot = 3;
        machine.addPxi(location);
    }
    void TearDown() override {
        EXPECT_EQ(qvpxisvcSim_openSessionCount(), 0u) << "a PXI session was left open";
        DiscoveryTest::TearDown();
    }
};

} // namespace

TEST_F(PxiLocation, chassis_and_slot_come_from_the_pxi_services_one_session_each) {
    install(machine);
    tStatus status;
    const std::uint32_t opened = qvpxisvcSim_sessionsOpened();
    EXPECT_EQ(readPXIChassisNumber(6, 0, 0, &status), 1u);
    EXPECT_EQ(readPXISlotNumber(6, 0, 0, &status), 3u);
    EXPECT_EQ(qvpxisvcSim_sessionsOpened() - opened, 2u);
    EXPECT_EQ(status.code, 0);
}

TEST_F(PxiLocation, unknown_locations_failing_services_and_earlier_errors_read_as_zero_unreported) {
    machine.addFault(fault("nQVPXIINIT100_getDeviceU32Attribute", 0xFFFF3456u, "3"));
    machine.addFault(fault("nQVPXIINIT100_openPXISession", 0xFFFF3457u, "", 2));
    install(machine);
    tStatus status;
    EXPECT_EQ(readPXIChassisNumber(7, 0, 0, &status), 0u) << "a location the services do not know";
    EXPECT_EQ(readPXISlotNumber(6, 0, 0, &status), 0u) << "the attribute read fails";
    EXPECT_EQ(readPXIChassisNumber(6, 0, 0, &status), 0u) << "the session cannot be opened";
    EXPECT_EQ(status.code, 0);

    status.setCode(nQVOSALS100::osalStatusUnexpected, "x", "f", 1);
    const std::uint32_t opened = qvpxisvcSim_sessionsOpened();
    EXPECT_EQ(readPXISlotNumber(6, 0, 0, &status), 0u);
    EXPECT_EQ(qvpxisvcSim_sessionsOpened(), opened) << "a session was opened after an error";
    EXPECT_EQ(status.code, nQVOSALS100::osalStatusUnexpected);
    EXPECT_EQ(status.line, 1u);
}

// The PXI services library, loaded at run time as a separate image: chassis and slot from the
// machine's PXI table, the status record it fills, and sessions that always end.
#include "sim_fixture.h"

#include "abi/qvpxisvc.h"
#include "simlibs/pxi/qvpxisvc_sessions.h"
#include "support/status.h"

#include <dlfcn.h>

#include <cstring>

using nQVOSALS100::tStatus;
using simtest::ScopedMachine;

namespace {

constexpr std::uint32_t kChassis = nQVPXIINIT100::kAttributeChassisNumber;
constexpr std::uint32_t kSlot = nQVPXIINIT100::kAttributeSlotNumber;

class PxiLibrary : public testing::Test {
protected:
    void SetUp() override {
        library_ = ::dlopen(QV_RUNTIME_DIR "/libqvpxisvc.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << ::dlerror();
        open_ = resolve<decltype(&nQVPXIINIT100_openPXISession)>("nQVPXIINIT100_openPXISession");
        read_ =
            resolve<decltype(&nQVPXIINIT100_getDeviceU32Attribute)>("nQVPXIINIT100_getDeviceU32Attribute");
        close_ = resolve<decltype(&nQVPXIINIT100_closePXISession)>("nQVPXIINIT100_closePXISession");
        openCount_ = resolve<decltype(&qvpxisvcSim_openSessionCount)>("qvpxisvcSim_openSessionCount");
        openedCount_ = resolve<decltype(&qvpxisvcSim_sessionsOpened)>("qvpxisvcSim_sessionsOpened");

        sim::Machine machine;
        machine.addPxi({5, 0, 0, 1, 3}).addPxi({6, 13, 2, 2, 17});
        installed_.emplace(machine);
    }
    void TearDown() override {
        installed_.reset();
        EXPECT_EQ(openCount_(), 0u) << "a PXI session was left open";
        ::dlclose(library_);
    }

    template <class Function> Function resolve(const char* name) {
        auto* symbol = ::dlsym(library_, name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<Function>(symbol);
    }

    // One read as the module makes it: open, read, close, all on one status record.
    std::uint32_t readInSession(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                std::uint32_t attribute, tStatus* status) {
        std::uint32_t value = 0xDEADBEEF;
        open_(status);
        read_(bus, device, function, attribute, &value, status);
        close_(status);
        return value;
    }

    void* library_ = nullptr;
    decltype(&nQVPXIINIT100_openPXISession) open_ = nullptr;
    decltype(&nQVPXIINIT100_getDeviceU32Attribute) read_ = nullptr;
    decltype(&nQVPXIINIT100_closePXISession) close_ = nullptr;
    decltype(&qvpxisvcSim_openSessionCount) openCount_ = nullptr;
    decltype(&qvpxisvcSim_sessionsOpened) openedCount_ = nullptr;
    std::optional<ScopedMachine> installed_;
};

} // namespace

TEST_F(PxiLibrary, chassis_and_slot_come_from_the_pxi_table_in_sessions_that_are_closed) {
    const std::uint32_t openedBefore = openedCount_();
    tStatus status;
    EXPECT_EQ(readInSession(5, 0, 0, kChassis, &status), 1u);
    EXPECT_EQ(readInSession(5, 0, 0, kSlot, &status), 3u);
    EXPECT_EQ(readInSession(6, 13, 2, kChassis, &status), 2u);
    EXPECT_EQ(readInSession(6, 13, 2, kSlot, &status), 17u);
    EXPECT_EQ(status.code, 0);
    EXPECT_STREQ(status.component, "");
    EXPECT_EQ(openedCount_() - openedBefore, 4u);
}

TEST_F(PxiLibrary, an_unknown_location_or_attribute_reports_an_error_with_its_origin_and_leaves_the_value) {
    const struct {
        std::uint32_t bus, device, function, attribute;
        std::int32_t code;
    } cases[] = {
        {5, 0, 1, kChassis, -52006},
        {7, 0, 0, kSlot, -52006},
        {5, 0, 0, 1, -52005},
        {5, 0, 0, 4, -52005},
    };
    for (const auto& c : cases) {
        tStatus status;
        EXPECT_EQ(readInSession(c.bus, c.device, c.function, c.attribute, &status), 0xDEADBEEF);
        EXPECT_EQ(status.code, c.code)
            << c.bus << "/" << c.device << "/" << c.function << " attribute " << c.attribute;
        EXPECT_STREQ(status.component, "qvpxisvc");
        EXPECT_STREQ(status.file, "simlibs/pxi/qvpxisvc.cpp");
        EXPECT_NE(status.line, 0u);
    }
}

TEST_F(PxiLibrary, a_status_holding_an_error_makes_every_call_do_nothing) {
    const std::uint32_t openedBefore = openedCount_();
    tStatus status;
    status.code = -52003;
    std::strcpy(status.component, "earlier");
    EXPECT_EQ(readInSession(5, 0, 0, kSlot, &status), 0xDEADBEEF);
    EXPECT_EQ(status.code, -52003);
    EXPECT_STREQ(status.component, "earlier");
    EXPECT_EQ(openedCount_(), openedBefore);
}

TEST_F(PxiLibrary, an_error_replaces_a_warning_and_a_short_record_gets_only_the_code) {
    tStatus warned;
    warned.code = 52011;
    readInSession(9, 9, 9, kSlot, &warned);
    EXPECT_EQ(warned.code, -52006);

    tStatus shortRecord;
    shortRecord.structSize = 8;
    readInSession(9, 9, 9, kSlot, &shortRecord);
    EXPECT_EQ(shortRecord.code, -52006);
    EXPECT_STREQ(shortRecord.component, "");
    EXPECT_EQ(shortRecord.line, 0u);
}

TEST_F(PxiLibrary, a_failed_read_still_lets_its_session_close_and_every_read_needs_a_session) {
    tStatus failed;
    open_(&failed);
    EXPECT_EQ(openCount_(), 1u);
    std::uint32_t value = 0;
    read_(9, 9, 9, kChassis, &value, &failed);
    close_(&failed);
    EXPECT_EQ(openCount_(), 0u);
    EXPECT_EQ(failed.code, -52006);

    tStatus withoutSession;
    read_(5, 0, 0, kChassis, &value, &withoutSession);
    EXPECT_EQ(withoutSession.code, -52010);
    tStatus closeWithoutSession;
    close_(&closeWithoutSession);
    EXPECT_EQ(closeWithoutSession.code, -52010);
    tStatus nullResult;
    open_(&nullResult);
    read_(5, 0, 0, kChassis, nullptr, &nullResult);
    close_(&nullResult);
    EXPECT_EQ(nullResult.code, -52005);
}

TEST_F(PxiLibrary, an_injected_fault_fails_the_chosen_attribute_with_the_given_code) {
    sim::Machine machine;
    machine.addPxi({5, 0, 0, 1, 3});
    machine.addFault(
        {"nQVPXIINIT100_getDeviceU32Attribute", static_cast<DWORD>(-52003), std::string("3"), 0, 1});
    machine.addFault({"nQVPXIINIT100_openPXISession", static_cast<DWORD>(-52000), std::nullopt, 2, 1});
    installed_.reset();
    installed_.emplace(machine);

    tStatus chassis;
    EXPECT_EQ(readInSession(5, 0, 0, kChassis, &chassis), 1u);
    EXPECT_EQ(chassis.code, 0);
    tStatus slot;
    EXPECT_EQ(readInSession(5, 0, 0, kSlot, &slot), 0xDEADBEEF);
    EXPECT_EQ(slot.code, -52003);
    tStatus third;
    EXPECT_EQ(readInSession(5, 0, 0, kSlot, &third), 0xDEADBEEF);
    EXPECT_EQ(third.code, -52000);
    tStatus fourth;
    EXPECT_EQ(readInSession(5, 0, 0, kSlot, &fourth), 3u);
}

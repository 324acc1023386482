// A board's property report as a host reads it: through GetResourceProperties and ReportResources
// of the module loaded by name, on machines made in code.
#include "host_module.h"

#include "common/report_machine.h"
#include "common/host_collection.h"
#include "hwsys/hwsys_tags.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

using namespace hosttest;
using namespace reporttest;

namespace {

using Value = std::variant<bool, LONG, ULONG, double, std::u16string, hwSysAttrTimestampUTC>;

struct Row {
    ULONG tag;
    Value value;
};

// A tag that must be absent has no value.
struct Expectation {
    ULONG tag;
    std::optional<Value> value;
};

std::u16string wide(const std::string& text) {
    return {text.begin(), text.end()};
}

constexpr std::int64_t kDay = 86400;
constexpr hwSysAttrTimestampUTC kSelfCalTime = {4503599627370496u, 3855600000};
constexpr hwSysAttrTimestampUTC kExternalCalTime = {9007199254740992u, 3840652800};

hwSysAttrTimestampUTC daysAfter(hwSysAttrTimestampUTC time, std::int64_t days) {
    return {time.fraction, time.seconds + days * kDay};
}

// Reads the tag with the getter of the expected type, so a value of another type fails too.
struct ValueCheck {
    IhwSysPropertyBag3* bag;
    ULONG tag;

    void operator()(bool expected) const {
        LONG value = -1;
        ASSERT_EQ(bag->GetBool(tag, &value), S_OK);
        EXPECT_EQ(value != 0, expected);
    }
    void operator()(LONG expected) const {
        LONG value = 0;
        ASSERT_EQ(bag->GetLong(tag, &value), S_OK);
        EXPECT_EQ(value, expected);
    }
    void operator()(ULONG expected) const {
        ULONG value = 0;
        ASSERT_EQ(bag->GetULong(tag, &value), S_OK);
        EXPECT_EQ(value, expected);
    }
    void operator()(double expected) const {
        double value = 0;
        ASSERT_EQ(bag->GetDouble(tag, &value), S_OK);
        EXPECT_EQ(value, expected);
    }
    void operator()(const std::u16string& expected) const {
        BSTR value = nullptr;
        ASSERT_EQ(bag->GetString(tag, &value), S_OK);
        const CqvBStr owned = CqvBStr::Attach(value);
        EXPECT_EQ(fromOle(value, SysStringLen(value)), expected);
    }
    void operator()(const hwSysAttrTimestampUTC& expected) const {
        hwSysAttrTimestampUTC value{};
        ASSERT_EQ(bag->GetTimestamp(tag, &value), S_OK);
        EXPECT_EQ(value.seconds, expected.seconds);
        EXPECT_EQ(value.fraction, expected.fraction);
    }
};

void expectValue(IhwSysPropertyBag3* bag, ULONG tag, const Value& value) {
    SCOPED_TRACE(testing::Message() << "tag 0x" << std::hex << tag);
    std::visit(ValueCheck{bag, tag}, value);
}

std::set<ULONG> tagsOf(IhwSysPropertyBag3* bag) {
    std::set<ULONG> tags;
    IhwSysEnumPropertyTag* raw = nullptr;
    EXPECT_EQ(bag->EnumPropertyTags(&raw), S_OK);
    const auto enumerator = ComRef<IhwSysEnumPropertyTag>::attach(raw);
    ULONG tag = 0;
    while (enumerator != nullptr && enumerator->Next(1, &tag, nullptr) == S_OK) {
        tags.insert(tag);
    }
    return tags;
}

ComRef<IhwSysPropertyBag3> asBag3(IhwSysPropertyBag* bag) {
    void* bag3 = nullptr;
    EXPECT_EQ(bag->QueryInterface(IID_IhwSysPropertyBag3, &bag3), S_OK);
    bag->Release();
    return ComRef<IhwSysPropertyBag3>::attach(static_cast<IhwSysPropertyBag3*>(bag3));
}

// A host's collection that keeps the item name of every bag it takes, and refuses the bag whose
// turn `refuseAt` names (counting from 1) with `refusal`.
struct RecordingCollection : public TestHostCollection {
    std::vector<std::u16string> itemNames;
    std::size_t refuseAt = 0;
    HRESULT refusal = S_OK;

    HRESULT STDMETHODCALLTYPE AddToHostCollection(IhwSysPropertyBag* bag) override {
        if (itemNames.size() + 1 == refuseAt) {
            return refusal;
        }
        BSTR name = nullptr;
        EXPECT_EQ(bag->GetString(hwSysTagItemName, &name), S_OK);
        const CqvBStr owned = CqvBStr::Attach(name);
        itemNames.push_back(fromOle(name, SysStringLen(name)));
        return S_OK;
    }
};

class PropertyReportHost : public LoadedModuleTest {
protected:
    void SetUp() override {
        IhwSysExpert2* raw = nullptr;
        ASSERT_EQ(create(&raw), S_OK);
        expert = ComRef<IhwSysExpert2>::attach(raw);
    }
    void TearDown() override {
        EXPECT_EQ(sim::openDeviceInfoSetCount(), 0u);
        EXPECT_EQ(sim::openRegistryKeyCount(), 0u);
        EXPECT_TRUE(aliasFileIsUnlocked());
        sim::uninstallMachine();
    }

    void install(const std::vector<BoardSpec>& boards, const std::string& aliases = aliasFileNaming({0})) {
        drive.write(aliases);
        sim::installMachine(reportMachine(drive, boards));
    }

    HRESULT report(const std::string& itemName, ComRef<IhwSysPropertyBag3>& bag) {
        IhwSysPropertyBag* raw = nullptr;
        const HRESULT result = expert->GetResourceProperties(ole(wide(itemName)), &raw);
        bag = raw != nullptr ? asBag3(raw) : nullptr;
        return result;
    }

    // An exclusive lock on the alias file is granted only when nobody holds one on it.
    bool aliasFileIsUnlocked() const {
#ifdef _WIN32
        const HANDLE file = CreateFileA(drive.aliasFile().string().c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return true;
        }
        OVERLAPPED whole{};
        const bool granted =
            LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole);
        CloseHandle(file);
        return granted;
#else
        const int fd = ::open(drive.aliasFile().c_str(), O_RDWR);
        if (fd < 0) {
            return true;
        }
        struct flock whole = {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        const bool granted = ::fcntl(fd, F_OFD_SETLK, &whole) == 0;
        ::close(fd);
        return granted;
#endif
    }

    AliasDrive drive;
    ComRef<IhwSysExpert2> expert;
};

std::vector<Row> wholeTableOfBoard0() {
    const std::u16string itemName = wide(boardId(0));
    std::vector<Row> rows = {
        {hwSysTagFixed1001000, true},
        {hwSysTagFixed1002000, ULONG{1}},
        {hwSysTagPciVendorId, ULONG{0x1F2B}},
        {hwSysTagManufacturerName, u"Quorvel"},
        {hwSysTagPciSubsystemId, ULONG{0x7A40}},
        {hwSysTagModelName, u"QV-KELP 4480R"},
        {hwSysTagSerialNumber, u"01E2C95A"},
        {hwSysTagIsProductQV, true},
        {hwSysTagPxiChassis, u"PXI1"},
        {hwSysTagPxiSlot, LONG(geographicAddress(0))},
        {hwSysTagSlotsOccupied, LONG{2}},
        {hwSysTagFixed1020000, true},
        {hwSysTagSelfCalPresent, true},
        {hwSysTagSelfCalTime, kSelfCalTime},
        {hwSysTagSelfCalTemperature, 38.0},
        {hwSysTagExternalCalPresent, true},
        {hwSysTagExternalCalTime, kExternalCalTime},
        {hwSysTagExternalCalDue, daysAfter(kExternalCalTime, 365)},
        {hwSysTagFixed1069000, LONG{24}},
        {hwSysTagFixed106B000, true},
        {hwSysTagPciBusNumber, ULONG(busNumber(0))},
        {hwSysTagPciDeviceNumber, ULONG{2}},
        {hwSysTagPciFunctionNumber, ULONG{1}},
        {hwSysTagPcieLinkWidth, LONG{8}},
        {hwSysTagPcieMaxLinkWidth, LONG{16}},
        {hwSysTagPxiSlotNumber, LONG(pxiSlot(0))},
        {hwSysTagFixed101C000, LONG{1}},
        {hwSysTagItemName, itemName},
        {hwSysTagFixed102A000, LONG{0x40001000}},
        {hwSysTagExpertIdentifier, u"qv-kelp"},
        {hwSysTagAlias, u"board-0"},
        {hwSysTagFixed1037000, ULONG{0xE0000}},
        {hwSysTagFixed1054000, true},
        {hwSysTagFixed1024000, LONG{1}},
        {hwSysTagFixed1056000, true},
        {hwSysTagTemperatureSensorCount, LONG{4}},
        {hwSysTagFixed106F000, LONG{1}},
        {hwSysTagRegisterAccessDevicePath, wide(devicePath(kRegisterClass, 0))},
        {hwSysTagHardwareRevision, u"C2"},
        {hwSysTagRoutingAdaptorName, u"QV-KELP Trigger Router"},
        {hwSysTagRoutingDevicePath, wide(devicePath(kRoutingClass, 0))},
        {hwSysTagRoutingItemName, itemName},
        {hwSysTagFixed10001000, true},
        {hwSysTagFixed10002000, ULONG{1}},
        {hwSysTagFixed10003000, false},
        {hwSysTagMainDevicePath, wide(devicePath(kMainClass, 0))},
    };
    const std::u16string sensorNames[] = {u"Analog Front End", u"FPGA", u"Basecard Sensor 0", u"Basecard Sensor 1"};
    const double temperatures[] = {44.5, 61.75, 40.25, 39.0};
    for (ULONG sensor = 0; sensor < 4; ++sensor) {
        rows.push_back({hwSysTagTemperatureSensorName(sensor), sensorNames[sensor]});
        rows.push_back({hwSysTagTemperature(sensor), temperatures[sensor]});
    }
    return rows;
}

} // namespace

TEST_F(PropertyReportHost, a_version_4_board_with_routing_reports_every_row_of_the_table_and_nothing_else) {
    install({BoardSpec{}});
    ComRef<IhwSysPropertyBag3> bag;
    ASSERT_EQ(report(boardId(0), bag), S_OK);
    ASSERT_NE(bag, nullptr);
    std::set<ULONG> expectedTags;
    for (const Row& row : wholeTableOfBoard0()) {
        expectValue(bag.get(), row.tag, row.value);
        expectedTags.insert(row.tag);
    }
    EXPECT_EQ(tagsOf(bag.get()), expectedTags);
}

TEST_F(PropertyReportHost, what_a_board_offers_decides_its_rows) {
    auto withBoard = [](const std::string& members) {
        BoardSpec layout;
        layout.board = R"({ "selfCal": { "time": { "seconds": 3855600000, "fraction": 4503599627370496 },
                                       "temperature": 38.0 },
                          "temperatures": [44.5, 61.75, 40.25, 39.0], )" +
                     members + "}";
        return layout;
    };
    auto externalCal = [&](int intervalDays) {
        return withBoard(R"("externalCal": { "time": { "seconds": 3840652800, "fraction": 9007199254740992 },
                             "intervalDays": )" +
                         std::to_string(intervalDays) + R"(, "password": "kelp" })");
    };
    BoardSpec version2;
    version2.interfaceVersion = 2;
    BoardSpec withoutRouting;
    withoutRouting.routing = false;
    BoardSpec routingWithoutItsInterface;
    routingWithoutItsInterface.routingEnumeration = false;
    BoardSpec outsideAnyChassis;
    outsideAnyChassis.inPxiChassis = false;
    BoardSpec failingSensor = externalCal(365);
    failingSensor.board.insert(failingSensor.board.size() - 1,
                               R"(, "fail": { "_readTemperature": { "code": -52003, "sensor": 2 } })");
    BoardSpec failingSelfCalTime = externalCal(365);
    failingSelfCalTime.board.insert(failingSelfCalTime.board.size() - 1,
                                    R"(, "fail": { "_readSelfCalTime": -52003 })");

    const std::u16string mainPath = wide(devicePath(kMainClass, 0));
    const struct {
        const char* name;
        BoardSpec layout;
        std::string aliases;
        std::vector<Expectation> expectations;
    } rows[] = {
        {"interface version 2", version2, aliasFileNaming({0}),
         {{hwSysTagRegisterAccessDevicePath, mainPath},
          {hwSysTagMainDevicePath, mainPath},
          {hwSysTagHardwareRevision, u""},
          {hwSysTagRoutingAdaptorName, std::nullopt},
          {hwSysTagRoutingDevicePath, std::nullopt},
          {hwSysTagRoutingItemName, std::nullopt}}},
        {"version 4 without routing", withoutRouting, aliasFileNaming({0}),
         {{hwSysTagHardwareRevision, u"C2"},
          {hwSysTagRoutingAdaptorName, std::nullopt},
          {hwSysTagRoutingDevicePath, std::nullopt},
          {hwSysTagRoutingItemName, std::nullopt}}},
        {"routing without its own interface", routingWithoutItsInterface, aliasFileNaming({0}),
         {{hwSysTagRoutingDevicePath, mainPath}}},
        {"no alias record", BoardSpec{}, aliasFileNaming({}), {{hwSysTagAlias, u"PXI1Slot4"}}},
        {"not in a PXI chassis", outsideAnyChassis, aliasFileNaming({}),
         {{hwSysTagPxiChassis, u"PXI0"}, {hwSysTagAlias, u"PXI0Slot4"}, {hwSysTagPxiSlotNumber, LONG{0}}}},
        {"interval -5 days", externalCal(-5), aliasFileNaming({0}),
         {{hwSysTagExternalCalDue, daysAfter(kExternalCalTime, 730)}}},
        {"interval 0", externalCal(0), aliasFileNaming({0}),
         {{hwSysTagExternalCalTime, kExternalCalTime},
          {hwSysTagExternalCalDue, std::nullopt},
          {hwSysTagFixed1069000, LONG{24}},
          {hwSysTagFixed106B000, true}}},
        {"sensor 2 fails", failingSensor, aliasFileNaming({0}),
         {{hwSysTagTemperatureSensorName(1), u"FPGA"},
          {hwSysTagTemperature(1), 61.75},
          {hwSysTagTemperatureSensorName(2), std::nullopt},
          {hwSysTagTemperature(2), std::nullopt},
          {hwSysTagTemperatureSensorName(3), std::nullopt},
          {hwSysTagTemperature(3), std::nullopt},
          {hwSysTagFixed106F000, LONG{1}}}},
        {"self-calibration time fails", failingSelfCalTime, aliasFileNaming({0}),
         {{hwSysTagSelfCalPresent, true},
          {hwSysTagSelfCalTime, std::nullopt},
          {hwSysTagSelfCalTemperature, std::nullopt},
          {hwSysTagExternalCalTime, kExternalCalTime}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        install({row.layout}, row.aliases);
        ComRef<IhwSysPropertyBag3> bag;
        ASSERT_EQ(report(boardId(0), bag), S_OK);
        for (const Expectation& expectation : row.expectations) {
            if (expectation.value) {
                expectValue(bag.get(), expectation.tag, *expectation.value);
            } else {
                EXPECT_EQ(bag->HasProperty(expectation.tag), S_FALSE) << std::hex << expectation.tag;
            }
        }
    }
}

TEST_F(PropertyReportHost, a_report_that_cannot_be_made_hands_out_no_bag) {
    BoardSpec foreignDriver;
    foreignDriver.board.clear();
    const struct {
        const char* name;
        std::string itemName;
        std::optional<std::string> aliases; // absent: no alias file
        const char* driverBaseName;
        HRESULT expected;
    } rows[] = {
        // The board set of a name that matches no board is empty; reading through it is refused.
        {"no such board", "PCI\\VEN_1F2B&DEV_7A40&SUBSYS_7A401F2B&REV_03\\4&0&0&00E0", aliasFileNaming({0}),
         "qvkelpdrv", E_INVALIDARG},
        // An empty name names no board either, though the system's call would take a null one for all.
        {"an empty item name", "", aliasFileNaming({0}), "qvkelpdrv", E_INVALIDARG},
        {"no alias file", boardId(0), std::nullopt, "qvkelpdrv", E_UNEXPECTED},
        {"alias file not JSON", boardId(0), std::string("{\"devices\":"), "qvkelpdrv", E_FAIL},
        {"a record without an alias", boardId(0), "{\"devices\":{\"" + identityToken(0) + "\":{}}}", "qvkelpdrv",
         E_FAIL},
        {"no driver library", boardId(0), aliasFileNaming({0}), "qvnosuchdrv", E_FAIL},
        {"a driver library without _readExternalCalInterval", boardId(0), aliasFileNaming({0}), "qvkelppart",
         E_FAIL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sim::Machine machine = reportMachine(drive, {BoardSpec{}});
        machine.devices.back().interfaces.front().key().subkey("Properties").set("driverBaseName",
                                                                                 row.driverBaseName);
        drive.write(row.aliases.value_or(""));
        if (!row.aliases) {
            drive.remove();
        }
        sim::installMachine(machine);
        IhwSysPropertyBag* bag = reinterpret_cast<IhwSysPropertyBag*>(&machine);
        EXPECT_EQ(expert->GetResourceProperties(ole(wide(row.itemName)), &bag), row.expected);
        EXPECT_EQ(bag, nullptr);
    }
}

TEST_F(PropertyReportHost, report_resources_hands_the_collection_one_bag_per_board_in_the_system_order) {
    install({BoardSpec{}, BoardSpec{}, BoardSpec{}}, aliasFileNaming({0, 1, 2}));
    RecordingCollection collection;
    EXPECT_EQ(expert->ReportResources(&collection), S_OK);
    EXPECT_EQ(collection.itemNames,
              (std::vector<std::u16string>{wide(boardId(0)), wide(boardId(1)), wide(boardId(2))}));

    install({});
    RecordingCollection none;
    EXPECT_EQ(expert->ReportResources(&none), S_FALSE);
    EXPECT_TRUE(none.itemNames.empty());
}

TEST_F(PropertyReportHost, report_resources_ends_at_the_first_bag_refused_or_board_failed) {
    install({BoardSpec{}, BoardSpec{}, BoardSpec{}}, aliasFileNaming({0, 1, 2}));
    RecordingCollection refusing;
    refusing.refuseAt = 2;
    refusing.refusal = HRESULT(0x80070005);
    EXPECT_EQ(expert->ReportResources(&refusing), HRESULT(0x80070005));
    EXPECT_EQ(refusing.itemNames, std::vector<std::u16string>{wide(boardId(0))});

    // Board 1's record lacks its alias, so its report fails.
    install({BoardSpec{}, BoardSpec{}, BoardSpec{}},
            "{\"devices\":{\"" + identityToken(1) + "\":{\"name\":\"x\"}}}");
    RecordingCollection collection;
    EXPECT_EQ(expert->ReportResources(&collection), E_FAIL);
    EXPECT_EQ(collection.itemNames, std::vector<std::u16string>{wide(boardId(0))});
}

// Every board of one ReportResources sees one alias file: the file replaced once the first bag is
// handed over changes none of the bags that follow.
TEST_F(PropertyReportHost, report_resources_reads_the_alias_file_once_for_all_its_boards) {
    install({BoardSpec{}, BoardSpec{}, BoardSpec{}}, aliasFileNaming({0, 1, 2}));
    struct ReplacingCollection : public TestHostCollection {
        AliasDrive* drive = nullptr;
        std::vector<std::u16string> aliases;
        HRESULT STDMETHODCALLTYPE AddToHostCollection(IhwSysPropertyBag* bag) override {
            BSTR alias = nullptr;
            EXPECT_EQ(bag->GetString(hwSysTagAlias, &alias), S_OK);
            const CqvBStr owned = CqvBStr::Attach(alias);
            aliases.push_back(fromOle(alias, SysStringLen(alias)));
            drive->write(aliasFileNaming({}));
            return S_OK;
        }
    } collection;
    collection.drive = &drive;
    EXPECT_EQ(expert->ReportResources(&collection), S_OK);
    EXPECT_EQ(collection.aliases, (std::vector<std::u16string>{u"board-0", u"board-1", u"board-2"}));
}

TEST_F(PropertyReportHost, a_failed_listing_decides_the_result_after_the_boards_listed_before_it) {
    sim::Machine machine = reportMachine(drive, {BoardSpec{}, BoardSpec{}});
    sim::Fault fault;
    fault.call = "SetupDiEnumDeviceInterfaces";
    fault.error = ERROR_NOT_ENOUGH_MEMORY;
    fault.argument = boardId(1);
    machine.addFault(fault);
    drive.write(aliasFileNaming({0, 1}));
    sim::installMachine(machine);
    RecordingCollection collection;
    EXPECT_EQ(expert->ReportResources(&collection), E_OUTOFMEMORY);
    EXPECT_EQ(collection.itemNames, std::vector<std::u16string>{wide(boardId(0))});
}

// What a technician sees after a self-calibration: the next report carries its time. The board's
// property set is version 3, so the default self-calibration library runs and no reset is asked for.
TEST_F(PropertyReportHost, a_successful_self_calibration_shows_in_the_next_report) {
    BoardSpec board;
    board.interfaceVersion = 3;
    install({board});
    ComRef<IhwSysExpertDiagnostic> diagnostic;
    ASSERT_EQ(expert->QueryInterface(IID_IhwSysExpertDiagnostic, diagnostic.put_void()), S_OK);
    constexpr std::int64_t kSecondsFrom1904To1970 = 2082844800;
    const std::int64_t before = std::time(nullptr) + kSecondsFrom1904To1970;
    CqvBStr errorText;
    ASSERT_EQ(diagnostic->SelfCalibrateResource(ole(wide(boardId(0))), errorText.address()), S_OK);
    const std::int64_t after = std::time(nullptr) + kSecondsFrom1904To1970;

    ComRef<IhwSysPropertyBag3> bag;
    ASSERT_EQ(report(boardId(0), bag), S_OK);
    hwSysAttrTimestampUTC selfCalibrated{};
    ASSERT_EQ(bag->GetTimestamp(hwSysTagSelfCalTime, &selfCalibrated), S_OK);
    EXPECT_GE(selfCalibrated.seconds, before);
    EXPECT_LE(selfCalibrated.seconds, after);
    double temperature = 0;
    ASSERT_EQ(bag->GetDouble(hwSysTagSelfCalTemperature, &temperature), S_OK);
    EXPECT_EQ(temperature, 44.5) << "the temperature of sensor 0 at the time";
}

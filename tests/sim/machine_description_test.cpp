// Reading machine descriptions: value forms, defaults, relative folders, reloading, and the one
// diagnostic line that names the member of a malformed description.
#include "sim_fixture.h"

#include "platform/win32.h"

#include <gmock/gmock.h>

#include <fstream>
#include <iterator>
#include <ostream>

using simtest::ScopedMachine;
using simtest::ScopedMachineVariable;
using simtest::TempFolder;
using testing::HasSubstr;

namespace {

const std::vector<std::uint8_t> kNoBytes;

const std::vector<std::uint8_t>& bytesOf(const sim::RegistryKey& key, const std::string& subkey,
                                         const std::string& name) {
    const sim::RegistryKey* found = key.findSubkey(subkey);
    const sim::RegistryValue* value = found == nullptr ? nullptr : found->findValue(name);
    return value == nullptr ? kNoBytes : value->data;
}

} // namespace

TEST(MachineDescription, registry_values_take_the_form_their_json_type_gives_them) {
    TempFolder folder;
    const std::string path = folder.file("values.json");
    simtest::writeFile(path, R"({ "devices": [ { "id": "ROOT\\X\\0", "hardwareKey": { "K": {
        "number": 305419896, "negative": -2, "text": "Caf\u00e9", "empty": "",
        "guid": { "guid": "{7729c356-96d6-4fab-8d01-9266fb3d1bd7}" }, "raw": { "hex": "00 ff 7A" },
        "Nested": { "deeper": 1 } } } } ] })");
    const sim::Machine machine = sim::loadMachineFile(path);
    ASSERT_EQ(machine.devices.size(), 1u);
    const sim::RegistryKey& key = *machine.devices[0].hardwareRegistryKey;
    const sim::RegistryKey& k = *key.findSubkey("k");

    EXPECT_EQ(k.findValue("NUMBER")->type, REG_DWORD);
    EXPECT_EQ(bytesOf(key, "K", "number"), (std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(bytesOf(key, "K", "negative"), (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(k.findValue("text")->type, REG_SZ);
    EXPECT_EQ(bytesOf(key, "K", "text"), (std::vector<std::uint8_t>{'C', 'a', 'f', 0xE9, 0}));
    EXPECT_EQ(bytesOf(key, "K", "empty"), (std::vector<std::uint8_t>{0}));
    EXPECT_EQ(k.findValue("guid")->type, REG_BINARY);
    EXPECT_EQ(bytesOf(key, "K", "guid"),
              (std::vector<std::uint8_t>{0x56, 0xC3, 0x29, 0x77, 0xD6, 0x96, 0xAB, 0x4F, 0x8D, 0x01, 0x92,
                                         0x66, 0xFB, 0x3D, 0x1B, 0xD7}));
    EXPECT_EQ(k.findValue("raw")->type, REG_BINARY);
    EXPECT_EQ(bytesOf(key, "K", "raw"), (std::vector<std::uint8_t>{0x00, 0xFF, 0x7A}));
    ASSERT_NE(k.findSubkey("nested"), nullptr);
    EXPECT_NE(k.findSubkey("nested")->findValue("deeper"), nullptr);
}

TEST(MachineDescription, folders_are_taken_from_the_description_folder_and_defaults_apply) {
    const std::string path = simtest::examplePath("tests/two-boards.json");
    const sim::Machine machine = sim::loadMachineFile(path);
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();

    ASSERT_EQ(machine.drives.size(), 1u);
    EXPECT_EQ(machine.drives[0].first, 'C');
    EXPECT_EQ(std::filesystem::path(machine.drives[0].second), (folder / "drive_c").lexically_normal());
    ASSERT_EQ(machine.libraryPath.size(), 1u);
    EXPECT_EQ(std::filesystem::path(machine.libraryPath[0]), (folder / "lib").lexically_normal());
    EXPECT_EQ(machine.commonAppData, u"C:\\ProgramData");
    EXPECT_EQ(machine.ansiCodePage, 1252u);
    EXPECT_TRUE(machine.devices[0].present);
    EXPECT_FALSE(machine.devices[0].address.has_value());
    EXPECT_FALSE(machine.devices[0].hardwareRegistryKey.has_value());
}

TEST(MachineDescription, the_named_file_is_read_again_when_it_changes_on_disk) {
    TempFolder folder;
    const std::string path = folder.file("machine.json");
    simtest::writeFile(path, R"({ "devices": [ { "id": "ROOT\\X\\0", "board": { "selfTest": 1 } } ] })");
    simtest::setModificationTime(path, 1000000);
    ScopedMachineVariable variable(path);
    EXPECT_EQ(sim::boardDescription("root\\x\\0"), R"({"selfTest":1})");
    EXPECT_EQ(sim::currentMachineFile(), path);

    simtest::writeFile(path, R"({ "devices": [ { "id": "ROOT\\X\\0", "board": { "selfTest": 2 } } ] })");
    simtest::setModificationTime(path, 1000001);
    EXPECT_EQ(sim::boardDescription("ROOT\\X\\0"), R"({"selfTest":2})");

    const std::string other = folder.file("other.json");
    simtest::writeFile(other, R"({ "devices": [ { "id": "ROOT\\Y\\0", "board": {} } ] })");
    ScopedMachineVariable renamed(other);
    EXPECT_EQ(sim::boardDescription("ROOT\\X\\0"), "");
    EXPECT_EQ(sim::boardDescription("ROOT\\Y\\0"), "{}");
}

// What a program hands over once (hwconfig's check of --machine) is the machine the variable names,
// not read again while the file is unchanged; a file the simulation refuses changes nothing.
TEST(MachineDescription, a_file_handed_over_is_read_once_and_again_only_when_it_changes) {
    TempFolder folder;
    const std::string path = folder.file("machine.json");
    const auto describe = [&](int selfTest) {
        simtest::writeFile(path, R"({ "devices": [ { "id": "ROOT\\X\\0", "board": { "selfTest": )" +
                                     std::to_string(selfTest) + " } } ] }");
        simtest::setModificationTime(path, 1000000);
    };
    describe(1);
    ScopedMachineVariable variable(path);
    sim::useMachineFile(path);
    // The same length and time: only a second read could see the new text.
    describe(2);
    EXPECT_EQ(sim::boardDescription("ROOT\\X\\0"), R"({"selfTest":1})");
    simtest::setModificationTime(path, 1000001);
    EXPECT_EQ(sim::boardDescription("ROOT\\X\\0"), R"({"selfTest":2})");

    const std::string malformed = folder.file("malformed.json");
    simtest::writeFile(malformed, "[]");
    EXPECT_THROW(sim::useMachineFile(malformed), std::invalid_argument);
    EXPECT_EQ(sim::boardDescription("ROOT\\X\\0"), R"({"selfTest":2})");
}

TEST(MachineDescription, an_installed_machine_hides_the_named_file_until_it_is_uninstalled) {
    ScopedMachineVariable variable(simtest::examplePath("tests/two-boards.json"));
    const std::string board = "PCI\\VEN_ABCD&DEV_1235&SUBSYS_5679ABCD&REV_02\\4&1F0C3D2&0&00E8";
    EXPECT_THAT(sim::boardDescription(board), HasSubstr("\"temperatures\":[39.5]"));
    ASSERT_TRUE(sim::findPxiLocation(6, 0, 0).has_value());
    EXPECT_EQ(sim::findPxiLocation(6, 0, 0)->slot, 3u);
    {
        sim::Machine machine;
        machine.addDevice("ROOT\\OTHER\\0").board = "{\"selfTest\":1}";
        ScopedMachine installed(machine);
        EXPECT_EQ(sim::boardDescription(board), "");
        EXPECT_EQ(sim::boardDescription("ROOT\\OTHER\\0"), "{\"selfTest\":1}");
        EXPECT_EQ(sim::currentMachineFile(), "");
        EXPECT_FALSE(sim::findPxiLocation(6, 0, 0).has_value());
    }
    EXPECT_THAT(sim::boardDescription(board), HasSubstr("\"temperatures\":[39.5]"));
}

TEST(MachineDescription, without_the_variable_the_machine_is_empty) {
    ScopedMachineVariable variable(std::nullopt);
    EXPECT_EQ(sim::currentMachineFile(), "");
    EXPECT_FALSE(sim::findPxiLocation(6, 0, 0).has_value());
}

struct Malformed {
    const char* name;
    const char* text;
    const char* diagnostic;
};

// Printed by its name, so that the listed test names (and so the test runner's) stay the same from
// run to run instead of carrying the addresses of the texts.
void PrintTo(const Malformed& malformed, std::ostream* out) {
    *out << malformed.name;
}

// Each description holds the well-formed device ROOT\GOOD\0 with a board, so that an empty
// machine can be told from a partly read one.
const Malformed kMalformed[] = {
    {"not_json", R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} } )", "(top level): not valid JSON"},
    {"trailing_text", R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} } ] } x)",
     "(top level): text follows the JSON value"},
    {"wrong_member_type", R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} } ], "pxi": {} })",
     "pxi: expected an array"},
    {"wrong_flag_type",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "present": "yes" } ] })",
     "devices[1].present: expected true or false"},
    {"unknown_member",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "adress": 1 } ] })",
     "devices[1].adress: unknown member"},
    {"missing_id",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "parent": "ROOT\\GOOD\\0" } ] })",
     "devices[1].id: missing"},
    {"malformed_id", R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X" } ] })",
     "devices[1].id: \"ROOT\\X\" is not a device instance ID"},
    {"duplicate_id",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "root\\good\\0" } ] })",
     "devices[1].id: the device ID \"root\\good\\0\" is also that of devices[0]"},
    {"root_described",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "HTREE\\ROOT\\0" } ] })",
     "devices[1].id: the root device"},
    {"unknown_parent",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "parent": "ROOT\\Y\\0" } ] })",
     "devices[1].parent: there is no device \"ROOT\\Y\\0\""},
    {"cycle",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "parent": "ROOT\\Y\\0" },
                                  { "id": "ROOT\\Y\\0", "parent": "ROOT\\X\\0" } ] })",
     "devices[1].parent: the chain of parents of \"ROOT\\X\\0\" never reaches the root (a cycle)"},
    {"address_too_large",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "address": 4294967296 } ] })",
     "devices[1].address: the number 4294967296 does not fit"},
    {"fractional_value",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "hardwareKey": { "B": { "v": 1.5 } } } ] })",
     "devices[1].hardwareKey.B.v: the number 1.5 does not fit"},
    {"wide_character",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "hardwareKey": { "D": { "modelName": "KELP \u20ac" } } } ] })",
     "devices[1].hardwareKey.D.modelName: the character U+20AC does not fit in one byte"},
    {"value_of_no_form",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "hardwareKey": { "v": [1] } } ] })",
     "devices[1].hardwareKey.v: expected a number, a text"},
    {"bad_class",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "interfaces": [ { "class": "{7729C356-96D6}" } ] } ] })",
     "devices[1].interfaces[0].class: \"{7729C356-96D6}\" is not a GUID"},
    {"bad_guid_value",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "interfaces": [ { "class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}", "key": { "Properties": { "mainInterface": { "guid": "{7729C356-96D6-4FAB-8D01-9266FB3D1BDZ}" } } } } ] } ] })",
     "devices[1].interfaces[0].key.Properties.mainInterface.guid: "},
    {"subkey_with_backslash",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "hardwareKey": { "A\\B": { "v": 1 } } } ] })",
     "devices[1].hardwareKey.A\\B: a subkey needs a name without backslashes"},
    {"odd_hex",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "hardwareKey": { "raw": { "hex": "abc" } } } ] })",
     "devices[1].hardwareKey.raw.hex: expected pairs of hexadecimal digits"},
    {"duplicate_path",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "interfaces": [
        { "class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}", "reference": "A" }, { "class": "{7729c356-96d6-4fab-8d01-9266fb3d1bd7}", "reference": "a" } ] } ] })",
     "devices[1].interfaces[1]: the device path \"\\\\?\\root#x#0#{7729c356-96d6-4fab-8d01-9266fb3d1bd7}\\a\" is also that of devices[1].interfaces[0]"},
    {"path_given",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "interfaces": [
        { "class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}", "path": "\\\\?\\x" } ] } ] })",
     "devices[1].interfaces[0].path: a device path is not given but derived"},
    {"reference_with_separator",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} }, { "id": "ROOT\\X\\0", "interfaces": [
        { "class": "{7729C356-96D6-4FAB-8D01-9266FB3D1BD7}", "reference": "a/b" } ] } ] })",
     "devices[1].interfaces[0].reference: \"a/b\" is not a reference string"},
    {"duplicate_pxi", R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} } ], "pxi": [
        { "bus": 1, "device": 0, "function": 0, "chassis": 1, "slot": 2 }, { "bus": 1, "device": 0, "function": 0, "chassis": 1, "slot": 3 } ] })",
     "pxi[1]: bus 1, device 0, function 0 is already located by pxi[0]"},
    {"pxi_without_slot",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} } ], "pxi": [ { "bus": 1, "device": 0, "function": 0, "chassis": 1 } ] })",
     "pxi[0].slot: missing"},
    {"bad_error_text",
     R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} } ], "faults": [ { "call": "RegCloseKey", "error": "0xZZ" } ] })",
     "faults[0].error: \"0xZZ\" is neither a number nor hexadecimal text"},
    {"bad_drive", R"({ "devices": [ { "id": "ROOT\\GOOD\\0", "board": {} } ], "drives": { "CD": "x" } })",
     "drives.CD: \"CD\" is not a drive letter"},
};

class MalformedDescription : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedDescription,
       is_refused_with_one_line_naming_the_file_and_member_and_leaves_the_machine_empty) {
    TempFolder folder;
    const std::string path = folder.file(std::string(GetParam().name) + ".json");
    simtest::writeFile(path, GetParam().text);
    ScopedMachineVariable variable(path);

    testing::internal::CaptureStderr();
    const std::string board = sim::boardDescription("ROOT\\GOOD\\0");
    const std::string diagnostic = testing::internal::GetCapturedStderr();

    EXPECT_EQ(board, "");
    EXPECT_THAT(diagnostic, HasSubstr("machine description " + path + ": " + GetParam().diagnostic));
    EXPECT_THAT(diagnostic, HasSubstr("; the machine is empty\n"));
    EXPECT_EQ(std::count(diagnostic.begin(), diagnostic.end(), '\n'), 1);
    EXPECT_THROW(sim::loadMachineFile(path), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedDescription, testing::ValuesIn(kMalformed),
                         [](const testing::TestParamInfo<Malformed>& param) {
                             return std::string(param.param.name);
                         });

TEST(MachineDescription, a_malformed_description_is_reported_once_and_not_on_every_call) {
    TempFolder folder;
    const std::string path = folder.file("bad.json");
    simtest::writeFile(path, "[]");
    ScopedMachineVariable variable(path);
    testing::internal::CaptureStderr();
    sim::boardDescription("ROOT\\GOOD\\0");
    sim::boardDescription("ROOT\\GOOD\\0");
    const std::string diagnostic = testing::internal::GetCapturedStderr();
    EXPECT_EQ(diagnostic, "qvwinsim: machine description " + path +
                              ": (top level): expected an object; the machine is empty\n");
}

TEST(MachineDescription, a_missing_file_is_reported_and_gives_the_empty_machine) {
    TempFolder folder;
    const std::string path = folder.file("absent.json");
    ScopedMachineVariable variable(path);
    testing::internal::CaptureStderr();
    EXPECT_EQ(sim::boardDescription("ROOT\\GOOD\\0"), "");
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr(path + ": cannot be read"));
}

TEST(MachineBuilder, a_machine_made_in_code_is_checked_like_a_file) {
    sim::Machine duplicate;
    duplicate.addDevice("ROOT\\X\\0");
    duplicate.addDevice("ROOT\\X\\0");
    try {
        sim::installMachine(duplicate);
        ADD_FAILURE() << "a machine with two devices of one ID was installed";
    } catch (const std::invalid_argument& refusal) {
        EXPECT_THAT(refusal.what(),
                    HasSubstr("devices[1].id: the device ID \"ROOT\\X\\0\" is also that of devices[0]"));
    }

    sim::Machine orphan;
    orphan.addDevice("ROOT\\X\\0", "ROOT\\MISSING\\0");
    EXPECT_THROW(sim::installMachine(orphan), std::invalid_argument);
}

TEST(MachineBuilder, keys_and_values_are_found_without_regard_to_case_and_set_replaces) {
    sim::RegistryKey key;
    key.subkey("Properties").set("interfaceVersion", 3).set("INTERFACEVERSION", 4u);
    key.subkey("properties").set("driverBaseName", "qvkelpdrv");
    ASSERT_EQ(key.subkeys().size(), 1u);
    const sim::RegistryKey& properties = *key.findSubkey("PROPERTIES");
    EXPECT_EQ(properties.values().size(), 2u);
    EXPECT_EQ(properties.findValue("interfaceversion")->data, (std::vector<std::uint8_t>{4, 0, 0, 0}));
    EXPECT_EQ(properties.findValue("driverbasename")->data.size(), 10u);
    EXPECT_EQ(key.findSubkey("Missing"), nullptr);
}

TEST(MachineDescription, the_documented_example_is_a_valid_description) {
    std::ifstream document(std::string(QV_SOURCE_DIR) + "/docs/machine-format.md");
    const std::string text((std::istreambuf_iterator<char>(document)), std::istreambuf_iterator<char>());
    const std::size_t start = text.find("```json\n");
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = text.find("```", start + 8);
    ASSERT_NE(end, std::string::npos);
    TempFolder folder;
    const std::string path = folder.file("example.json");
    simtest::writeFile(path, text.substr(start + 8, end - start - 8));

    const sim::Machine machine = sim::loadMachineFile(path);
    EXPECT_EQ(machine.devices.size(), 6u);
    EXPECT_EQ(machine.faults.size(), 4u);
    EXPECT_EQ(machine.faults[2].error, 0xE000020Bu);
    EXPECT_EQ(machine.faults[3].error, static_cast<DWORD>(-52003));
    EXPECT_EQ(machine.devices[4].interfaces[1].reference, "regs");
}

namespace {

// A host bridge and a chain of `levels` PCI devices below it, each the parent of the next.
sim::Machine chainOfPciLevels(std::size_t levels) {
    sim::Machine machine;
    std::string parent = machine.addDevice("ACPI\\PNP0A08\\0").id;
    for (std::size_t level = 0; level < levels; ++level) {
        sim::Device& bridge = machine.addDevice("PCI\\VEN_8086&DEV_2030\\" + std::to_string(level), parent);
        bridge.address = 0;
        parent = bridge.id;
    }
    return machine;
}

} // namespace

// PCI numbers its buses with 8 bits; a deeper chain is refused in time linear in its length.
TEST(MachineBuilder, a_chain_of_more_than_256_pci_levels_is_refused_with_the_device_that_exceeds_them) {
    EXPECT_NO_THROW(sim::installMachine(chainOfPciLevels(256)));
    sim::uninstallMachine();
    try {
        sim::installMachine(chainOfPciLevels(100000));
        ADD_FAILURE() << "a chain of 100,000 PCI levels was installed";
    } catch (const std::invalid_argument& refusal) {
        EXPECT_THAT(refusal.what(), HasSubstr("devices[257].parent: \"PCI\\VEN_8086&DEV_2030\\256\" makes more "
                                              "than 256 PCI levels"));
    }
}

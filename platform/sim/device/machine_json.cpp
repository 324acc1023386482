// The JSON form of a machine description, checked member by member so that a mistake is reported
// with the member it is in.
#include "platform/sim/device/machine_json.h"

#include "platform/sim/device/board_json.h"
#include "platform/sim/device/json_members.h"
#include "platform/sim/text_rules.h"
#include "platform/sim/utf16.h"

#include <cjson/cJSON.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <utility>

namespace winsim {
namespace {

std::uint32_t unsignedOf(const cJSON* item, const std::string& member) {
    return static_cast<std::uint32_t>(integerOf(item, member, 0, 4294967295.0));
}

// A 32-bit number written as a signed or unsigned value (two's complement for negative ones).
std::uint32_t anyWordOf(const cJSON* item, const std::string& member) {
    const double value = integerOf(item, member, -2147483648.0, 4294967295.0);
    return value < 0 ? static_cast<std::uint32_t>(static_cast<std::int32_t>(value))
                     : static_cast<std::uint32_t>(value);
}

// Text of the ANSI code page: every code point must fit in one byte.
std::string bytesOf(const cJSON* item, const std::string& member) {
    const std::string utf8 = textOf(item, member);
    const auto codePoints = decodeUtf8(utf8);
    if (!codePoints) {
        refuse(member, "the text is not valid UTF-8");
    }
    std::string bytes;
    for (const char32_t codePoint : *codePoints) {
        if (codePoint > 0xFF) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(codePoint));
            refuse(member, std::string("the character ") + hex + " does not fit in one byte");
        }
        bytes.push_back(static_cast<char>(codePoint));
    }
    return bytes;
}

std::u16string utf16Of(const cJSON* item, const std::string& member) {
    auto text = utf16FromUtf8(textOf(item, member));
    if (!text) {
        refuse(member, "the text is not valid UTF-8");
    }
    return std::move(*text);
}

GUID guidOf(const cJSON* item, const std::string& member) {
    const std::string text = textOf(item, member);
    const auto guid = parseGuid(text);
    if (!guid) {
        refuse(member, "\"" + text + "\" is not a GUID of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    }
    return *guid;
}

std::vector<std::uint8_t> hexBytesOf(const cJSON* item, const std::string& member) {
    std::string digits;
    for (const char c : textOf(item, member)) {
        if (c != ' ') {
            digits.push_back(c);
        }
    }
    if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        refuse(member, "expected pairs of hexadecimal digits");
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::filesystem::path folderOf(const cJSON* item, const std::string& member,
                               const std::filesystem::path& base) {
    const std::filesystem::path folder = textOf(item, member);
    return folder.is_absolute() ? folder.lexically_normal() : (base / folder).lexically_normal();
}

// An object whose only member is "guid" or "hex" holding a text is a value; any other object is
// a subkey.
const cJSON* taggedValue(const cJSON* item, const char* tag) {
    if (!cJSON_IsObject(item) || item->child == nullptr || item->child->next != nullptr) {
        return nullptr;
    }
    return std::string(item->child->string) == tag && cJSON_IsString(item->child) ? item->child : nullptr;
}

sim::RegistryKey registryKeyOf(const cJSON* object, const std::string& member) {
    sim::RegistryKey key;
    forEachMember(object, member, [&key](const cJSON* item, const std::string& name) {
        const std::string valueName = item->string;
        if (cJSON_IsNumber(item)) {
            key.set(valueName, sim::RegistryValue::dword(anyWordOf(item, name)));
        } else if (cJSON_IsString(item)) {
            key.set(valueName, sim::RegistryValue::text(bytesOf(item, name)));
        } else if (const cJSON* guid = taggedValue(item, "guid")) {
            key.set(valueName, sim::RegistryValue::guid(guidOf(guid, child(name, "guid"))));
        } else if (const cJSON* hex = taggedValue(item, "hex")) {
            key.set(valueName, sim::RegistryValue::binary(hexBytesOf(hex, child(name, "hex"))));
        } else if (cJSON_IsObject(item)) {
            if (valueName.empty() || valueName.find('\\') != std::string::npos) {
                refuse(name, "a subkey needs a name without backslashes");
            }
            key.subkey(valueName) = registryKeyOf(item, name);
        } else {
            refuse(name, "expected a number, a text, {\"guid\": ...}, {\"hex\": ...} or a subkey object");
        }
    });
    return key;
}

sim::DeviceInterface interfaceOf(const cJSON* object, const std::string& member) {
    sim::DeviceInterface result;
    bool hasClass = false;
    forEachMember(object, member, [&](const cJSON* item, const std::string& name) {
        const std::string field = item->string;
        if (field == "class") {
            result.classGuid = guidOf(item, name);
            hasClass = true;
        } else if (field == "reference") {
            result.reference = textOf(item, name);
        } else if (field == "path") {
            refuse(name, "a device path is not given but derived from the device's ID, the class and "
                         "\"reference\"; give the reference string instead");
        } else if (field == "key") {
            result.registryKey = registryKeyOf(item, name);
        } else {
            refuseUnknown(name);
        }
    });
    if (!hasClass) {
        refuse(child(member, "class"), "missing");
    }
    return result;
}

// Fills the device in place: a description of a thousand devices is not moved device by device.
void readDevice(const cJSON* object, const std::string& member, sim::Device& device, ParsedBoard& board) {
    bool hasId = false;
    forEachMember(object, member, [&](const cJSON* item, const std::string& name) {
        const std::string field = item->string;
        if (field == "id") {
            device.id = textOf(item, name);
            hasId = true;
        } else if (field == "parent") {
            device.parent = textOf(item, name);
        } else if (field == "enumerator") {
            device.enumerator = textOf(item, name);
        } else if (field == "present") {
            device.present = flagOf(item, name);
        } else if (field == "address") {
            device.address = unsignedOf(item, name);
        } else if (field == "hardwareKey") {
            device.hardwareRegistryKey = registryKeyOf(item, name);
        } else if (field == "interfaces") {
            forEachElement(item, name, [&device](const cJSON* element, const std::string& elementName) {
                device.interfaces.push_back(interfaceOf(element, elementName));
            });
        } else if (field == "board") {
            if (!cJSON_IsObject(item)) {
                refuse(name, "expected an object");
            }
            board.state = boardStateOf(item, name);
        } else {
            refuseUnknown(name);
        }
    });
    if (!hasId) {
        refuse(child(member, "id"), "missing");
    }
}

sim::PxiLocation pxiOf(const cJSON* object, const std::string& member) {
    sim::PxiLocation location;
    const std::pair<const char*, std::uint32_t*> fields[] = {{"bus", &location.bus},
                                                             {"device", &location.device},
                                                             {"function", &location.function},
                                                             {"chassis", &location.chassis},
                                                             {"slot", &location.slot}};
    std::set<std::string> given;
    forEachMember(object, member, [&](const cJSON* item, const std::string& name) {
        for (const auto& [field, target] : fields) {
            if (item->string == std::string(field)) {
                *target = unsignedOf(item, name);
                given.insert(field);
                return;
            }
        }
        refuseUnknown(name);
    });
    for (const auto& field : fields) {
        if (given.count(field.first) == 0) {
            refuse(child(member, field.first), "missing");
        }
    }
    return location;
}

// An error is a number (negative ones as 32-bit two's complement) or hexadecimal text "0x...".
DWORD errorOf(const cJSON* item, const std::string& member) {
    if (!cJSON_IsString(item)) {
        return anyWordOf(item, member);
    }
    const std::string text = item->valuestring;
    const bool hex = text.size() > 2 && text.size() <= 10 &&
                     (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) &&
                     text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
    if (!hex) {
        refuse(member, "\"" + text + "\" is neither a number nor hexadecimal text such as \"0xE0000204\"");
    }
    return static_cast<DWORD>(std::stoul(text.substr(2), nullptr, 16));
}

sim::Fault faultOf(const cJSON* object, const std::string& member) {
    sim::Fault fault;
    bool hasCall = false;
    bool hasError = false;
    forEachMember(object, member, [&](const cJSON* item, const std::string& name) {
        const std::string field = item->string;
        if (field == "call") {
            fault.call = textOf(item, name);
            hasCall = true;
        } else if (field == "error") {
            fault.error = errorOf(item, name);
            hasError = true;
        } else if (field == "argument") {
            fault.argument = textOf(item, name);
        } else if (field == "after") {
            fault.after = unsignedOf(item, name);
        } else if (field == "times") {
            fault.times = unsignedOf(item, name);
        } else {
            refuseUnknown(name);
        }
    });
    if (!hasCall) {
        refuse(child(member, "call"), "missing");
    }
    if (!hasError) {
        refuse(child(member, "error"), "missing");
    }
    return fault;
}

void readTopLevel(const cJSON* root, const std::filesystem::path& folder, ParsedDescription& parsed) {
    sim::Machine& machine = parsed.machine;
    forEachMember(root, "", [&](const cJSON* item, const std::string& name) {
        if (name == "drives") {
            forEachMember(item, name, [&](const cJSON* drive, const std::string& driveName) {
                const std::string letter = drive->string;
                if (letter.size() != 1 || toUpperAscii(letter)[0] < 'A' || toUpperAscii(letter)[0] > 'Z') {
                    refuse(driveName, "\"" + letter + "\" is not a drive letter");
                }
                machine.mapDrive(toUpperAscii(letter)[0], folderOf(drive, driveName, folder).string());
            });
        } else if (name == "commonAppData") {
            machine.commonAppData = utf16Of(item, name);
        } else if (name == "libraryPath") {
            forEachElement(item, name, [&](const cJSON* entry, const std::string& entryName) {
                machine.addLibraryFolder(folderOf(entry, entryName, folder).string());
            });
        } else if (name == "ansiCodePage") {
            machine.ansiCodePage = static_cast<UINT>(integerOf(item, name, 1, 65535));
        } else if (name == "devices") {
            forEachElement(item, name, [&](const cJSON* entry, const std::string& entryName) {
                readDevice(entry, entryName, machine.devices.emplace_back(), parsed.boards.emplace_back());
            });
        } else if (name == "pxi") {
            forEachElement(item, name, [&](const cJSON* entry, const std::string& entryName) {
                machine.addPxi(pxiOf(entry, entryName));
            });
        } else if (name == "faults") {
            forEachElement(item, name, [&](const cJSON* entry, const std::string& entryName) {
                machine.addFault(faultOf(entry, entryName));
            });
        } else {
            refuseUnknown(name);
        }
    });
}

// Takes each device's "board" out of the checked document, one tree each, in device order.
void keepBoardTrees(cJSON* root, std::vector<ParsedBoard>& boards) {
    const cJSON* devices = cJSON_GetObjectItemCaseSensitive(root, "devices");
    std::size_t index = 0;
    for (cJSON* device = devices != nullptr ? devices->child : nullptr; device != nullptr;
         device = device->next, ++index) {
        if (cJSON* board = cJSON_GetObjectItemCaseSensitive(device, "board")) {
            boards[index].tree.reset(cJSON_DetachItemViaPointer(device, board), &cJSON_Delete);
        }
    }
}

} // namespace

ParsedDescription parseMachineDescription(const std::string& text, const std::filesystem::path& folder) {
    // JSON allows no raw NUL; cJSON would end a string there and read on after it.
    if (const std::size_t nul = text.find('\0'); nul != std::string::npos) {
        refuse("(top level)", "not valid JSON (a NUL byte at byte " + std::to_string(nul) + ")");
    }
    const char* end = nullptr;
    const std::unique_ptr<cJSON, decltype(&cJSON_Delete)> root(
        cJSON_ParseWithLengthOpts(text.c_str(), text.size(), &end, false), &cJSON_Delete);
    if (!root) {
        const std::size_t offset = end != nullptr ? static_cast<std::size_t>(end - text.c_str()) : 0;
        refuse("(top level)", "not valid JSON (near byte " + std::to_string(offset) + ")");
    }
    if (end != nullptr && text.find_first_not_of(" \t\r\n", static_cast<std::size_t>(end - text.c_str())) !=
                              std::string::npos) {
        refuse("(top level)",
               "text follows the JSON value (at byte " + std::to_string(end - text.c_str()) + ")");
    }
    ParsedDescription parsed;
    readTopLevel(root.get(), folder, parsed);
    keepBoardTrees(root.get(), parsed.boards);
    return parsed;
}

sim::Machine machineWithBoardText(ParsedDescription description) {
    for (std::size_t i = 0; i < description.boards.size(); ++i) {
        if (description.boards[i].tree) {
            description.machine.devices[i].board = boardTextOf(description.boards[i].tree.get());
        }
    }
    return std::move(description.machine);
}

} // namespace winsim

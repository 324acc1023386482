#include "host/boardReports.h"

#include "com/CqvBStr.h"
#include "host/aliasFile.h"
#include "host/aliaskeys/aliasKeys.h"
#include "host/progress.h"
#include "host/timeText.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <tuple>
#include <utility>

namespace hwconfig {
namespace {

struct TagName {
    ULONG tag;
    const char* name;
};

// Tags whose meaning the host does not name to experts are shown as fixed values.
constexpr TagName kTagNames[] = {
    {hwSysTagFixed1001000, "fixed value"},
    {hwSysTagFixed1002000, "fixed value"},
    {hwSysTagPciVendorId, "PCI vendor ID"},
    {hwSysTagManufacturerName, "manufacturer"},
    {hwSysTagPciSubsystemId, "PCI subsystem ID"},
    {hwSysTagModelName, "model"},
    {hwSysTagSerialNumber, "serial number"},
    {hwSysTagIsProductQV, "product of the maker"},
    {hwSysTagPxiChassis, "PXI chassis"},
    {hwSysTagPxiSlot, "PXI slot"},
    {hwSysTagSlotsOccupied, "slots occupied"},
    {hwSysTagFixed1020000, "fixed value"},
    {hwSysTagSelfCalPresent, "self-calibration present"},
    {hwSysTagSelfCalTime, "last self-calibration"},
    {hwSysTagSelfCalTemperature, "self-calibration temperature"},
    {hwSysTagExternalCalPresent, "external calibration present"},
    {hwSysTagExternalCalTime, "last external calibration"},
    {hwSysTagExternalCalDue, "external calibration due"},
    {hwSysTagFixed1069000, "fixed value"},
    {hwSysTagFixed106B000, "fixed value"},
    {hwSysTagPciBusNumber, "PCI bus"},
    {hwSysTagPciDeviceNumber, "PCI device"},
    {hwSysTagPciFunctionNumber, "PCI function"},
    {hwSysTagPcieLinkWidth, "PCI Express link width"},
    {hwSysTagPcieMaxLinkWidth, "PCI Express maximum link width"},
    {hwSysTagPxiSlotNumber, "PXI slot number"},
    {hwSysTagFixed101C000, "fixed value"},
    {hwSysTagItemName, "item name"},
    {hwSysTagFixed102A000, "fixed value"},
    {hwSysTagExpertIdentifier, "expert identifier"},
    {hwSysTagAlias, "alias"},
    {hwSysTagFixed1037000, "fixed value"},
    {hwSysTagFixed1054000, "fixed value"},
    {hwSysTagFixed1024000, "fixed value"},
    {hwSysTagFixed1056000, "fixed value"},
    {hwSysTagTemperatureSensorCount, "temperature sensors"},
    {hwSysTagFixed106F000, "fixed value"},
    {hwSysTagRegisterAccessDevicePath, "register-access device path"},
    {hwSysTagHardwareRevision, "hardware revision"},
    {hwSysTagRoutingAdaptorName, "routing adaptor"},
    {hwSysTagRoutingDevicePath, "routing device path"},
    {hwSysTagRoutingItemName, "routing item name"},
    {hwSysTagFixed10001000, "fixed value"},
    {hwSysTagFixed10002000, "fixed value"},
    {hwSysTagFixed10003000, "fixed value"},
    {hwSysTagMainDevicePath, "main device path"},
};

BoardProperty readProperty(IhwSysPropertyBag3* bag, ULONG tag) {
    BoardProperty property{tag, 0, false};
    throwIfFailed(bag->GetPropertyType(tag, &property.type), "GetPropertyType");
    switch (property.type) {
    case hwSysPropertyTypeBool: {
        LONG value = 0;
        throwIfFailed(bag->GetBool(tag, &value), "GetBool");
        property.value = value != 0;
        break;
    }
    case hwSysPropertyTypeLong: {
        LONG value = 0;
        throwIfFailed(bag->GetLong(tag, &value), "GetLong");
        property.value = value;
        break;
    }
    case hwSysPropertyTypeULong: {
        ULONG value = 0;
        throwIfFailed(bag->GetULong(tag, &value), "GetULong");
        property.value = value;
        break;
    }
    case hwSysPropertyTypeDouble: {
        double value = 0;
        throwIfFailed(bag->GetDouble(tag, &value), "GetDouble");
        property.value = value;
        break;
    }
    case hwSysPropertyTypeGuid: {
        GUID value{};
        throwIfFailed(bag->GetGuid(tag, &value), "GetGuid");
        property.value = value;
        break;
    }
    case hwSysPropertyTypeString: {
        qvkelpsysapiexpert::CqvBStr value;
        throwIfFailed(bag->GetString(tag, value.address()), "GetString");
        // An alias is kept as bytes of the ANSI code page, and read so wherever hwconfig shows one.
        property.value = tag == hwSysTagAlias ? moduleTextToUtf8(value.get()) : toUtf8(value.get());
        break;
    }
    case hwSysPropertyTypeTimestamp: {
        hwSysAttrTimestampUTC value{};
        throwIfFailed(bag->GetTimestamp(tag, &value), "GetTimestamp");
        property.value = value;
        break;
    }
    default:
        throw HostError("the bag holds a value of unknown type " + std::to_string(property.type));
    }
    return property;
}

std::vector<BoardProperty> readProperties(IhwSysPropertyBag3* bag) {
    std::vector<BoardProperty> properties;
    qv::com_ptr<IhwSysEnumPropertyTag> tags;
    throwIfFailed(bag->EnumPropertyTags(tags.put()), "EnumPropertyTags");
    ULONG tag = 0;
    while (tags && tags->Next(1, &tag, nullptr) == S_OK) {
        properties.push_back(readProperty(bag, tag));
    }
    return properties;
}

std::string timestampText(const hwSysAttrTimestampUTC& stamp) {
    const std::optional<Time> time = timeOfStamp(stamp);
    return time ? isoTime(*time) + " (" + localTimeText(*time) + " local)" : "not set";
}

// PCI IDs as lspci shows them: "1f2b".
bool isPciId(ULONG tag) {
    return tag == hwSysTagPciVendorId || tag == hwSysTagPciSubsystemId;
}

std::string hexText(ULONG value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04lx", static_cast<unsigned long>(value));
    return text;
}

std::string guidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

cJSON* timestampJson(const hwSysAttrTimestampUTC& stamp) {
    const std::optional<Time> time = timeOfStamp(stamp);
    if (!time) {
        return cJSON_CreateNull();
    }
    cJSON* object = cJSON_CreateObject();
    if (object == nullptr) {
        throw std::bad_alloc();
    }
    const bool filled = cJSON_AddNumberToObject(object, "seconds", static_cast<double>(stamp.seconds)) != nullptr &&
                        // A number of 64 bits, written whole: a double would round it.
                        cJSON_AddRawToObject(object, "fraction", std::to_string(stamp.fraction).c_str()) != nullptr &&
                        cJSON_AddStringToObject(object, "utc", isoTime(*time).c_str()) != nullptr &&
                        cJSON_AddStringToObject(object, "local", localTimeText(*time).c_str()) != nullptr;
    if (!filled) {
        cJSON_Delete(object);
        throw std::bad_alloc();
    }
    return object;
}

} // namespace

namespace {

// The order boards are numbered in: those in a PXI chassis by chassis and slot, then the others by
// PCI bus, device and function, then any whose place cannot be read; the item name last, so that
// no two boards tie. The system's enumeration order is not promised to stay the same.
struct PlaceKey {
    bool unknown = true;
    bool outsideChassis = true;
    aliaskeys::BoardPlace place;
    std::string itemName;

    auto tied() const {
        return std::tie(unknown, outsideChassis, place.chassis, place.slot, place.bus, place.device,
                        place.function, itemName);
    }
};

PlaceKey placeOf(const ItemName& itemName, const aliaskeys::BoardPlaces& places) {
    PlaceKey key;
    key.itemName = toUtf8(itemName.c_str());
    const auto found = places.find(itemName);
    key.unknown = found == places.end();
    if (!key.unknown) {
        key.place = found->second;
    }
    key.outsideChassis = key.place.chassis == 0;
    return key;
}

std::vector<ItemName> inPlaceOrder(std::vector<ItemName> names, aliaskeys::BoardPlaces& places) {
    // A walk that fails leaves the boards it did not reach without a place, ordered after the others.
    static_cast<void>(aliaskeys::readBoardPlaces(places));
    std::vector<std::pair<PlaceKey, ItemName>> placed;
    for (ItemName& name : names) {
        placed.emplace_back(placeOf(name, places), std::move(name));
    }
    std::sort(placed.begin(), placed.end(),
              [](const auto& a, const auto& b) { return a.first.tied() < b.first.tied(); });
    names.clear();
    for (auto& entry : placed) {
        names.push_back(std::move(entry.second));
    }
    return names;
}

} // namespace

std::vector<ItemName> readItemNames(IhwSysExpert2* expert) {
    aliaskeys::BoardPlaces places;
    return readItemNames(expert, places);
}

std::vector<ItemName> readItemNames(IhwSysExpert2* expert, aliaskeys::BoardPlaces& places) {
    qv::com_ptr<IhwSysEnumStringList> names;
    throwIfFailed(expert->EnumerateItemNames(names.put()), "listing the boards (EnumerateItemNames)");
    std::vector<ItemName> result;
    while (names) {
        qvkelpsysapiexpert::CqvBStr name;
        ULONG fetched = 0;
        throwIfFailed(names->Next(1, name.address(), &fetched), "reading the item names");
        if (fetched == 0) {
            break;
        }
        result.emplace_back(name.get());
    }
    return inPlaceOrder(std::move(result), places);
}

BoardReport readBoardReport(IhwSysExpert2* expert, const ItemName& itemName) {
    BoardReport report;
    report.itemName = itemName;
    qv::com_ptr<IhwSysPropertyBag> bag;
    report.result = expert->GetResourceProperties(itemName.c_str(), bag.put());
    if (FAILED(report.result) || !bag) {
        return report;
    }
    qv::com_ptr<IhwSysPropertyBag3> typedBag;
    throwIfFailed(bag->QueryInterface(IID_IhwSysPropertyBag3, typedBag.put_void()),
          "QueryInterface(IhwSysPropertyBag3)");
    report.properties = readProperties(typedBag.get());
    return report;
}

namespace {

// hwconfig's collection for ReportResources: it keeps each board's properties by item name. An
// object of the caller's own, never reference-counted; nothing thrown crosses back to the module.
class ReportCollection final : public IhwSysHostCollection {
public:
    explicit ReportCollection(Progress& progress) : progress_(progress) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE HostOperation1() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE HostOperation2() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddToHostCollection(IhwSysPropertyBag* bag) override {
        try {
            qv::com_ptr<IhwSysPropertyBag3> typedBag;
            throwIfFailed(bag->QueryInterface(IID_IhwSysPropertyBag3, typedBag.put_void()),
                          "QueryInterface(IhwSysPropertyBag3)");
            qvkelpsysapiexpert::CqvBStr itemName;
            throwIfFailed(typedBag->GetString(hwSysTagItemName, itemName.address()), "reading a report's item name");
            properties_[ItemName(itemName.get())] = readProperties(typedBag.get());
            progress_.update(properties_.size());
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const std::exception&) {
            return E_FAIL;
        }
    }

    // The board's properties; nothing when no bag named it.
    std::optional<std::vector<BoardProperty>> take(const ItemName& itemName) {
        const auto found = properties_.find(itemName);
        if (found == properties_.end()) {
            return std::nullopt;
        }
        return std::move(found->second);
    }

private:
    Progress& progress_;
    std::map<ItemName, std::vector<BoardProperty>> properties_;
};

} // namespace

std::vector<BoardReport> readBoardReports(IhwSysExpert2* expert) {
    const std::vector<ItemName> names = readItemNames(expert);
    std::vector<BoardReport> reports;
    Progress progress("reading the boards' reports", names.size());
    // One ReportResources reads the alias file once for every board. Its first failure ends it
    // without naming the board, so then each board is asked on its own, which names every failure.
    ReportCollection collection(progress);
    const HRESULT listed = expert->ReportResources(&collection);
    for (const ItemName& itemName : names) {
        std::optional<std::vector<BoardProperty>> properties =
            listed == S_OK ? collection.take(itemName) : std::nullopt;
        if (properties) {
            reports.push_back({itemName, S_OK, std::move(*properties)});
        } else {
            reports.push_back(readBoardReport(expert, itemName));
            progress.update(reports.size());
        }
    }
    return reports;
}

const BoardProperty* findProperty(const BoardReport& report, ULONG tag) {
    for (const BoardProperty& property : report.properties) {
        if (property.tag == tag) {
            return &property;
        }
    }
    return nullptr;
}

std::string propertyText(const BoardReport& report, ULONG tag) {
    const BoardProperty* property = findProperty(report, tag);
    return property != nullptr ? propertyText(*property) : std::string();
}

std::string propertyName(ULONG tag) {
    for (const TagName& known : kTagNames) {
        if (known.tag == tag) {
            return known.name;
        }
    }
    for (ULONG sensor = 0; sensor < hwSysTemperatureSensorCount; ++sensor) {
        if (tag == hwSysTagTemperatureSensorName(sensor)) {
            return "temperature sensor " + std::to_string(sensor) + " name";
        }
        if (tag == hwSysTagTemperature(sensor)) {
            return "temperature sensor " + std::to_string(sensor);
        }
    }
    return "tag " + formatTag(tag);
}

const char* propertyTypeName(ULONG type) {
    static const char* const names[] = {"?", "bool", "long", "unsigned", "double", "GUID", "string", "timestamp"};
    return type < std::size(names) ? names[type] : "?";
}

std::optional<PxiLocation> pxiLocation(const BoardReport& report) {
    const std::string chassis = propertyText(report, hwSysTagPxiChassis);
    const BoardProperty* slot = findProperty(report, hwSysTagPxiSlot);
    const LONG* slotNumber = slot != nullptr ? std::get_if<LONG>(&slot->value) : nullptr;
    unsigned long number = 0;
    char rest = 0;
    if (slotNumber == nullptr || std::sscanf(chassis.c_str(), "PXI%lu%c", &number, &rest) != 1 || number == 0) {
        return std::nullopt;
    }
    return PxiLocation{number, *slotNumber};
}

std::string locationText(const PxiLocation& location) {
    return "PXI" + std::to_string(location.chassis) + "/" + std::to_string(location.slot);
}

std::string defaultAlias(const BoardReport& report) {
    return propertyText(report, hwSysTagPxiChassis) + "Slot" + propertyText(report, hwSysTagPxiSlot);
}

namespace {

// What a failed report most likely means, from the HRESULT the module gives.
std::string reportFailureWords(HRESULT result) {
    switch (result) {
    case E_FAIL:
        return "report failed (the board's driver library, one of its functions or one of its registry "
               "values is missing, or the alias file is malformed)";
    case E_UNEXPECTED:
        return "report failed (the alias file or the board could not be read)";
    case E_OUTOFMEMORY:
        return "report failed (out of memory)";
    default:
        return "report failed";
    }
}

} // namespace

HostError reportFailure(const BoardReport& report) {
    // The module fails every report while it cannot use the alias file; that is the cause to fix.
    const std::optional<HostError>& aliasProblem = aliasFileProblem();
    HostError failure =
        failedCall(aliasProblem ? "report failed" : reportFailureWords(report.result), report.result);
    if (aliasProblem && (report.result == E_UNEXPECTED || report.result == E_FAIL)) {
        return HostError(failure.what() + std::string("; ") + aliasProblem->what(), kExitFailure, report.result);
    }
    return failure;
}

std::string propertyText(const BoardProperty& property) {
    if (isPciId(property.tag)) {
        if (const ULONG* id = std::get_if<ULONG>(&property.value)) {
            return hexText(*id);
        }
    }
    struct Text {
        std::string operator()(bool value) const { return value ? "true" : "false"; }
        std::string operator()(LONG value) const { return std::to_string(value); }
        std::string operator()(ULONG value) const { return std::to_string(value); }
        std::string operator()(double value) const {
            char text[32];
            std::snprintf(text, sizeof text, "%g", value);
            return text;
        }
        std::string operator()(const GUID& value) const { return guidText(value); }
        std::string operator()(const std::string& value) const { return value; }
        std::string operator()(const hwSysAttrTimestampUTC& value) const { return timestampText(value); }
    };
    return std::visit(Text{}, property.value);
}

cJSON* propertyJson(const BoardProperty& property) {
    struct Json {
        cJSON* operator()(bool value) const { return cJSON_CreateBool(value); }
        cJSON* operator()(LONG value) const { return cJSON_CreateNumber(value); }
        cJSON* operator()(ULONG value) const { return cJSON_CreateNumber(value); }
        cJSON* operator()(double value) const { return cJSON_CreateNumber(value); }
        cJSON* operator()(const GUID& value) const { return cJSON_CreateString(guidText(value).c_str()); }
        cJSON* operator()(const std::string& value) const { return cJSON_CreateString(value.c_str()); }
        cJSON* operator()(const hwSysAttrTimestampUTC& value) const { return timestampJson(value); }
    };
    cJSON* value = std::visit(Json{}, property.value);
    if (value == nullptr) {
        throw std::bad_alloc();
    }
    return value;
}

std::string formatTag(ULONG tag) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(tag));
    return text;
}


} // namespace hwconfig

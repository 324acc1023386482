#include "source/calibrationWrites.h"

#include "abi/boardLibraries.h"
#include "propertybag/ChwSysEnumSTL.h"
#include "com/CqvBStr.h"
#include "source/boardDriverLibrary.h"
#include "com/hostBoundary.h"
#include "support/status_codes.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

namespace qvkelpsysapiexpert {

using nQVOSALS100::tStatus;

namespace {

constexpr std::uint64_t kSecondsPerDay = 86400;
// The board library takes the interval as a signed day count.
constexpr std::uint64_t kLongestIntervalDays = 0x7FFFFFFF;

struct ReleaseReference {
    void operator()(IUnknown* object) const noexcept { object->Release(); }
};
template <class Interface> using tReference = std::unique_ptr<Interface, ReleaseReference>;

// The request bag at the level that has changed tags and time stamps.
tReference<IhwSysPropertyBag3> fullRequestBag(IhwSysPropertyBag* bag) {
    void* full = nullptr;
    throwIfFailedHResult(bag->QueryInterface(IID_IhwSysPropertyBag3, &full));
    return tReference<IhwSysPropertyBag3>(static_cast<IhwSysPropertyBag3*>(full));
}

// The changed tags, or null when nothing changed.
tReference<IhwSysEnumPropertyTag> changedTagsOf(IhwSysPropertyBag3* bag) {
    IhwSysEnumPropertyTag* tags = nullptr;
    throwIfFailedHResult(bag->EnumChangedTags(&tags));
    return tReference<IhwSysEnumPropertyTag>(tags);
}

bool nextTag(IhwSysEnumPropertyTag* tags, ULONG* tag) {
    const HRESULT result = tags->Next(1, tag, nullptr);
    throwIfFailedHResult(result);
    return result == S_OK;
}

hwSysAttrTimestampUTC getTimestampProperty(IhwSysPropertyBag3* bag, ULONG tag) {
    hwSysAttrTimestampUTC time{};
    throwIfFailedHResult(bag->GetTimestamp(tag, &time));
    return time;
}

bool isSet(const hwSysAttrTimestampUTC& time) {
    return time.seconds != 0 || time.fraction != 0;
}

std::uint64_t wholeDays(const hwSysAttrTimestampUTC& time) {
    return static_cast<std::uint64_t>(time.seconds) / kSecondsPerDay;
}

// Days from the calibration to the due date; 0 (no due date) when the due date is unset.
std::uint32_t intervalDays(const hwSysAttrTimestampUTC& calibration, const hwSysAttrTimestampUTC& due) {
    if (!isSet(due)) {
        return 0;
    }
    // Without a calibration date the interval would count from 1904 and move the board's due date
    // decades away.
    if (!isSet(calibration)) {
        throw HW_E_INVALID_CAL_DATE;
    }
    const std::uint64_t calibrationDay = wholeDays(calibration);
    const std::uint64_t dueDay = wholeDays(due);
    if (dueDay <= calibrationDay) {
        throw HW_E_INVALID_CAL_DATE;
    }
    if (dueDay - calibrationDay > kLongestIntervalDays) {
        throw HW_E_CAL_INTERVAL_TOO_LONG;
    }
    return static_cast<std::uint32_t>(dueDay - calibrationDay);
}

// Every write needs the current password; without one the board is not even asked.
std::string currentPassword(IhwSysPropertyBag* bag) {
    const HRESULT present = bag->HasProperty(hwSysTagExternalCalPassword);
    throwIfFailedHResult(present);
    if (present != S_OK) {
        throw HW_E_CAL_PASSWORD_INVALID;
    }
    return getStringProperty(bag, hwSysTagExternalCalPassword);
}

template <class Function>
Function boardFunction(const dynload::LibraryHandle& library, const std::string& prefix, const char* suffix) {
    return library.getFunction<Function>((prefix + suffix).c_str());
}

void mergeBoardCode(std::int32_t code, tStatus* status, std::uint32_t line) {
    status->setCode(code, nQVOSALS100::kComponentName, __FILE__, line);
}

// The library judges the password: changing it to itself succeeds only when it is right.
void checkPasswordWithBoard(IhwSysPropertyBag3* bag, LPCWSTR itemName, dynload::LibraryHandle& library,
                            tStatus* status) {
    const std::string deviceName = getStringProperty(bag, hwSysTagMainDevicePath);
    const std::string password = currentPassword(bag);
    const std::string prefix = loadBoardDriverLibrary(itemName, library, status);
    if (status->isFatal()) {
        return;
    }
    const auto change = boardFunction<boardlib::ChangeExternalCalPasswordFunction>(
        library, prefix, boardlib::kChangeExternalCalPasswordSuffix);
    mergeBoardCode(change(deviceName.c_str(), password.c_str(), password.c_str()), status, __LINE__);
}

// Validation of one changed tag; false for a tag that is not validation's business.
bool validateTag(ULONG tag, IhwSysPropertyBag3* bag, LPCWSTR itemName, dynload::LibraryHandle& library,
                 tStatus* status) {
    const std::string noPrefix;
    switch (tag) {
    case hwSysTagExternalCalTime:
        handleCalVerificationTime(bag, library, noPrefix, false, status);
        return true;
    case hwSysTagExternalCalDue:
        handleCalDueDate(bag, library, noPrefix, false, status);
        return true;
    case hwSysTagExternalCalPassword:
        checkPasswordWithBoard(bag, itemName, library, status);
        return true;
    case hwSysTagNewExternalCalPassword:
        handleCalPasswordChange(bag, library, noPrefix, false, status);
        return true;
    default:
        return false;
    }
}

using tWriteHandler = void (*)(IhwSysPropertyBag3*, const dynload::LibraryHandle&, const std::string&, bool,
                               tStatus*);

// The handler that writes a changed tag; null for a tag a save ignores (the current password too).
tWriteHandler writeHandlerOf(ULONG tag) {
    switch (tag) {
    case hwSysTagExternalCalTime:
        return handleCalVerificationTime;
    case hwSysTagExternalCalDue:
        return handleCalDueDate;
    case hwSysTagNewExternalCalPassword:
        return handleCalPasswordChange;
    default:
        return nullptr;
    }
}

// The changed tags in the order they are written: the host's, except that the calibration date
// comes right after the due date. The board keeps the due date as an interval counted from the
// calibration date, in a separate write; with the interval first, a save cut short between the two
// leaves the previous date with the new interval, a due date no later than the one being saved,
// where the other order could push an overdue board's due date years ahead.
tTagVector writeOrder(IhwSysEnumPropertyTag* changed) {
    tTagVector tags;
    ULONG tag = 0;
    while (nextTag(changed, &tag)) {
        tags.push_back(tag);
    }
    const auto date = std::find(tags.begin(), tags.end(), hwSysTagExternalCalTime);
    const auto due = std::find(tags.begin(), tags.end(), hwSysTagExternalCalDue);
    if (date < due && due != tags.end()) {
        std::rotate(date, date + 1, due + 1);
    }
    return tags;
}

} // namespace

std::string getStringProperty(IhwSysPropertyBag* bag, ULONG tag) {
    CqvBStr text;
    throwIfFailedHResult(bag->GetString(tag, text.address()));
    // A null BSTR is COM's empty string: an empty password is a password.
    static const WCHAR kEmpty[] = {0};
    // The host's texts narrow by the item name's rule.
    tStatus conversion;
    const nQVOSALS100::tBasicString narrow =
        narrowItemName(text.get() != nullptr ? text.get() : kEmpty, &conversion);
    if (conversion.isFatal()) {
        throw std::bad_alloc(); // the copy is all that can fail
    }
    return narrow.c_str();
}

void handleCalVerificationTime(IhwSysPropertyBag3* bag, const dynload::LibraryHandle& library,
                               const std::string& prefix, bool write, tStatus* status) {
    const std::string deviceName = getStringProperty(bag, hwSysTagMainDevicePath);
    const hwSysAttrTimestampUTC time = getTimestampProperty(bag, hwSysTagExternalCalTime);
    if (!isSet(time)) {
        throw HW_E_INVALID_CAL_DATE;
    }
    const std::string password = currentPassword(bag);
    if (write) {
        const auto writeTime = boardFunction<boardlib::WriteExternalCalVerificationTimeFunction>(
            library, prefix, boardlib::kWriteExternalCalVerificationTimeSuffix);
        mergeBoardCode(writeTime(deviceName.c_str(), time.seconds, time.fraction, password.c_str()), status,
                       __LINE__);
    }
}

void handleCalDueDate(IhwSysPropertyBag3* bag, const dynload::LibraryHandle& library,
                      const std::string& prefix, bool write, tStatus* status) {
    const std::string deviceName = getStringProperty(bag, hwSysTagMainDevicePath);
    const hwSysAttrTimestampUTC calibration = getTimestampProperty(bag, hwSysTagExternalCalTime);
    const hwSysAttrTimestampUTC due = getTimestampProperty(bag, hwSysTagExternalCalDue);
    const std::uint32_t interval = intervalDays(calibration, due);
    const std::string password = currentPassword(bag);
    if (write) {
        const auto writeInterval = boardFunction<boardlib::WriteExternalCalIntervalFunction>(
            library, prefix, boardlib::kWriteExternalCalIntervalSuffix);
        mergeBoardCode(writeInterval(deviceName.c_str(), interval, password.c_str()), status, __LINE__);
    }
}

void handleCalPasswordChange(IhwSysPropertyBag3* bag, const dynload::LibraryHandle& library,
                             const std::string& prefix, bool write, tStatus* status) {
    const std::string deviceName = getStringProperty(bag, hwSysTagMainDevicePath);
    const std::string newPassword = getStringProperty(bag, hwSysTagNewExternalCalPassword);
    const std::string password = currentPassword(bag);
    if (!write) {
        return;
    }
    const auto change = boardFunction<boardlib::ChangeExternalCalPasswordFunction>(
        library, prefix, boardlib::kChangeExternalCalPasswordSuffix);
    mergeBoardCode(change(deviceName.c_str(), newPassword.c_str(), password.c_str()), status, __LINE__);
    // Whatever the board answered: after a refusal the save ends here anyway.
    CqvBStr changed;
    throwIfFailedHResult(bag->GetString(hwSysTagNewExternalCalPassword, changed.address()));
    throwIfFailedHResult(bag->SetString(hwSysTagExternalCalPassword, changed.get()));
}

HRESULT validateResourceProperties(LPCWSTR itemName, IhwSysPropertyBag* bag,
                                   IhwSysEnumPropertyTag** acceptedTags, tStatus* status) {
    const tReference<IhwSysPropertyBag3> request = fullRequestBag(bag);
    const tReference<IhwSysEnumPropertyTag> changed = changedTagsOf(request.get());
    if (changed == nullptr) {
        return S_FALSE;
    }
    dynload::LibraryHandle library;
    tTagVector accepted;
    ULONG tag = 0;
    while (nextTag(changed.get(), &tag)) {
        if (!validateTag(tag, request.get(), itemName, library, status)) {
            continue;
        }
        if (status->isFatal()) {
            return S_OK; // the status decides the result
        }
        accepted.push_back(tag);
    }
    throwIfFailedHResult(makeTagEnumerator(std::move(accepted), acceptedTags));
    return S_OK;
}

HRESULT saveResourceProperties(LPCWSTR itemName, IhwSysPropertyBag* bag, tStatus* status) {
    const tReference<IhwSysPropertyBag3> request = fullRequestBag(bag);
    const tReference<IhwSysEnumPropertyTag> changed = changedTagsOf(request.get());
    if (changed == nullptr) {
        return S_FALSE;
    }
    dynload::LibraryHandle library;
    for (const ULONG tag : writeOrder(changed.get())) {
        if (status->isFatal()) {
            break;
        }
        const tWriteHandler handler = writeHandlerOf(tag);
        if (handler == nullptr) {
            continue;
        }
        const std::string prefix = loadBoardDriverLibrary(itemName, library, status);
        if (!status->isFatal()) {
            handler(request.get(), library, prefix, true, status);
        }
    }
    return S_OK;
}

} // namespace qvkelpsysapiexpert

#include "source/calibrationWrites.h"

#include "abi/boardLibraries.h"
#include "com/CqvBStr.h"
#include "com/com_ptr.h"
#include "com/hostBoundary.h"
#include "propertybag/ChwSysEnumSTL.h"
#include "source/boardContext.h"
#include "support/statusCodes.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

namespace qvkelpsysapiexpert {

using nQVOSALS100::tStatus;

namespace {

constexpr std::uint64_t kSecondsPerDay = 86400;
// The board library takes the interval as a signed day count.
constexpr std::uint64_t kLongestIntervalDays = 0x7FFFFFFF;

// The request bag at the level that has changed tags and time stamps.
qv::com_ptr<IhwSysPropertyBag3> fullRequestBag(IhwSysPropertyBag* bag) {
    qv::com_ptr<IhwSysPropertyBag3> full;
    throwIfFailedHResult(bag->QueryInterface(IID_IhwSysPropertyBag3, full.put_void()));
    return full;
}

// The changed tags, or null when nothing changed.
qv::com_ptr<IhwSysEnumPropertyTag> changedTagsOf(IhwSysPropertyBag3* bag) {
    qv::com_ptr<IhwSysEnumPropertyTag> tags;
    throwIfFailedHResult(bag->EnumChangedTags(tags.put()));
    return tags;
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
        throwHResult(HW_E_INVALID_CAL_DATE);
    }
    const std::uint64_t calibrationDay = wholeDays(calibration);
    const std::uint64_t dueDay = wholeDays(due);
    if (dueDay <= calibrationDay) {
        throwHResult(HW_E_INVALID_CAL_DATE);
    }
    if (dueDay - calibrationDay > kLongestIntervalDays) {
        throwHResult(HW_E_CAL_INTERVAL_TOO_LONG);
    }
    return static_cast<std::uint32_t>(dueDay - calibrationDay);
}

// Every write needs the current password; without one the board is not even asked.
std::string currentPassword(IhwSysPropertyBag* bag) {
    const HRESULT present = bag->HasProperty(hwSysTagExternalCalPassword);
    throwIfFailedHResult(present);
    if (present != S_OK) {
        throwHResult(HW_E_CAL_PASSWORD_INVALID);
    }
    return getStringProperty(bag, hwSysTagExternalCalPassword);
}

void mergeBoardCode(std::int32_t code, tStatus* status, std::uint32_t line) {
    status->setCode(code, nQVOSALS100::kComponentName, __FILE__, line);
}

// Each change below is read from the request bag and checked in one step - what validation does -
// and written by a second step that only a save takes. The members are read in the order shown.

struct VerificationTimeChange {
    std::string deviceName;
    hwSysAttrTimestampUTC time;
    std::string password;
};

VerificationTimeChange readVerificationTimeChange(IhwSysPropertyBag3* bag) {
    VerificationTimeChange change;
    change.deviceName = getStringProperty(bag, hwSysTagMainDevicePath);
    change.time = getTimestampProperty(bag, hwSysTagExternalCalTime);
    if (!isSet(change.time)) {
        throwHResult(HW_E_INVALID_CAL_DATE);
    }
    change.password = currentPassword(bag);
    return change;
}

struct IntervalChange {
    std::string deviceName;
    std::uint32_t intervalDays;
    std::string password;
};

IntervalChange readIntervalChange(IhwSysPropertyBag3* bag) {
    IntervalChange change;
    change.deviceName = getStringProperty(bag, hwSysTagMainDevicePath);
    const hwSysAttrTimestampUTC calibration = getTimestampProperty(bag, hwSysTagExternalCalTime);
    const hwSysAttrTimestampUTC due = getTimestampProperty(bag, hwSysTagExternalCalDue);
    change.intervalDays = intervalDays(calibration, due);
    change.password = currentPassword(bag);
    return change;
}

struct PasswordChange {
    std::string deviceName;
    std::string newPassword;
    std::string password;
};

PasswordChange readPasswordChange(IhwSysPropertyBag3* bag) {
    PasswordChange change;
    change.deviceName = getStringProperty(bag, hwSysTagMainDevicePath);
    change.newPassword = getStringProperty(bag, hwSysTagNewExternalCalPassword);
    change.password = currentPassword(bag);
    return change;
}

void changePassword(const BoardDriverLibrary& library, const PasswordChange& change, tStatus* status) {
    const auto changeFunction = library.function<boardlib::ChangeExternalCalPasswordFunction>(
        boardlib::kChangeExternalCalPasswordSuffix);
    mergeBoardCode(changeFunction(change.deviceName.c_str(), change.newPassword.c_str(), change.password.c_str()),
                   status, __LINE__);
}

// Validation of the current password: the library judges it - changing it to itself succeeds only
// when it is right.
void checkPasswordWithBoard(IhwSysPropertyBag3* bag, BoardContext& board, tStatus* status) {
    PasswordChange change;
    change.deviceName = getStringProperty(bag, hwSysTagMainDevicePath);
    change.password = currentPassword(bag);
    change.newPassword = change.password;
    const BoardDriverLibrary* library = board.driverLibrary(status);
    if (library == nullptr) {
        return;
    }
    changePassword(*library, change, status);
}

// Validation of one changed tag; false for a tag that is not validation's business.
bool validateTag(ULONG tag, IhwSysPropertyBag3* bag, BoardContext& board, tStatus* status) {
    switch (tag) {
    case hwSysTagExternalCalTime:
        readVerificationTimeChange(bag);
        return true;
    case hwSysTagExternalCalDue:
        readIntervalChange(bag);
        return true;
    case hwSysTagExternalCalPassword:
        checkPasswordWithBoard(bag, board, status);
        return true;
    case hwSysTagNewExternalCalPassword:
        readPasswordChange(bag);
        return true;
    default:
        return false;
    }
}

// The writes of a save, through the board driver library that the save has loaded.

void writeVerificationTime(IhwSysPropertyBag3* bag, const BoardDriverLibrary& library, tStatus* status) {
    const VerificationTimeChange change = readVerificationTimeChange(bag);
    const auto writeTime = library.function<boardlib::WriteExternalCalVerificationTimeFunction>(
        boardlib::kWriteExternalCalVerificationTimeSuffix);
    mergeBoardCode(writeTime(change.deviceName.c_str(), change.time.seconds, change.time.fraction,
                             change.password.c_str()),
                   status, __LINE__);
}

void writeInterval(IhwSysPropertyBag3* bag, const BoardDriverLibrary& library, tStatus* status) {
    const IntervalChange change = readIntervalChange(bag);
    const auto writeIntervalFunction = library.function<boardlib::WriteExternalCalIntervalFunction>(
        boardlib::kWriteExternalCalIntervalSuffix);
    mergeBoardCode(writeIntervalFunction(change.deviceName.c_str(), change.intervalDays, change.password.c_str()),
                   status, __LINE__);
}

// A change, once written, becomes the request bag's current password, so that the writes handled
// after it in the same call pass the new one - whatever the board answered: after a refusal the
// save ends here anyway.
void writePasswordChange(IhwSysPropertyBag3* bag, const BoardDriverLibrary& library, tStatus* status) {
    changePassword(library, readPasswordChange(bag), status);
    CqvBStr changed;
    throwIfFailedHResult(bag->GetString(hwSysTagNewExternalCalPassword, changed.address()));
    throwIfFailedHResult(bag->SetString(hwSysTagExternalCalPassword, changed.get()));
}

using tWriteHandler = void (*)(IhwSysPropertyBag3*, const BoardDriverLibrary&, tStatus*);

// The handler that writes a changed tag; null for a tag a save ignores (the current password too).
tWriteHandler writeHandlerOf(ULONG tag) {
    switch (tag) {
    case hwSysTagExternalCalTime:
        return writeVerificationTime;
    case hwSysTagExternalCalDue:
        return writeInterval;
    case hwSysTagNewExternalCalPassword:
        return writePasswordChange;
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

HRESULT validateResourceProperties(BoardContext& board, IhwSysPropertyBag* bag,
                                   IhwSysEnumPropertyTag** acceptedTags, tStatus* status) {
    const qv::com_ptr<IhwSysPropertyBag3> request = fullRequestBag(bag);
    const qv::com_ptr<IhwSysEnumPropertyTag> changed = changedTagsOf(request.get());
    if (changed == nullptr) {
        return S_FALSE;
    }
    tTagVector accepted;
    ULONG tag = 0;
    while (nextTag(changed.get(), &tag)) {
        if (!validateTag(tag, request.get(), board, status)) {
            continue;
        }
        if (status->isFatal()) {
            return failedStatusResult(*status);
        }
        accepted.push_back(tag);
    }
    throwIfFailedHResult(makeTagEnumerator(std::move(accepted), acceptedTags));
    return S_OK;
}

HRESULT saveResourceProperties(BoardContext& board, IhwSysPropertyBag* bag, tStatus* status) {
    const qv::com_ptr<IhwSysPropertyBag3> request = fullRequestBag(bag);
    const qv::com_ptr<IhwSysEnumPropertyTag> changed = changedTagsOf(request.get());
    if (changed == nullptr) {
        return S_FALSE;
    }
    for (const ULONG tag : writeOrder(changed.get())) {
        if (status->isFatal()) {
            break;
        }
        const tWriteHandler write = writeHandlerOf(tag);
        if (write == nullptr) {
            continue;
        }
        // The library is loaded before the request is read, at the first tag there is to write.
        if (const BoardDriverLibrary* library = board.driverLibrary(status)) {
            write(request.get(), *library, status);
        }
    }
    return status->isFatal() ? failedStatusResult(*status) : S_OK;
}

} // namespace qvkelpsysapiexpert

#include "propertybag/ChwDynamicPropertyBag.h"

#include "com/hostBoundary.h"
#include "propertybag/ChwSysEnumSTL.h"
#include "propertybag/TimestampToDateTime.h"

#include <new>
#include <utility>

namespace qvkelpsysapiexpert {

namespace {

constexpr hwSysAttrDateTime kNoDateTime{-1, -1, -1, -1, -1, -1};

// Holds the bag's lock for one operation.
class BagLock {
public:
    explicit BagLock(Tessel::CqvSyncObject& bagLock) : held(bagLock) { held.lock(INFINITE); }
    ~BagLock() { held.unlock(); }
    BagLock(const BagLock&) = delete;
    BagLock& operator=(const BagLock&) = delete;

private:
    Tessel::CqvSyncObject& held;
};

using nQVOSALS100::tStatus;

// Hands out an enumerator over a snapshot of tags, or S_FALSE and null when there are none.
template <typename FillSnapshot>
HRESULT enumerateSnapshot(bool empty, IhwSysEnumPropertyTag** tags, FillSnapshot&& fill) {
    if (empty) {
        return S_FALSE;
    }
    tTagSet snapshot;
    fill(snapshot);
    return CreateEnumeratorOverSet(std::move(snapshot), tags);
}

template <typename T> std::unique_ptr<ChwPropertyValue> copyAs(const ChwPropertyValue& value) {
    return std::make_unique<ChwTemplatePropertyValue<T>>(
        static_cast<const ChwTemplatePropertyValue<T>&>(value).value);
}

// A new value object holding a copy of `value`, or null for a type code the bag does not know.
std::unique_ptr<ChwPropertyValue> copyOfValue(const ChwPropertyValue& value) {
    switch (value.type) {
    case hwSysPropertyTypeBool:
        return copyAs<bool>(value);
    case hwSysPropertyTypeLong:
        return copyAs<LONG>(value);
    case hwSysPropertyTypeULong:
        return copyAs<ULONG>(value);
    case hwSysPropertyTypeDouble:
        return copyAs<double>(value);
    case hwSysPropertyTypeGuid:
        return copyAs<GUID>(value);
    case hwSysPropertyTypeString:
        return copyAs<CqvBStr>(value);
    case hwSysPropertyTypeTimestamp:
        return copyAs<hwSysAttrTimestampUTC>(value);
    default:
        return nullptr;
    }
}

} // namespace

const tQVInterfaceEntry* ChwDynamicPropertyBag::interfaceMap() {
    static const tQVInterfaceEntry map[] = {
        qvInterfaceEntry<ChwDynamicPropertyBag, IhwSysPropertyBag>(IID_IhwSysPropertyBag),
        qvInterfaceEntry<ChwDynamicPropertyBag, IhwSysPropertyBag2>(IID_IhwSysPropertyBag2),
        qvInterfaceEntry<ChwDynamicPropertyBag, IhwSysPropertyBag3>(IID_IhwSysPropertyBag3),
        kQVInterfaceMapEnd,
    };
    return map;
}

template <typename T, typename Value> HRESULT ChwDynamicPropertyBag::storeValue(ULONG tag, Value&& value) {
    // The bag's own copy is made before the lock is taken; the caller's data is never kept.
    T copy(std::forward<Value>(value));
    BagLock guard(lock);
    const auto found = properties.lower_bound(tag);
    if (found == properties.end() || found->first != tag) {
        // Should the insertion fail, `created` still owns the new value and destroys it.
        auto created = std::make_unique<ChwTemplatePropertyValue<T>>(std::move(copy));
        properties.emplace_hint(found, tag, std::move(created));
    } else if (auto* stored = propertyValueAs<T>(found->second.get())) {
        stored->value = std::move(copy);
    } else {
        return HW_E_PROPERTY_TYPE_MISMATCH;
    }
    changedTags.insert(tag);
    return S_OK;
}

template <typename T, typename Value> HRESULT ChwDynamicPropertyBag::setValue(ULONG tag, Value&& value) {
    return runHostOperation([&](tStatus&) { return storeValue<T>(tag, std::forward<Value>(value)); });
}

template <typename T> HRESULT ChwDynamicPropertyBag::setValueAt(ULONG tag, const T* value) {
    return runHostOperation([&](tStatus&) { return storeValue<T>(tag, *value); }, requiredArgument(value));
}

template <typename T> const T* ChwDynamicPropertyBag::findValue(ULONG tag, HRESULT* result) {
    const auto found = properties.find(tag);
    if (found == properties.end()) {
        *result = HW_E_PROPERTY_NOT_FOUND;
        return nullptr;
    }
    const auto* stored = propertyValueAs<T>(found->second.get());
    *result = stored == nullptr ? HW_E_PROPERTY_TYPE_MISMATCH : S_OK;
    return stored == nullptr ? nullptr : &stored->value;
}

template <typename T> HRESULT ChwDynamicPropertyBag::getValue(ULONG tag, T* value) {
    return runHostOperation(
        [&](tStatus&) {
            BagLock guard(lock);
            HRESULT result = S_OK;
            if (const T* stored = findValue<T>(tag, &result)) {
                *value = *stored;
            }
            return result;
        },
        requiredArgument(value));
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::EnumPropertyTags(IhwSysEnumPropertyTag** tags) {
    return runHostOperation(
        [&](tStatus&) {
            BagLock guard(lock);
            return enumerateSnapshot(properties.empty(), tags, [this](tTagSet& snapshot) {
                for (const auto& property : properties) {
                    snapshot.emplace_hint(snapshot.end(), property.first);
                }
            });
        },
        outArgument(tags));
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::EnumChangedTags(IhwSysEnumPropertyTag** tags) {
    return runHostOperation(
        [&](tStatus&) {
            BagLock guard(lock);
            return enumerateSnapshot(changedTags.empty(), tags,
                                     [this](tTagSet& snapshot) { snapshot = changedTags; });
        },
        outArgument(tags));
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::HasProperty(ULONG tag) {
    return runHostOperation([&](tStatus&) {
        BagLock guard(lock);
        return properties.count(tag) != 0 ? S_OK : S_FALSE;
    });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetPropertyType(ULONG tag, ULONG* type) {
    return runHostOperation(
        [&](tStatus&) {
            BagLock guard(lock);
            const auto found = properties.find(tag);
            if (found == properties.end()) {
                return HW_E_PROPERTY_NOT_FOUND;
            }
            *type = found->second->type;
            return S_OK;
        },
        requiredArgument(type));
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::RemoveProperty(ULONG tag) {
    return runHostOperation([&](tStatus&) {
        BagLock guard(lock);
        if (properties.erase(tag) == 0) {
            return HW_E_PROPERTY_NOT_FOUND;
        }
        changedTags.erase(tag);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::RemoveAllProperties() {
    return runHostOperation([&](tStatus&) {
        BagLock guard(lock);
        properties.clear();
        changedTags.clear();
    });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetBool(ULONG tag, LONG value) {
    return setValue<bool>(tag, value != 0);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetLong(ULONG tag, LONG value) {
    return setValue<LONG>(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetULong(ULONG tag, ULONG value) {
    return setValue<ULONG>(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetDouble(ULONG tag, double value) {
    return setValue<double>(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetGuid(ULONG tag, const GUID* value) {
    return setValueAt(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetString(ULONG tag, LPCWSTR value) {
    return setValue<CqvBStr>(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetTimestamp(ULONG tag, const hwSysAttrTimestampUTC* value) {
    return setValueAt(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetDateTime(ULONG, hwSysAttrDateTime) {
    return runHostOperation([](tStatus&) { return E_NOTIMPL; });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetBool(ULONG tag, LONG* value) {
    return runHostOperation(
        [&](tStatus&) {
            BagLock guard(lock);
            HRESULT result = S_OK;
            const bool* stored = findValue<bool>(tag, &result);
            *value = stored != nullptr && *stored ? 1 : 0;
            return result;
        },
        requiredArgument(value));
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetLong(ULONG tag, LONG* value) {
    return getValue(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetULong(ULONG tag, ULONG* value) {
    return getValue(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetDouble(ULONG tag, double* value) {
    return getValue(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetGuid(ULONG tag, GUID* value) {
    return getValue(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetTimestamp(ULONG tag, hwSysAttrTimestampUTC* value) {
    return getValue(tag, value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetString(ULONG tag, BSTR* value) {
    return runHostOperation(
        [&](tStatus&) {
            BagLock guard(lock);
            HRESULT result = S_OK;
            const CqvBStr* stored = findValue<CqvBStr>(tag, &result);
            if (stored == nullptr || stored->get() == nullptr) {
                return result;
            }
            *value = SysAllocString(stored->get());
            return *value == nullptr ? E_OUTOFMEMORY : S_OK;
        },
        outArgument(value));
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetDateTime(ULONG tag, hwSysAttrDateTime* value) {
    return runHostOperation(
        [&](tStatus&) {
            BagLock guard(lock);
            HRESULT result = S_OK;
            if (const hwSysAttrTimestampUTC* stamp = findValue<hwSysAttrTimestampUTC>(tag, &result)) {
                TimestampToDateTime(*stamp, value);
            } else {
                *value = kNoDateTime;
            }
            return result;
        },
        requiredArgument(value));
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::CloneBag(IhwSysPropertyBag** clone) {
    return runHostOperation(
        [&](tStatus&) {
            BagLock guard(lock);
            qv::com_ptr<CQVComObject<ChwDynamicPropertyBag>> copy;
            const HRESULT creation = qvCreateObject(copy);
            if (FAILED(creation)) {
                return creation;
            }
            // The copy is not shared yet, so it is filled directly, in ascending order, with nothing
            // marked.
            for (const auto& property : properties) {
                std::unique_ptr<ChwPropertyValue> value = copyOfValue(*property.second);
                if (value == nullptr) {
                    return E_FAIL;
                }
                copy->properties.emplace_hint(copy->properties.end(), property.first, std::move(value));
            }
            qvHandOut(copy, clone);
            return S_OK;
        },
        outArgument(clone));
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::ClearChangedTags() {
    return runHostOperation([&](tStatus&) {
        BagLock guard(lock);
        if (changedTags.empty()) {
            return S_FALSE;
        }
        changedTags.clear();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::LockBag() {
    return runHostOperation([&](tStatus&) {
        BagLock guard(lock);
        lock.lock(INFINITE); // kept after the call, until UnlockBag
        ++lockDepth;
    });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::UnlockBag() {
    return runHostOperation([&](tStatus&) {
        BagLock guard(lock);
        if (lockDepth == 0) {
            return E_FAIL;
        }
        lock.unlock(); // the acquisition LockBag kept
        --lockDepth;
        return S_OK;
    });
}

HRESULT createPropertyBag(IhwSysPropertyBag3** bag) noexcept {
    return runHostOperation(
        [bag](tStatus&) {
            qv::com_ptr<CQVComObject<ChwDynamicPropertyBag>> created;
            const HRESULT creation = qvCreateObject(created);
            qvHandOut(created, bag);
            return creation;
        },
        outArgument(bag));
}

} // namespace qvkelpsysapiexpert

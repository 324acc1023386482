#include "propertybag/ChwDynamicPropertyBag.h"

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

// Runs the part of an operation that may allocate: an allocation failure becomes E_OUTOFMEMORY and
// no exception escapes.
template <typename Operation> HRESULT withoutExceptions(Operation&& operation) noexcept {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Hands out an enumerator over a snapshot of tags, or S_FALSE and null when there are none.
template <typename FillSnapshot>
HRESULT enumerateSnapshot(bool empty, IhwSysEnumPropertyTag** tags, FillSnapshot&& fill) noexcept {
    if (empty) {
        return S_FALSE;
    }
    return withoutExceptions([&] {
        tTagSet snapshot;
        fill(snapshot);
        return CreateEnumeratorOverSet(std::move(snapshot), tags);
    });
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

template <typename T, typename Value> HRESULT ChwDynamicPropertyBag::setValue(ULONG tag, Value&& value) {
    BagLock guard(lock);
    return withoutExceptions([&] {
        const auto found = properties.lower_bound(tag);
        if (found == properties.end() || found->first != tag) {
            // Should the insertion fail, `created` still owns the new value and destroys it.
            auto created = std::make_unique<ChwTemplatePropertyValue<T>>(std::forward<Value>(value));
            properties.emplace_hint(found, tag, std::move(created));
        } else if (auto* stored = propertyValueAs<T>(found->second.get())) {
            stored->value = std::forward<Value>(value);
        } else {
            return HW_E_PROPERTY_TYPE_MISMATCH;
        }
        changedTags.insert(tag);
        return S_OK;
    });
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
    if (value == nullptr) {
        return E_POINTER;
    }
    BagLock guard(lock);
    HRESULT result = S_OK;
    if (const T* stored = findValue<T>(tag, &result)) {
        *value = *stored;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::EnumPropertyTags(IhwSysEnumPropertyTag** tags) {
    if (tags == nullptr) {
        return E_POINTER;
    }
    *tags = nullptr;
    BagLock guard(lock);
    return enumerateSnapshot(properties.empty(), tags, [this](tTagSet& snapshot) {
        for (const auto& property : properties) {
            snapshot.emplace_hint(snapshot.end(), property.first);
        }
    });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::EnumChangedTags(IhwSysEnumPropertyTag** tags) {
    if (tags == nullptr) {
        return E_POINTER;
    }
    *tags = nullptr;
    BagLock guard(lock);
    return enumerateSnapshot(changedTags.empty(), tags,
                             [this](tTagSet& snapshot) { snapshot = changedTags; });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::HasProperty(ULONG tag) {
    BagLock guard(lock);
    return properties.count(tag) != 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetPropertyType(ULONG tag, ULONG* type) {
    if (type == nullptr) {
        return E_POINTER;
    }
    BagLock guard(lock);
    const auto found = properties.find(tag);
    if (found == properties.end()) {
        return HW_E_PROPERTY_NOT_FOUND;
    }
    *type = found->second->type;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::RemoveProperty(ULONG tag) {
    BagLock guard(lock);
    if (properties.erase(tag) == 0) {
        return HW_E_PROPERTY_NOT_FOUND;
    }
    changedTags.erase(tag);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::RemoveAllProperties() {
    BagLock guard(lock);
    properties.clear();
    changedTags.clear();
    return S_OK;
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
    return value == nullptr ? E_POINTER : setValue<GUID>(tag, *value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetString(ULONG tag, LPCWSTR value) {
    // The bag's own copy is made before the lock is taken; the caller's string is never kept.
    return withoutExceptions([&] { return setValue<CqvBStr>(tag, CqvBStr(value)); });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetTimestamp(ULONG tag, const hwSysAttrTimestampUTC* value) {
    return value == nullptr ? E_POINTER : setValue<hwSysAttrTimestampUTC>(tag, *value);
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::SetDateTime(ULONG, hwSysAttrDateTime) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetBool(ULONG tag, LONG* value) {
    if (value == nullptr) {
        return E_POINTER;
    }
    BagLock guard(lock);
    HRESULT result = S_OK;
    const bool* stored = findValue<bool>(tag, &result);
    *value = stored != nullptr && *stored ? 1 : 0;
    return result;
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
    if (value == nullptr) {
        return E_POINTER;
    }
    *value = nullptr;
    BagLock guard(lock);
    HRESULT result = S_OK;
    const CqvBStr* stored = findValue<CqvBStr>(tag, &result);
    if (stored == nullptr || stored->get() == nullptr) {
        return result;
    }
    *value = SysAllocString(stored->get());
    return *value == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::GetDateTime(ULONG tag, hwSysAttrDateTime* value) {
    if (value == nullptr) {
        return E_POINTER;
    }
    BagLock guard(lock);
    HRESULT result = S_OK;
    if (const hwSysAttrTimestampUTC* stamp = findValue<hwSysAttrTimestampUTC>(tag, &result)) {
        TimestampToDateTime(*stamp, value);
    } else {
        *value = kNoDateTime;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::CloneBag(IhwSysPropertyBag** clone) {
    if (clone == nullptr) {
        return E_POINTER;
    }
    *clone = nullptr;
    BagLock guard(lock);
    CQVComObject<ChwDynamicPropertyBag>* created = nullptr;
    const HRESULT creation = CQVComObject<ChwDynamicPropertyBag>::CreateInstance(&created);
    if (FAILED(creation)) {
        return creation;
    }
    created->AddRef();
    tComReference<IhwSysPropertyBag3> copy(created);
    // The copy is not shared yet, so it is filled directly, in ascending order, with nothing marked.
    return withoutExceptions([&] {
        for (const auto& property : properties) {
            std::unique_ptr<ChwPropertyValue> value = copyOfValue(*property.second);
            if (value == nullptr) {
                return E_FAIL;
            }
            created->properties.emplace_hint(created->properties.end(), property.first, std::move(value));
        }
        *clone = copy.release();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::ClearChangedTags() {
    BagLock guard(lock);
    if (changedTags.empty()) {
        return S_FALSE;
    }
    changedTags.clear();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::LockBag() {
    BagLock guard(lock);
    lock.lock(INFINITE); // kept after the call, until UnlockBag
    ++lockDepth;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE ChwDynamicPropertyBag::UnlockBag() {
    BagLock guard(lock);
    if (lockDepth == 0) {
        return E_FAIL;
    }
    lock.unlock(); // the acquisition LockBag kept
    --lockDepth;
    return S_OK;
}

HRESULT createPropertyBag(IhwSysPropertyBag3** bag) noexcept {
    if (bag == nullptr) {
        return E_POINTER;
    }
    *bag = nullptr;
    CQVComObject<ChwDynamicPropertyBag>* created = nullptr;
    const HRESULT creation = CQVComObject<ChwDynamicPropertyBag>::CreateInstance(&created);
    if (FAILED(creation)) {
        return creation;
    }
    created->AddRef();
    *bag = created;
    return S_OK;
}

} // namespace qvkelpsysapiexpert

// The property bag the expert reports a board in: typed values under 32-bit tags, a record of the
// tags written, a deep copy, and a lock a caller may hold across several calls.
//
// Every operation runs under the bag's recursive lock, so a bag may be shared between threads.
// No exception leaves an operation: allocation failures come back as E_OUTOFMEMORY and leave the
// bag as it was (a setter whose only failure is marking its tag as changed keeps the new value).
#pragma once

#include "hwsys/hwsys_errors.h"
#include "hwsys/hwsys_propertybag.h"
#include "propertybag/ChwPropertyValue.h"
#include "com/CQVComObject.h"
#include "support/CqvSync.h"

#include <map>
#include <memory>
#include <set>

namespace qvkelpsysapiexpert {

class ChwDynamicPropertyBag : public virtual CQVComObjectRootEx<CQVComMultiThreadModelNoCS>,
                              public IhwSysPropertyBag3 {
public:
    using tInterfaceMapOwner = ChwDynamicPropertyBag;
    static const tQVInterfaceEntry* interfaceMap();

    HRESULT STDMETHODCALLTYPE EnumPropertyTags(IhwSysEnumPropertyTag** tags) override;
    HRESULT STDMETHODCALLTYPE HasProperty(ULONG tag) override;
    HRESULT STDMETHODCALLTYPE GetPropertyType(ULONG tag, ULONG* type) override;
    HRESULT STDMETHODCALLTYPE RemoveProperty(ULONG tag) override;
    HRESULT STDMETHODCALLTYPE RemoveAllProperties() override;
    HRESULT STDMETHODCALLTYPE SetBool(ULONG tag, LONG value) override;
    HRESULT STDMETHODCALLTYPE SetLong(ULONG tag, LONG value) override;
    HRESULT STDMETHODCALLTYPE SetULong(ULONG tag, ULONG value) override;
    HRESULT STDMETHODCALLTYPE SetDouble(ULONG tag, double value) override;
    HRESULT STDMETHODCALLTYPE SetGuid(ULONG tag, const GUID* value) override;
    HRESULT STDMETHODCALLTYPE SetString(ULONG tag, LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE SetDateTime(ULONG tag, hwSysAttrDateTime value) override;
    HRESULT STDMETHODCALLTYPE GetBool(ULONG tag, LONG* value) override;
    HRESULT STDMETHODCALLTYPE GetLong(ULONG tag, LONG* value) override;
    HRESULT STDMETHODCALLTYPE GetULong(ULONG tag, ULONG* value) override;
    HRESULT STDMETHODCALLTYPE GetDouble(ULONG tag, double* value) override;
    HRESULT STDMETHODCALLTYPE GetGuid(ULONG tag, GUID* value) override;
    HRESULT STDMETHODCALLTYPE GetString(ULONG tag, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE GetDateTime(ULONG tag, hwSysAttrDateTime* value) override;
    HRESULT STDMETHODCALLTYPE CloneBag(IhwSysPropertyBag** clone) override;
    HRESULT STDMETHODCALLTYPE ClearChangedTags() override;
    HRESULT STDMETHODCALLTYPE EnumChangedTags(IhwSysEnumPropertyTag** tags) override;
    HRESULT STDMETHODCALLTYPE GetTimestamp(ULONG tag, hwSysAttrTimestampUTC* value) override;
    HRESULT STDMETHODCALLTYPE SetTimestamp(ULONG tag, const hwSysAttrTimestampUTC* value) override;
    HRESULT STDMETHODCALLTYPE LockBag() override;
    HRESULT STDMETHODCALLTYPE UnlockBag() override;

protected:
    ChwDynamicPropertyBag() = default;
    ~ChwDynamicPropertyBag() = default;

private:
    // Stores a copy of `value` as a T under `tag` and marks the tag; the host boundary is the caller's.
    template <typename T, typename Value> HRESULT storeValue(ULONG tag, Value&& value);
    template <typename T, typename Value> HRESULT setValue(ULONG tag, Value&& value);
    // For the setters that take the value by pointer: null gives E_POINTER.
    template <typename T> HRESULT setValueAt(ULONG tag, const T* value);
    // The value under `tag` as a T, or null with *result saying why not.
    template <typename T> const T* findValue(ULONG tag, HRESULT* result);
    template <typename T> HRESULT getValue(ULONG tag, T* value);

    Tessel::CqvCS lock;
    std::map<ULONG, std::unique_ptr<ChwPropertyValue>> properties;
    std::set<ULONG> changedTags;
    ULONG lockDepth = 0;
};

// A new, empty bag with one reference for the caller; E_OUTOFMEMORY (and null) when it cannot be
// made, E_POINTER for a null out pointer.
HRESULT createPropertyBag(IhwSysPropertyBag3** bag) noexcept;

} // namespace qvkelpsysapiexpert

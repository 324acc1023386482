// The host's property-bag interfaces: typed values under 32-bit tags.
//
// One chain, IhwSysPropertyBag3 : IhwSysPropertyBag2 : IhwSysPropertyBag : IUnknown, so one
// interface pointer serves all three levels; each level appends its operations to the table.
#pragma once

#include "hwsys/hwsys_enumerators.h"
#include "hwsys/hwsys_types.h"
#include "hwsys/hwsys_unknown.h"

inline constexpr IID IID_IhwSysPropertyBag = {
    0x3E2F201D, 0xCABE, 0x466F, {0x93, 0xAE, 0x50, 0x22, 0x44, 0xC1, 0x8D, 0xDE}};
inline constexpr IID IID_IhwSysPropertyBag2 = {
    0xE275E061, 0x297B, 0x4463, {0xA5, 0xF1, 0x5D, 0x2D, 0x9D, 0x8F, 0x38, 0x98}};
inline constexpr IID IID_IhwSysPropertyBag3 = {
    0xB122AAB9, 0x2F03, 0x4E75, {0xA0, 0xD1, 0xA0, 0xF7, 0xC7, 0xDF, 0x28, 0x38}};

// Slots 3 to 21: enumeration, presence, removal, the typed setters and getters.
struct IhwSysPropertyBag : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumPropertyTags(IhwSysEnumPropertyTag** tags) = 0;
    virtual HRESULT STDMETHODCALLTYPE HasProperty(ULONG tag) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyType(ULONG tag, ULONG* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveProperty(ULONG tag) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAllProperties() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBool(ULONG tag, LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLong(ULONG tag, LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetULong(ULONG tag, ULONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDouble(ULONG tag, double value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetGuid(ULONG tag, const GUID* value) = 0;
    // value may be null; the bag keeps its own copy.
    virtual HRESULT STDMETHODCALLTYPE SetString(ULONG tag, LPCWSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDateTime(ULONG tag, hwSysAttrDateTime value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBool(ULONG tag, LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLong(ULONG tag, LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetULong(ULONG tag, ULONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDouble(ULONG tag, double* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGuid(ULONG tag, GUID* value) = 0;
    // The caller frees the returned copy with SysFreeString.
    virtual HRESULT STDMETHODCALLTYPE GetString(ULONG tag, BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDateTime(ULONG tag, hwSysAttrDateTime* value) = 0;
};

// Slots 22 to 24: copying and the record of written tags.
struct IhwSysPropertyBag2 : public IhwSysPropertyBag {
    virtual HRESULT STDMETHODCALLTYPE CloneBag(IhwSysPropertyBag** clone) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearChangedTags() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumChangedTags(IhwSysEnumPropertyTag** tags) = 0;
};

// Slots 25 to 28: time stamps and the lock a caller can hold across calls.
struct IhwSysPropertyBag3 : public IhwSysPropertyBag2 {
    virtual HRESULT STDMETHODCALLTYPE GetTimestamp(ULONG tag, hwSysAttrTimestampUTC* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTimestamp(ULONG tag, const hwSysAttrTimestampUTC* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockBag() = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockBag() = 0;
};

// The host's enumerator interfaces: lists of wide strings and of property tags.
#pragma once

#include "hwsys/hwsys_unknown.h"

inline constexpr IID IID_IhwSysEnumStringList = {
    0xFB09815D, 0x7F02, 0x459F, {0x87, 0xB8, 0x78, 0x22, 0x7B, 0xE8, 0x41, 0x26}};
inline constexpr IID IID_IhwSysEnumPropertyTag = {
    0xB21429CD, 0x0DDD, 0x48FA, {0x9D, 0xDD, 0x33, 0xA1, 0xCF, 0xA7, 0x9C, 0xDE}};

// Hands out new BSTRs; the caller frees each with SysFreeString.
struct IhwSysEnumStringList : public IUnknown {
    // fetched may be null only when count is 1.
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, BSTR* items, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IhwSysEnumStringList** clone) = 0;
};

struct IhwSysEnumPropertyTag : public IUnknown {
    // fetched may be null only when count is 1.
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, ULONG* tags, ULONG* fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IhwSysEnumPropertyTag** clone) = 0;
};

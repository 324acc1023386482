// The enumerators the module hands out: item names (wide strings) and property tags.
//
// To hand out a list, fill a fresh container and pass it, by move, to one of the make functions
// at the end of this header; the enumerator takes the container over and frees it with its last
// reference. Clones borrow the container and keep the enumerator they came from alive.
#pragma once

#include "com/QVEnumOnSTL.h"
#include "support/StringBase.h"

#include <list>
#include <set>
#include <vector>

namespace qvkelpsysapiexpert {

using tItemNameList = std::list<qv::brix::StringBase<WCHAR>>;
using tTagVector = std::vector<ULONG>;
using tTagSet = std::set<ULONG>;

// Owning string enumerator and its element policy: each element is handed out as a new BSTR.
template <class CollType>
class ChwSysEnumItemNamesSTL
    : public OwningEnumeratorBase<
          CQVComEnumOnSTL<IhwSysEnumStringList, &IID_IhwSysEnumStringList, BSTR,
                          ChwSysEnumItemNamesSTL<CollType>, CollType, CQVComMultiThreadModelNoCS>> {
public:
    static HRESULT copy(BSTR* out, const typename CollType::value_type& name) noexcept {
        *out = SysAllocString(name.c_str());
        return *out == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    static void destroy(BSTR* out) noexcept {
        SysFreeString(*out);
        *out = nullptr;
    }
};

// Owning tag enumerator and its element policy: tags are handed out as they are.
template <class CollType>
class ChwSysEnumPropertyTagsSTL
    : public OwningEnumeratorBase<
          CQVComEnumOnSTL<IhwSysEnumPropertyTag, &IID_IhwSysEnumPropertyTag, ULONG,
                          ChwSysEnumPropertyTagsSTL<CollType>, CollType, CQVComMultiThreadModelNoCS>> {
public:
    static HRESULT copy(ULONG* out, ULONG tag) noexcept {
        *out = tag;
        return S_OK;
    }
    static void destroy(ULONG*) noexcept {}
};

// Each returns S_OK with an enumerator carrying one reference for the caller, or E_OUTOFMEMORY
// (E_POINTER for a null out pointer) with *enumerator null. The container is consumed only on
// success.
HRESULT makeItemNameEnumerator(tItemNameList&& names, IhwSysEnumStringList** enumerator) noexcept;
HRESULT makeTagEnumerator(tTagVector&& tags, IhwSysEnumPropertyTag** enumerator) noexcept;
HRESULT CreateEnumeratorOverSet(tTagSet&& tags, IhwSysEnumPropertyTag** enumerator) noexcept;

} // namespace qvkelpsysapiexpert

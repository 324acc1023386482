// Enumerators over a standard container, handed to the host through IhwSysEnumStringList and
// IhwSysEnumPropertyTag.
//
// An enumerator walks a container that it either owns (the owning classes of ChwSysEnumSTL.h,
// made with a null owner) or borrows while holding a reference on the object that keeps the
// container alive (`owner`). The container never changes once an enumerator walks it, so clones
// over one container may be used from different threads; one enumerator must not be.
#pragma once

#include "hwsys/hwsys_enumerators.h"
#include "com/CQVComObject.h"

namespace qvkelpsysapiexpert {

// Copy is the element policy: `static HRESULT copy(T* out, const element&)` makes one output
// element, and `static void destroy(T* out)` takes back one made by copy.
template <class Base, const IID* piid, class T, class Copy, class CollType>
class IQVEnumOnSTLImpl : public Base {
public:
    HRESULT STDMETHODCALLTYPE Next(ULONG count, T* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(Base** clone) override;

    // Starts the enumerator over `items`; `keeper` (may be null) is referenced for as long as the
    // enumerator needs the container.
    HRESULT Init(IUnknown* keeper, CollType& items) noexcept;

protected:
    IUnknown* owner = nullptr;
    CollType* collection = nullptr;
    typename CollType::const_iterator position{};
};

// The enumerator object: adds the reference count and the interface map. It borrows its container
// and releases its owner when destroyed.
template <class Base, const IID* piid, class T, class Copy, class CollType, class ThreadModel>
class CQVComEnumOnSTL : public IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>,
                        public CQVComObjectRootEx<ThreadModel> {
public:
    using tInterfaceMapOwner = CQVComEnumOnSTL;
    static const tQVInterfaceEntry* interfaceMap() {
        static const tQVInterfaceEntry map[] = {qvInterfaceEntry<CQVComEnumOnSTL, Base>(*piid),
                                                kQVInterfaceMapEnd};
        return map;
    }

protected:
    CQVComEnumOnSTL() = default;
    ~CQVComEnumOnSTL() {
        if (this->owner != nullptr) {
            this->owner->Release();
        }
    }
};

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Init(IUnknown* keeper, CollType& items) noexcept {
    if (keeper != nullptr) {
        keeper->AddRef();
    }
    if (owner != nullptr) {
        owner->Release();
    }
    owner = keeper;
    collection = &items;
    position = collection->cbegin();
    return S_OK;
}

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT STDMETHODCALLTYPE IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Next(ULONG count, T* items,
                                                                                ULONG* fetched) {
    if (items == nullptr || (count != 1 && fetched == nullptr)) {
        return E_POINTER;
    }
    if (collection == nullptr) {
        return E_FAIL;
    }
    const auto start = position;
    ULONG copied = 0;
    for (; copied < count && position != collection->cend(); ++position, ++copied) {
        const HRESULT result = Copy::copy(&items[copied], *position);
        if (FAILED(result)) {
            // Hand out nothing and stay where the call began, so that a retry loses no element.
            for (ULONG i = 0; i < copied; ++i) {
                Copy::destroy(&items[i]);
            }
            position = start;
            if (fetched != nullptr) {
                *fetched = 0;
            }
            return result;
        }
    }
    if (fetched != nullptr) {
        *fetched = copied;
    }
    return copied < count ? S_FALSE : S_OK;
}

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT STDMETHODCALLTYPE IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Skip(ULONG count) {
    if (count == 0) {
        return S_OK;
    }
    if (collection == nullptr) {
        return E_FAIL;
    }
    for (ULONG i = 0; i < count; ++i) {
        if (position == collection->cend()) {
            return S_FALSE;
        }
        ++position;
    }
    return S_OK;
}

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT STDMETHODCALLTYPE IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Reset() {
    if (collection == nullptr) {
        return E_FAIL;
    }
    position = collection->cbegin();
    return S_OK;
}

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT STDMETHODCALLTYPE IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Clone(Base** clone) {
    if (clone == nullptr) {
        return E_POINTER;
    }
    *clone = nullptr;
    using tBorrowing =
        CQVComObject<CQVComEnumOnSTL<Base, piid, T, Copy, CollType, CQVComMultiThreadModelNoCS>>;
    tBorrowing* copy = nullptr;
    const HRESULT created = tBorrowing::CreateInstance(&copy);
    if (FAILED(created)) {
        return created;
    }
    // A clone of an owning enumerator keeps that enumerator, and so its container, alive.
    IUnknown* keeper = owner != nullptr ? owner : static_cast<Base*>(this);
    if (collection != nullptr) {
        copy->Init(keeper, *collection);
        copy->position = position;
    }
    const HRESULT queried = copy->QueryInterface(*piid, reinterpret_cast<void**>(clone));
    if (FAILED(queried)) {
        delete copy;
    }
    return queried;
}

} // namespace qvkelpsysapiexpert

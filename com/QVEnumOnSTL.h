// Enumerators over a standard container, handed to the host through IhwSysEnumStringList and
// IhwSysEnumPropertyTag.
//
// An enumerator walks a container that it either owns (OwningEnumeratorBase below, made with a
// null owner) or borrows while holding a reference on the object that keeps the container alive
// (`owner`). The container never changes once an enumerator walks it, so clones over one container
// may be used from different threads; one enumerator must not be. Every method the host calls runs
// through the host boundary.
#pragma once

#include "com/CQVComObject.h"
#include "com/hostBoundary.h"
#include "hwsys/hwsys_enumerators.h"

#include <memory>
#include <new>

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
    qv::com_ptr<IUnknown> owner;
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
    ~CQVComEnumOnSTL() = default;
};

// Destroys the container it walks when it owns it (a null owner).
template <class Enumerator> class OwningEnumeratorBase : public Enumerator {
protected:
    ~OwningEnumeratorBase() {
        if (!this->owner) {
            delete this->collection;
        }
    }
};

// An empty container on the heap, or null when memory runs out. Some standard libraries allocate
// already in the default constructor of a list or set, so that may throw too.
template <class CollType> std::unique_ptr<CollType> newEmptyContainer() noexcept {
    try {
        return std::unique_ptr<CollType>(new CollType());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Hands out a new Owning enumerator (an OwningEnumeratorBase) that takes `items` over: S_OK with one
// reference for the caller, or E_OUTOFMEMORY (E_POINTER for a null out pointer) with *enumerator null
// and `items` left as it was.
template <class Owning, class Interface, class CollType>
HRESULT makeOwningEnumerator(CollType&& items, Interface** enumerator) noexcept {
    return runHostOperation(
        [&](nQVOSALS100::tStatus&) {
            std::unique_ptr<CollType> container = newEmptyContainer<CollType>();
            if (container == nullptr) {
                return E_OUTOFMEMORY;
            }
            qv::com_ptr<CQVComObject<Owning>> object;
            const HRESULT created = qvCreateObject(object);
            if (FAILED(created)) {
                return created;
            }
            container->swap(items);
            object->Init(nullptr, *container.release());
            qvHandOut(object, enumerator);
            return S_OK;
        },
        outArgument(enumerator));
}

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Init(IUnknown* keeper, CollType& items) noexcept {
    owner = qv::com_ptr<IUnknown>::copy(keeper);
    collection = &items;
    position = collection->cbegin();
    return S_OK;
}

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT STDMETHODCALLTYPE IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Next(ULONG count, T* items,
                                                                                ULONG* fetched) {
    return runHostOperation(
        [&](nQVOSALS100::tStatus&) {
            if (count != 1 && fetched == nullptr) {
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
        },
        requiredArgument(items));
}

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT STDMETHODCALLTYPE IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Skip(ULONG count) {
    return runHostOperation([&](nQVOSALS100::tStatus&) {
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
    });
}

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT STDMETHODCALLTYPE IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Reset() {
    return runHostOperation([&](nQVOSALS100::tStatus&) {
        if (collection == nullptr) {
            return E_FAIL;
        }
        position = collection->cbegin();
        return S_OK;
    });
}

template <class Base, const IID* piid, class T, class Copy, class CollType>
HRESULT STDMETHODCALLTYPE IQVEnumOnSTLImpl<Base, piid, T, Copy, CollType>::Clone(Base** clone) {
    return runHostOperation(
        [&](nQVOSALS100::tStatus&) {
            using tBorrowing = CQVComEnumOnSTL<Base, piid, T, Copy, CollType, CQVComMultiThreadModelNoCS>;
            qv::com_ptr<CQVComObject<tBorrowing>> copy;
            const HRESULT created = qvCreateObject(copy);
            if (FAILED(created)) {
                return created;
            }
            // A clone of an owning enumerator keeps that enumerator, and so its container, alive.
            IUnknown* keeper = owner ? owner.get() : static_cast<Base*>(this);
            if (collection != nullptr) {
                copy->Init(keeper, *collection);
                copy->position = position;
            }
            qvHandOut(copy, clone);
            return S_OK;
        },
        outArgument(clone));
}

} // namespace qvkelpsysapiexpert

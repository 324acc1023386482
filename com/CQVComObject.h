// COM identity for the module's objects: reference counting, the interface map, QueryInterface and
// creation.
//
// A class T that hands out host interfaces derives from its interfaces and, virtually, from
// CQVComObjectRootEx<CQVComMultiThreadModelNoCS> (so the interfaces come first in the object), and
// declares its interface map:
//
//     using tInterfaceMapOwner = T;
//     static const tQVInterfaceEntry* interfaceMap();   // entries by qvInterfaceEntry<T, I>(IID_I),
//                                                        // ended by kQVInterfaceMapEnd
//
// T stays abstract; the objects are CQVComObject<T>, made by qvCreateObject<T> (which holds the first
// reference in a com_ptr) and destroyed by the Release that brings the count to 0. qvHandOut gives
// that reference to the caller through one of the object's interfaces.
#pragma once

#include "com/com_ptr.h"
#include "hwsys/hwsys_unknown.h"
#include "platform/win32.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace qvkelpsysapiexpert {

// The one thread model the module uses: the count changes by interlocked operations, so objects may
// be shared between threads without a critical section.
struct CQVComMultiThreadModelNoCS {
    static ULONG increment(volatile LONG* count) { return static_cast<ULONG>(InterlockedIncrement(count)); }
    static ULONG decrement(volatile LONG* count) { return static_cast<ULONG>(InterlockedDecrement(count)); }
};

// Holds the reference count: 32 bits, read as unsigned by AddRef and Release. It is kept as LONG
// because the interlocked operations work on that type.
class CQVComObjectRootBase {
public:
    CQVComObjectRootBase(const CQVComObjectRootBase&) = delete;
    CQVComObjectRootBase& operator=(const CQVComObjectRootBase&) = delete;

protected:
    CQVComObjectRootBase() = default;
    ~CQVComObjectRootBase() = default;

    volatile LONG referenceCount = 0;
};

template <class ThreadModel> class CQVComObjectRootEx : public CQVComObjectRootBase {
protected:
    ULONG internalAddRef() { return ThreadModel::increment(&referenceCount); }
    ULONG internalRelease() { return ThreadModel::decrement(&referenceCount); }
    // A reference taken and dropped again while the object is being destroyed must not bring the
    // count to 0 a second time.
    void guardDestruction() { referenceCount = 1; }
};

enum class tQVInterfaceEntryKind { end, plain };

// One row of an interface map: the interface ID and where the interface pointer sits, in bytes from
// the start of the class that owns the map.
struct tQVInterfaceEntry {
    const IID* iid;
    std::ptrdiff_t offset;
    tQVInterfaceEntryKind kind;
};

inline constexpr tQVInterfaceEntry kQVInterfaceMapEnd = {nullptr, 0, tQVInterfaceEntryKind::end};

// The position of Interface within Owner. Computed on a dummy address without touching memory:
// the conversion to a non-virtual base is a fixed adjustment that needs no object.
template <class Owner, class Interface> std::ptrdiff_t qvInterfaceOffset() {
    constexpr std::uintptr_t kDummyAddress = 0x1000;
    auto* owner = reinterpret_cast<Owner*>(kDummyAddress);
    auto* unknown = static_cast<IUnknown*>(static_cast<Interface*>(owner));
    return static_cast<std::ptrdiff_t>(reinterpret_cast<std::uintptr_t>(unknown) - kDummyAddress);
}

template <class Owner, class Interface> tQVInterfaceEntry qvInterfaceEntry(const IID& iid) {
    return {&iid, qvInterfaceOffset<Owner, Interface>(), tQVInterfaceEntryKind::plain};
}

// The ID of IUnknown, read as four little-endian 32-bit words: 0, 0, 0xC0 or 0xC000, 0x46000000.
bool qvIsIUnknown(REFIID iid);

// QueryInterface over an interface map; `owner` is the start of the map's owner class. IUnknown
// gives the map's first interface pointer; the pointer handed out is AddRef'ed through itself.
HRESULT qvQueryInterface(void* owner, const tQVInterfaceEntry* map, REFIID iid, void** object);

// The concrete object: adds the IUnknown operations to every interface table of T.
template <class T> class CQVComObject final : public T {
public:
    // A new object with a count of 0, or E_OUTOFMEMORY; no exception escapes.
    static HRESULT CreateInstance(CQVComObject<T>** object) noexcept {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        try {
            *object = new (std::nothrow) CQVComObject<T>();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
        return *object == nullptr ? E_OUTOFMEMORY : S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        using tOwner = typename T::tInterfaceMapOwner;
        return qvQueryInterface(static_cast<tOwner*>(this), tOwner::interfaceMap(), iid, object);
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return this->internalAddRef(); }

    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG remaining = this->internalRelease();
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }

    virtual ~CQVComObject() { this->guardDestruction(); }

private:
    CQVComObject() = default;
};

// The one way to make an object: a new CQVComObject<T> whose first reference `object` holds;
// E_OUTOFMEMORY (and `object` empty) when it cannot be made.
template <class T> HRESULT qvCreateObject(qv::com_ptr<CQVComObject<T>>& object) noexcept {
    CQVComObject<T>* created = nullptr;
    const HRESULT result = CQVComObject<T>::CreateInstance(&created);
    if (SUCCEEDED(result)) {
        created->AddRef();
    }
    object = qv::com_ptr<CQVComObject<T>>::attach(created);
    return result;
}

// The one way to hand an object out: the caller receives the reference `object` held, through the
// interface `out` asks for.
template <class Interface, class Object> void qvHandOut(qv::com_ptr<Object>& object, Interface** out) noexcept {
    *out = object.detach();
}

} // namespace qvkelpsysapiexpert

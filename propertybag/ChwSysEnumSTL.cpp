#include "propertybag/ChwSysEnumSTL.h"

#include <memory>
#include <new>
#include <utility>

namespace qvkelpsysapiexpert {

namespace {

// An empty container on the heap, or null when memory runs out. Some standard libraries allocate
// already in the default constructor of a list or set, so that may throw too.
template <class CollType> std::unique_ptr<CollType> newEmptyContainer() noexcept {
    try {
        return std::unique_ptr<CollType>(new CollType());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

template <class Owning, class Interface, class CollType>
HRESULT makeOwningEnumerator(CollType&& items, Interface** enumerator) noexcept {
    if (enumerator == nullptr) {
        return E_POINTER;
    }
    *enumerator = nullptr;
    std::unique_ptr<CollType> container = newEmptyContainer<CollType>();
    if (container == nullptr) {
        return E_OUTOFMEMORY;
    }
    CQVComObject<Owning>* object = nullptr;
    const HRESULT created = CQVComObject<Owning>::CreateInstance(&object);
    if (FAILED(created)) {
        return created;
    }
    object->AddRef();
    container->swap(items);
    object->Init(nullptr, *container.release());
    *enumerator = object;
    return S_OK;
}

} // namespace

HRESULT makeItemNameEnumerator(tItemNameList&& names, IhwSysEnumStringList** enumerator) noexcept {
    return makeOwningEnumerator<ChwSysEnumItemNamesSTL<tItemNameList>>(std::move(names), enumerator);
}

HRESULT makeTagEnumerator(tTagVector&& tags, IhwSysEnumPropertyTag** enumerator) noexcept {
    return makeOwningEnumerator<ChwSysEnumPropertyTagsSTL<tTagVector>>(std::move(tags), enumerator);
}

HRESULT CreateEnumeratorOverSet(tTagSet&& tags, IhwSysEnumPropertyTag** enumerator) noexcept {
    return makeOwningEnumerator<ChwSysEnumPropertyTagsSTL<tTagSet>>(std::move(tags), enumerator);
}

} // namespace qvkelpsysapiexpert

#include "propertybag/ChwSysEnumSTL.h"

#include <utility>

namespace qvkelpsysapiexpert {

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

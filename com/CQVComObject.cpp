#include "com/CQVComObject.h"

#include <cstring>

namespace qvkelpsysapiexpert {
namespace {

std::uint32_t word(REFIID iid, std::size_t index) {
    unsigned char bytes[sizeof(IID)];
    std::memcpy(bytes, &iid, sizeof bytes);
    const unsigned char* w = bytes + 4 * index;
    return static_cast<std::uint32_t>(w[0]) | static_cast<std::uint32_t>(w[1]) << 8 |
           static_cast<std::uint32_t>(w[2]) << 16 | static_cast<std::uint32_t>(w[3]) << 24;
}

const tQVInterfaceEntry* findEntry(const tQVInterfaceEntry* map, REFIID iid) {
    if (map->kind == tQVInterfaceEntryKind::end) {
        return nullptr;
    }
    if (qvIsIUnknown(iid)) {
        return map;
    }
    for (const tQVInterfaceEntry* entry = map; entry->kind != tQVInterfaceEntryKind::end; ++entry) {
        if (std::memcmp(entry->iid, &iid, sizeof(IID)) == 0) {
            return entry;
        }
    }
    return nullptr;
}

} // namespace

bool qvIsIUnknown(REFIID iid) {
    const std::uint32_t third = word(iid, 2);
    return word(iid, 0) == 0 && word(iid, 1) == 0 && (third == 0x000000C0u || third == 0x0000C000u) &&
           word(iid, 3) == 0x46000000u;
}

HRESULT qvQueryInterface(void* owner, const tQVInterfaceEntry* map, REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    const tQVInterfaceEntry* entry = findEntry(map, iid);
    if (entry == nullptr) {
        return E_NOINTERFACE;
    }
    auto* found = reinterpret_cast<IUnknown*>(static_cast<char*>(owner) + entry->offset);
    found->AddRef();
    *object = found;
    return S_OK;
}

} // namespace qvkelpsysapiexpert

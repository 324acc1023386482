// OLE Automation strings: a 4-byte byte count, the UTF-16 characters, a 16-bit NUL.
#include "platform/sim/runtime/test_hooks.h"
#include "platform/sim/runtime/win32_ole.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

namespace {

using tLengthPrefix = std::uint32_t;

// Injected allocation failures: successes to let through first, then failures to hand out.
struct tFailurePlan {
    std::mutex mutex;
    unsigned successes = 0;
    unsigned failures = 0;

    bool nextAllocationFails() {
        std::lock_guard<std::mutex> lock(mutex);
        if (failures == 0) {
            return false;
        }
        if (successes > 0) {
            --successes;
            return false;
        }
        --failures;
        return true;
    }
};

tFailurePlan& failurePlan() {
    static tFailurePlan plan;
    return plan;
}

std::size_t characterCount(const OLECHAR* text) {
    std::size_t count = 0;
    while (text[count] != 0) {
        ++count;
    }
    return count;
}

tLengthPrefix* prefixOf(BSTR text) {
    return reinterpret_cast<tLengthPrefix*>(text) - 1;
}

} // namespace

WINSIM_API BSTR WINAPI SysAllocString(const OLECHAR* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t count = characterCount(text);
    // The byte count must fit its 32-bit prefix.
    if (count > (std::numeric_limits<tLengthPrefix>::max() - sizeof(OLECHAR)) / sizeof(OLECHAR)) {
        return nullptr;
    }
    if (failurePlan().nextAllocationFails()) {
        return nullptr;
    }
    const std::size_t byteCount = count * sizeof(OLECHAR);
    auto* block =
        static_cast<tLengthPrefix*>(std::malloc(sizeof(tLengthPrefix) + byteCount + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    *block = static_cast<tLengthPrefix>(byteCount);
    auto* characters = reinterpret_cast<BSTR>(block + 1);
    std::memcpy(characters, text, byteCount);
    characters[count] = 0;
    return characters;
}

WINSIM_API void WINAPI SysFreeString(BSTR text) {
    if (text != nullptr) {
        std::free(prefixOf(text));
    }
}

WINSIM_API UINT WINAPI SysStringByteLen(BSTR text) {
    return text == nullptr ? 0 : *prefixOf(text);
}

WINSIM_API UINT WINAPI SysStringLen(BSTR text) {
    return static_cast<UINT>(SysStringByteLen(text) / sizeof(OLECHAR));
}

WINSIM_API void winsim_failSysAllocString(unsigned successes, unsigned failures) {
    tFailurePlan& plan = failurePlan();
    std::lock_guard<std::mutex> lock(plan.mutex);
    plan.successes = successes;
    plan.failures = failures;
}

WINSIM_API unsigned winsim_pendingSysAllocStringFailures() {
    tFailurePlan& plan = failurePlan();
    std::lock_guard<std::mutex> lock(plan.mutex);
    return plan.failures;
}

// COM task memory, with a fault plan that tests use to reach allocation-failure paths.
#include "platform/sim/runtime/memory_hooks.h"
#include "platform/sim/runtime/win32_memstr.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<unsigned> successesBeforeFailure{0};
std::atomic<unsigned> plannedFailures{0};
std::atomic<long long> liveBlocks{0};

// True when this request is one that the fault plan makes fail.
bool requestMustFail() {
    if (plannedFailures.load(std::memory_order_relaxed) == 0) {
        return false;
    }
    unsigned successes = successesBeforeFailure.load();
    while (successes > 0) {
        if (successesBeforeFailure.compare_exchange_weak(successes, successes - 1)) {
            return false;
        }
    }
    unsigned failures = plannedFailures.load();
    while (failures > 0) {
        if (plannedFailures.compare_exchange_weak(failures, failures - 1)) {
            return true;
        }
    }
    return false;
}

} // namespace

WINSIM_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) {
    if (requestMustFail()) {
        return nullptr;
    }
    // A zero-byte request still yields a distinct block, as on Windows.
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) {
        ++liveBlocks;
    }
    return block;
}

WINSIM_API LPVOID WINAPI CoTaskMemRealloc(LPVOID memory, SIZE_T size) {
    if (memory == nullptr) {
        return CoTaskMemAlloc(size);
    }
    if (size == 0) {
        CoTaskMemFree(memory);
        return nullptr;
    }
    if (requestMustFail()) {
        return nullptr;
    }
    return std::realloc(memory, size);
}

WINSIM_API void WINAPI CoTaskMemFree(LPVOID memory) {
    if (memory != nullptr) {
        --liveBlocks;
        std::free(memory);
    }
}

WINSIM_API void winsimFailTaskMemory(unsigned successes, unsigned failures) {
    plannedFailures = 0;
    successesBeforeFailure = successes;
    plannedFailures = failures;
}

WINSIM_API void winsimClearTaskMemoryFaults() {
    plannedFailures = 0;
    successesBeforeFailure = 0;
}

WINSIM_API unsigned winsimPendingTaskMemoryFailures() {
    return plannedFailures.load();
}

WINSIM_API long long winsimLiveTaskMemoryBlocks() {
    return liveBlocks.load();
}

// Replaces the global allocation functions of this test program with ones that can fail on demand.
#include "heap_faults.h"

#include <cstdlib>
#include <new>

namespace {

thread_local long successesBeforeFailure = -1; // -1: no failure planned
thread_local bool failureHappened = false;

} // namespace

HeapFailure::HeapFailure(long successes) {
    successesBeforeFailure = successes;
    failureHappened = false;
}

HeapFailure::~HeapFailure() {
    successesBeforeFailure = -1;
}

bool HeapFailure::triggered() const {
    return failureHappened;
}

void* operator new(std::size_t size) {
    if (successesBeforeFailure == 0) {
        successesBeforeFailure = -1;
        failureHappened = true;
        throw std::bad_alloc();
    }
    if (successesBeforeFailure > 0) {
        --successesBeforeFailure;
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

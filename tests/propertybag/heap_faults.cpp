// The plan of this test program's replaced operator new: fail one allocation on demand.
#include "heap_faults.h"

#include "common/replaced_operator_new.h"

#include <cstdlib>

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

// The fault plan's verdict for one allocation: the memory, or null when it must fail.
void* allocateAsPlanned(std::size_t size) noexcept {
    if (successesBeforeFailure == 0) {
        successesBeforeFailure = -1;
        failureHappened = true;
        return nullptr;
    }
    if (successesBeforeFailure > 0) {
        --successesBeforeFailure;
    }
    return std::malloc(size == 0 ? 1 : size);
}

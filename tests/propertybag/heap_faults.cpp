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

namespace {

// The fault plan's verdict for one allocation: the memory, or null when it must fail.
void* allocate(std::size_t size) noexcept {
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

void* allocateOrThrow(std::size_t size) {
    if (void* memory = allocate(size)) {
        return memory;
    }
    throw std::bad_alloc();
}

} // namespace

// Every form is replaced, so that no allocation bypasses the plan and every block is freed by the
// function matching the one that allocated it.
void* operator new(std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}

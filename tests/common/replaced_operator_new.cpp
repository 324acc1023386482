#include "common/replaced_operator_new.h"

#include <cstdlib>
#include <new>

namespace {

void* allocateOrThrow(std::size_t size) {
    if (void* memory = allocateAsPlanned(size)) {
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
    return allocateAsPlanned(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateAsPlanned(size);
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

// A test program that links replaced_operator_new.cpp has every form of the global operator new
// and delete replaced, so that it can make heap allocations fail on demand: each allocation asks
// the program's own plan, which returns the memory (from std::malloc) or null for a failure. The
// throwing forms turn null into std::bad_alloc; every form of delete frees with std::free.
#pragma once

#include <cstddef>

// Defined by the test program: the memory for `size` bytes (at least 1), or null to fail.
void* allocateAsPlanned(std::size_t size) noexcept;

// An HRESULT in flight: what an operation throws for the host boundary (com/hostBoundary.h) to
// return. A type of its own, so that no integer thrown elsewhere is taken for one, and the one type
// caught for it. Here, below the boundary, so that code beneath the COM plumbing can throw it too.
#pragma once

#include "platform/win32.h"

namespace qvkelpsysapiexpert {

struct tThrownHResult {
    HRESULT result;
};

// Raises a failure that the operation decides itself, for the boundary to return: the one way an
// HRESULT is thrown.
[[noreturn]] inline void throwHResult(HRESULT failure) {
    throw tThrownHResult{failure};
}

} // namespace qvkelpsysapiexpert

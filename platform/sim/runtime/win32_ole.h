// Interlocked counters and OLE Automation strings (BSTR) of the simulated Windows.
#pragma once

#include "platform/sim/win32_types.h"

// Full-barrier atomic updates of a 32-bit value, returning the new value, as on Windows.
inline LONG InterlockedIncrement(volatile LONG* addend) {
    return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(volatile LONG* addend) {
    return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}

// A BSTR points at its characters; the four bytes before them hold the byte count (without the
// terminator) and a 16-bit NUL follows them. SysAllocString(NULL) gives NULL, SysStringLen(NULL) 0,
// SysFreeString(NULL) does nothing.
WINSIM_API BSTR WINAPI SysAllocString(const OLECHAR* text);
WINSIM_API void WINAPI SysFreeString(BSTR text);
WINSIM_API UINT WINAPI SysStringLen(BSTR text);
WINSIM_API UINT WINAPI SysStringByteLen(BSTR text);

// A wide string literal of OLE characters, as the Windows macro of the same name gives.
#define OLESTR(text) u##text

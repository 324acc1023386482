// Critical sections: a recursive mutex kept behind the structure's LockSemaphore member, so that the
// structure keeps its Windows layout.
#include "platform/sim/runtime/win32_memstr.h"

#include <mutex>

namespace {

std::recursive_mutex& mutexOf(LPCRITICAL_SECTION section) {
    return *static_cast<std::recursive_mutex*>(section->LockSemaphore);
}

} // namespace

WINSIM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
    *section = CRITICAL_SECTION{};
    section->LockCount = -1; // the value Windows gives a free section
    section->LockSemaphore = new std::recursive_mutex;
}

WINSIM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
    delete static_cast<std::recursive_mutex*>(section->LockSemaphore);
    section->LockSemaphore = nullptr;
}

WINSIM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
    mutexOf(section).lock();
}

WINSIM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
    mutexOf(section).unlock();
}

WINSIM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return mutexOf(section).try_lock() ? TRUE : FALSE;
}

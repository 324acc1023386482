#include "platform/sim/runtime/event.h"

#include "platform/sim/machine_access.h"
#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/windows_choices.h"

#include <chrono>
#include <thread>

WINSIM_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR name) {
    if (name != nullptr) {
        SetLastError(winsim::choice::kNamedEventError);
        return nullptr;
    }
    DWORD injected = ERROR_SUCCESS;
    if (winsim::takeInjectedFault("CreateEventA", "", &injected)) { // no argument
        SetLastError(injected);
        return nullptr;
    }
    return winsim::insertHandle(std::make_shared<winsim::Event>());
}

WINSIM_API void WINAPI Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

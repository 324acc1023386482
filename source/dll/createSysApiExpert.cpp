// The module's entry points: the export through which the host obtains an expert, and on Windows
// the library entry routine.
#include "hwsys/hwsys_expert.h"
#include "platform/win32.h"
#include "source/ChwSysExpertKELP.h"

#ifdef _WIN32
#define QVKELP_EXPORT
#else
#define QVKELP_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QVKELP_EXPORT HRESULT STDMETHODCALLTYPE createSysApiExpert(IhwSysExpert2** expert) {
    return qvkelpsysapiexpert::createExpert(expert);
}

#ifdef _WIN32
// The module keeps no per-thread state, so thread attach and detach notifications are turned off.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
#endif

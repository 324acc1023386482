// Debugger output: no debugger is attached to a simulated process, so the text is dropped unless a
// developer asks to see it on the standard error stream.
#include "platform/sim/runtime/win32_debug.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool debugOutputRequested() {
    const char* setting = std::getenv("QVKELP_DEBUG_OUTPUT");
    return setting != nullptr && std::strcmp(setting, "1") == 0;
}

} // namespace

WINSIM_API void WINAPI OutputDebugStringA(LPCSTR text) {
    if (text != nullptr && debugOutputRequested()) {
        std::fputs(text, stderr);
    }
}

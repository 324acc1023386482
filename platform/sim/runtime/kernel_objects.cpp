#include "platform/sim/runtime/kernel_objects.h"

#include "platform/sim/handle_table.h"
#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/win32_error.h"

namespace winsim {
namespace {

// Never destroyed, so that handles stay usable from other libraries' static destructors.
HandleTable<KernelObject>& kernelObjects() {
    static auto* const table = new HandleTable<KernelObject>;
    return *table;
}

} // namespace

HANDLE insertHandle(std::shared_ptr<KernelObject> object) {
    return kernelObjects().add<HANDLE>(std::move(object));
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
    return kernelObjects().find(handle);
}

bool closeHandle(HANDLE handle) {
    const std::shared_ptr<KernelObject> object = kernelObjects().remove(handle);
    if (!object) {
        return false;
    }
    object->onHandleClosed();
    return true;
}

} // namespace winsim

WINSIM_API BOOL WINAPI CloseHandle(HANDLE object) {
    // INVALID_HANDLE_VALUE is the current process's pseudo handle, which closes without effect.
    if (object == INVALID_HANDLE_VALUE) {
        return TRUE;
    }
    if (!winsim::closeHandle(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

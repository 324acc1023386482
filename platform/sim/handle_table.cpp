#include "platform/sim/handle_table.h"

#include "platform/sim/win32_error.h"
#include "platform/sim/win32_files.h"

#include <mutex>
#include <unordered_map>

namespace winsim {
namespace {

class HandleTable {
public:
    HANDLE insert(std::shared_ptr<KernelObject> object) {
        std::lock_guard<std::mutex> guard(mutex_);
        const std::uintptr_t value = nextValue_;
        nextValue_ += kHandleStep;
        objects_.emplace(value, std::move(object));
        return reinterpret_cast<HANDLE>(value);
    }

    std::shared_ptr<KernelObject> lookup(HANDLE handle) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
        return found == objects_.end() ? nullptr : found->second;
    }

    std::shared_ptr<KernelObject> remove(HANDLE handle) {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == objects_.end()) {
            return nullptr;
        }
        std::shared_ptr<KernelObject> object = std::move(found->second);
        objects_.erase(found);
        return object;
    }

private:
    // Windows handle values are multiples of four; values are never reused, so a stale handle
    // cannot reach a newer object.
    static constexpr std::uintptr_t kHandleStep = 4;
    static constexpr std::uintptr_t kFirstHandle = 0x100;

    std::mutex mutex_;
    std::uintptr_t nextValue_ = kFirstHandle;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects_;
};

// Never destroyed, so that handles stay usable from other libraries' static destructors.
HandleTable& handleTable() {
    static HandleTable* const table = new HandleTable;
    return *table;
}

} // namespace

HANDLE insertHandle(std::shared_ptr<KernelObject> object) {
    return handleTable().insert(std::move(object));
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
    return handleTable().lookup(handle);
}

bool closeHandle(HANDLE handle) {
    const std::shared_ptr<KernelObject> object = handleTable().remove(handle);
    if (!object) {
        return false;
    }
    object->onHandleClosed();
    return true;
}

} // namespace winsim

WINSIM_API BOOL WINAPI CloseHandle(HANDLE object) {
    if (!winsim::closeHandle(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

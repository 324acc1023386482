// LockFileEx, UnlockFileEx and GetOverlappedResult of the simulated Windows. Every handle is a
// synchronous one: a lock request completes (or fails) inside the call.
#include "platform/sim/event.h"
#include "platform/sim/file_object.h"
#include "platform/sim/windows_choices.h"
#include "platform/sim/machine_access.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/win32_files.h"

namespace {

constexpr ULONG_PTR kStatusSuccess = 0;

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

winsim::LockRange rangeOf(const OVERLAPPED& overlapped, DWORD lengthLow, DWORD lengthHigh) {
    const auto offset = (std::uint64_t{overlapped.OffsetHigh} << 32) | overlapped.Offset;
    const auto length = (std::uint64_t{lengthHigh} << 32) | lengthLow;
    return {offset, length};
}

// An OVERLAPPED names its completion event, or none; the low bit of the handle is a flag of its
// own (no completion-port notification) and not part of the handle.
bool completionEventIsValid(const OVERLAPPED& overlapped) {
    const auto value = reinterpret_cast<std::uintptr_t>(overlapped.hEvent) & ~std::uintptr_t{1};
    return value == 0 || winsim::lookupHandleOf<winsim::Event>(reinterpret_cast<HANDLE>(value)) != nullptr;
}

} // namespace

WINSIM_API BOOL WINAPI LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD lengthLow, DWORD lengthHigh,
                                  LPOVERLAPPED overlapped) {
    const auto object = winsim::lookupHandleOf<winsim::FileObject>(file);
    if (!object) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (overlapped == nullptr) {
        return fail(winsim::choice::kNullRequiredPointerError);
    }
    if (reserved != 0) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (!completionEventIsValid(*overlapped)) {
        return fail(ERROR_INVALID_HANDLE);
    }
    // A fault names the path the handle's stream was opened with.
    DWORD injected = ERROR_SUCCESS;
    if (winsim::takeInjectedFault("LockFileEx", object->path(), &injected)) {
        return fail(injected);
    }
    // As on Windows, the request is marked pending first and stays so when it fails.
    overlapped->Internal = STATUS_PENDING;
    const bool exclusive = (flags & LOCKFILE_EXCLUSIVE_LOCK) != 0;
    const bool wait = (flags & LOCKFILE_FAIL_IMMEDIATELY) == 0;
    const DWORD error = object->locks().lock(rangeOf(*overlapped, lengthLow, lengthHigh), exclusive, wait);
    if (error != ERROR_SUCCESS) {
        return fail(error);
    }
    overlapped->Internal = kStatusSuccess;
    overlapped->InternalHigh = 0;
    return TRUE;
}

WINSIM_API BOOL WINAPI UnlockFileEx(HANDLE file, DWORD reserved, DWORD lengthLow, DWORD lengthHigh,
                                    LPOVERLAPPED overlapped) {
    const auto object = winsim::lookupHandleOf<winsim::FileObject>(file);
    if (!object) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (overlapped == nullptr) {
        return fail(winsim::choice::kNullRequiredPointerError);
    }
    if (reserved != 0) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // A fault names the path the handle's stream was opened with.
    DWORD injected = ERROR_SUCCESS;
    if (winsim::takeInjectedFault("UnlockFileEx", object->path(), &injected)) {
        return fail(injected);
    }
    const DWORD error = object->locks().unlock(rangeOf(*overlapped, lengthLow, lengthHigh));
    return error == ERROR_SUCCESS ? TRUE : fail(error);
}

WINSIM_API BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL) {
    if (overlapped == nullptr || transferred == nullptr) {
        return fail(winsim::choice::kNullRequiredPointerError);
    }
    // Windows looks at the file handle only to wait on it; a completed request needs no handle.
    const auto object = winsim::lookupHandleOf<winsim::FileObject>(file);
    // A fault names the path of the file handle, or "" when it is not one.
    DWORD injected = ERROR_SUCCESS;
    if (winsim::takeInjectedFault("GetOverlappedResult", object ? object->path() : "", &injected)) {
        return fail(injected);
    }
    if (overlapped->Internal == STATUS_PENDING) {
        return fail(ERROR_IO_INCOMPLETE);
    }
    *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    return overlapped->Internal == kStatusSuccess ? TRUE
                                                  : fail(winsim::choice::kForeignCompletionStatusError);
}

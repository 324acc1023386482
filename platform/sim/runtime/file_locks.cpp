// LockFileEx, UnlockFileEx and GetOverlappedResult of the simulated Windows. Every handle is a
// synchronous one: a lock request completes (or fails) inside the call.
#include "platform/sim/machine_access.h"
#include "platform/sim/runtime/event.h"
#include "platform/sim/runtime/file_object.h"
#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/windows_choices.h"

#include <optional>

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

enum class CompletionEvent { checked, ignored };

// What LockFileEx and UnlockFileEx check, in this order, before they touch a lock: the file handle,
// the OVERLAPPED, the reserved argument, the completion event (a lock request's only) and a fault
// injected for the call. The error that refuses the request, if one does.
std::optional<DWORD> refusal(const char* call, const winsim::FileObject* object, DWORD reserved,
                             const OVERLAPPED* overlapped, CompletionEvent event) {
    if (object == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (overlapped == nullptr) {
        return winsim::choice::kNullRequiredPointerError;
    }
    if (reserved != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    if (event == CompletionEvent::checked && !completionEventIsValid(*overlapped)) {
        return ERROR_INVALID_HANDLE;
    }
    // A fault names the path the handle's stream was opened with.
    DWORD injected = ERROR_SUCCESS;
    if (winsim::takeInjectedFault(call, object->path(), &injected)) {
        return injected;
    }
    return std::nullopt;
}

} // namespace

WINSIM_API BOOL WINAPI LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD lengthLow, DWORD lengthHigh,
                                  LPOVERLAPPED overlapped) {
    const auto object = winsim::lookupHandleOf<winsim::FileObject>(file);
    if (const auto error =
            refusal("LockFileEx", object.get(), reserved, overlapped, CompletionEvent::checked)) {
        return fail(*error);
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
    if (const auto error =
            refusal("UnlockFileEx", object.get(), reserved, overlapped, CompletionEvent::ignored)) {
        return fail(*error);
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

// System message texts (FormatMessageA) and the local heap they are handed out on.
//
// Only the system message table is simulated: FORMAT_MESSAGE_FROM_SYSTEM with inserts ignored,
// either into a caller's buffer or into a buffer allocated for the caller. The texts are those of
// an English Windows, each ending with a period and CR LF as Windows stores them.
// Choices where Windows documents nothing: any other flag, and a null buffer, fail with 87 before
// anything is written; a language other than those English answers to fails with 1815.
#include "platform/sim/win32_error.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

struct SystemMessage {
    DWORD id;
    const char* text;
};

// Only the errors the simulated machine can produce. SetupAPI's own errors (0xE000xxxx) live in
// SetupAPI's message table, not in the system's, so FORMAT_MESSAGE_FROM_SYSTEM finds no text for
// them, exactly as on Windows.
constexpr SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, "Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\r\n"},
    {ERROR_INVALID_DATA, "The data is invalid.\r\n"},
    {ERROR_NOT_READY, "The device is not ready.\r\n"},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning.\r\n"},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_LOCK_VIOLATION,
     "The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {ERROR_HANDLE_EOF, "Reached the end of the file.\r\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_SEM_TIMEOUT, "The semaphore timeout period has expired.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found.\r\n"},
    {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found.\r\n"},
    {ERROR_NOT_LOCKED, "The segment is already unlocked.\r\n"},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists.\r\n"},
    {ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application.\r\n"},
    {ERROR_MORE_DATA, "More data is available.\r\n"},
    {WAIT_TIMEOUT, "The wait operation timed out.\r\n"},
    {ERROR_NO_MORE_ITEMS, "No more data is available.\r\n"},
    {ERROR_INSUFFICIENT_POWER, "There is not enough power to complete the requested operation.\r\n"},
    {ERROR_IO_PENDING, "Overlapped I/O operation is in progress.\r\n"},
    {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error.\r\n"},
    {ERROR_INTERNAL_ERROR, "An internal error occurred.\r\n"},
    {ERROR_NO_SYSTEM_RESOURCES, "Insufficient system resources exist to complete the requested service.\r\n"},
    {ERROR_DEVICE_REMOVED, "The device has been removed.\r\n"},
    {ERROR_INVALID_USER_BUFFER, "The supplied user buffer is not valid for the requested operation.\r\n"},
};

const char* findSystemMessage(DWORD id) {
    const auto* end = std::end(kSystemMessages);
    const auto* found =
        std::find_if(std::begin(kSystemMessages), end, [id](const SystemMessage& m) { return m.id == id; });
    return found == end ? nullptr : found->text;
}

// The simulated machine has one installed language, English; these identifiers all resolve to it.
bool isEnglishLanguage(DWORD languageId) {
    return languageId == 0 || languageId == MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT) ||
           languageId == MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT) ||
           languageId == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

constexpr DWORD kRequiredFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

DWORD fail(DWORD error) {
    SetLastError(error);
    return 0;
}

} // namespace

WINSIM_API HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    if ((flags & ~LMEM_ZEROINIT) != LMEM_FIXED) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A zero-byte request still yields a distinct block, as on Windows.
    void* memory = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, std::max<SIZE_T>(bytes, 1))
                                                : std::malloc(std::max<SIZE_T>(bytes, 1));
    if (memory == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return memory;
}

WINSIM_API HLOCAL WINAPI LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

WINSIM_API DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD languageId,
                                       LPSTR buffer, DWORD size, va_list* /*arguments*/) {
    const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if ((flags & ~FORMAT_MESSAGE_ALLOCATE_BUFFER) != kRequiredFlags || buffer == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    // With ALLOCATE_BUFFER the argument is really a char** that receives the new block; it is
    // cleared first so that a caller who frees it after a failure frees nothing.
    LPSTR* allocatedOut = reinterpret_cast<LPSTR*>(buffer);
    if (allocate) {
        *allocatedOut = nullptr;
    }
    const char* text = findSystemMessage(messageId);
    if (text == nullptr) {
        return fail(ERROR_MR_MID_NOT_FOUND);
    }
    if (!isEnglishLanguage(languageId)) {
        return fail(ERROR_RESOURCE_LANG_NOT_FOUND);
    }
    const DWORD length = static_cast<DWORD>(std::strlen(text));
    if (allocate) {
        // size is then the least number of characters to allocate.
        auto* block = static_cast<LPSTR>(LocalAlloc(LMEM_FIXED, std::max<SIZE_T>(size, length + 1)));
        if (block == nullptr) {
            return 0;
        }
        std::memcpy(block, text, length + 1);
        *allocatedOut = block;
        return length;
    }
    if (size < length + 1) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text, length + 1);
    return length;
}

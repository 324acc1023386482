// DeleteFileA of the simulated Windows: a drive path reaches the folder its drive is mapped to.
#include "platform/sim/call_log.h"
#include "platform/sim/machine_access.h"
#include "platform/sim/runtime/drive_path.h"
#include "platform/sim/runtime/share_modes.h"
#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/win32_error.h"

#include <cerrno>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

DWORD win32ErrorOfUnlink(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

} // namespace

// A folder is refused with ERROR_ACCESS_DENIED, and a file that a handle of any process holds open
// without sharing delete access (a C runtime stream among them) with ERROR_SHARING_VIOLATION, as
// Windows refuses them; the fault argument is the path as the program
// gives it.
WINSIM_API BOOL WINAPI DeleteFileA(LPCSTR fileName) {
    if (fileName == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    DWORD injected = 0;
    if (winsim::takeInjectedFault("DeleteFileA", fileName, &injected)) {
        return fail(injected);
    }
    std::string hostPath = fileName;
    if (winsim::isWindowsDrivePath(fileName)) {
        std::optional<std::string> mapped = winsim::hostPathOfAnsiDrivePath(fileName, *winsim::currentMachineFacts());
        if (!mapped) {
            return fail(ERROR_PATH_NOT_FOUND);
        }
        hostPath = std::move(*mapped);
    }
    struct stat status {};
    if (::stat(hostPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return fail(ERROR_ACCESS_DENIED);
    }
    if (::lstat(hostPath.c_str(), &status) == 0 && winsim::checkDeleteSharing(status) != ERROR_SUCCESS) {
        return fail(ERROR_SHARING_VIOLATION);
    }
    if (::unlink(hostPath.c_str()) != 0) {
        return fail(win32ErrorOfUnlink(errno));
    }
    sim::logCall("DeleteFileA", fileName);
    return TRUE;
}

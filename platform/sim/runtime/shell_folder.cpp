// SHGetFolderPathW of the simulated Windows: the machine's common application-data folder.
#include "platform/sim/machine_access.h"
#include "platform/sim/runtime/win32_files.h"
#include "platform/sim/windows_choices.h"

#include <string>

namespace {

// Flags such as CSIDL_FLAG_CREATE share the value with the folder number. The current and the
// default path of the folder (SHGFP_TYPE_*) are the same on the simulated machine.
constexpr int kCsidlFolderMask = 0x00FF;

// The folder as Windows reports it: without a trailing backslash unless it is a drive's root.
std::u16string withoutTrailingBackslash(std::u16string folder) {
    while (folder.size() > 1 && folder.back() == u'\\' && !(folder.size() == 3 && folder[1] == u':')) {
        folder.pop_back();
    }
    return folder;
}

} // namespace

WINSIM_API HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR path) {
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    path[0] = u'\0';
    if ((csidl & kCsidlFolderMask) != CSIDL_COMMON_APPDATA) {
        return winsim::choice::kUnknownFolderResult;
    }
    // A fault names the CSIDL as passed, in decimal ("35"); its error is the HRESULT to return.
    DWORD injected = 0;
    if (winsim::takeInjectedFault("SHGetFolderPathW", std::to_string(csidl), &injected)) {
        return static_cast<HRESULT>(injected);
    }
    const std::u16string folder = withoutTrailingBackslash(winsim::currentMachineFacts()->commonAppData);
    if (folder.empty()) {
        return winsim::choice::kMissingFolderResult;
    }
    if (folder.size() >= MAX_PATH) {
        return winsim::choice::kFolderTooLongResult;
    }
    folder.copy(path, folder.size());
    path[folder.size()] = u'\0';
    return S_OK;
}

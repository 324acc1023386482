// The machine-wide folders the module keeps its data in, found through the Windows shell.
//
// Failures are reported into the caller's qverr::Status; the caller decides whether to throw.
#pragma once

#include "platform/win32.h"
#include "support/errorStatus.h"

#include <string>

namespace stdpath {

// The shell's path for `csidl` in a buffer of exactly MAX_PATH wide characters, zero-filled before
// the call, so the path is always followed by NULs. Does nothing when `status` holds an error.
void getFolderPath(int csidl, std::basic_string<WCHAR>& widePath, qverr::Status& status);

// The common application-data folder in the ANSI code page, as the A functions and fopen take it,
// trimmed of blanks and trailing backslashes and followed by "\Quorvel". A folder with a character
// the code page lacks fails, as does the lookup; after a failure the path is just "\Quorvel": test
// the status before using it.
void getCompanyDataFolder(std::string& path, qverr::Status& status);

} // namespace stdpath

// The one header through which the module reaches the operating system.
//
// On Windows it includes the system headers. Elsewhere it declares the same names, with their
// Windows sizes and calling protocols, implemented by the simulated Windows in platform/sim/
// (libqvwinsim). Module code includes nothing else from platform/ or simlibs/.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <aclapi.h>
#include <cfgmgr32.h>
#include <objbase.h>
#include <oleauto.h>
#include <setupapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <io.h>
#include <cstdio>
#include <ctime>

// Names of the Windows SDK's winerror.h that mingw-w64's headers leave out.
#ifndef ERROR_INSUFFICIENT_POWER
#define ERROR_INSUFFICIENT_POWER 639L
#endif

// Opens a file with the C runtime; on Windows the path is used as it is.
inline FILE* platformOpenFile(const char* path, const char* mode) { return std::fopen(path, mode); }
#else
#include "platform/sim/win32_types.h"
#include "platform/sim/win32_error.h"
#include "platform/sim/runtime/win32_debug.h"
#include "platform/sim/runtime/win32_ole.h"
#include "platform/sim/runtime/win32_memstr.h"
#include "platform/sim/device/win32_setupapi.h"
#include "platform/sim/runtime/win32_files.h"
#endif

// Shell folders, C runtime files, events, byte-range locks and library loading of the simulated
// Windows.
#pragma once

#include "platform/sim/win32_types.h"

#include <cstdio>

constexpr int CSIDL_COMMON_APPDATA = 0x0023;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;

constexpr DWORD LOCKFILE_FAIL_IMMEDIATELY = 0x00000001;
constexpr DWORD LOCKFILE_EXCLUSIVE_LOCK = 0x00000002;

// The completion status of an overlapped request that has not completed, and the error of asking
// for the result of such a request.
constexpr ULONG_PTR STATUS_PENDING = 0x00000103;
constexpr DWORD ERROR_IO_INCOMPLETE = 996;

WINSIM_API HRESULT WINAPI SHGetFolderPathW(HWND owner, int csidl, HANDLE token, DWORD flags, LPWSTR path);

// Opens a file with the C runtime. A Windows path ("C:\ProgramData\...") reaches the folder that
// the machine description maps its drive to; on Windows this is plain fopen.
WINSIM_API FILE* platformOpenFile(const char* path, const char* mode);
WINSIM_API int _fileno(FILE* stream);
WINSIM_API std::intptr_t _get_osfhandle(int fd);
WINSIM_API errno_t _chsize_s(int fd, long long size);
WINSIM_API BOOL WINAPI DeleteFileA(LPCSTR fileName);

WINSIM_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                                      LPCSTR name);
WINSIM_API BOOL WINAPI CloseHandle(HANDLE object);
WINSIM_API BOOL WINAPI LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD lengthLow, DWORD lengthHigh,
                                  LPOVERLAPPED overlapped);
WINSIM_API BOOL WINAPI UnlockFileEx(HANDLE file, DWORD reserved, DWORD lengthLow, DWORD lengthHigh,
                                    LPOVERLAPPED overlapped);
WINSIM_API BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred,
                                           BOOL wait);

WINSIM_API HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags);
WINSIM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
WINSIM_API BOOL WINAPI FreeLibrary(HMODULE module);

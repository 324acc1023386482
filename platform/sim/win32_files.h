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

// Files opened by handle. The simulation knows the dispositions CREATE_NEW and OPEN_EXISTING, the
// flag FILE_FLAG_OPEN_REPARSE_POINT, and a template file whose permission bits a new file takes.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x00000400;
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
using LPBY_HANDLE_FILE_INFORMATION = BY_HANDLE_FILE_INFORMATION*;

WINSIM_API HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                     LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                                     DWORD flagsAndAttributes, HANDLE templateFile);
WINSIM_API BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                                 LPOVERLAPPED overlapped);
WINSIM_API BOOL WINAPI SetEndOfFile(HANDLE file);
WINSIM_API BOOL WINAPI FlushFileBuffers(HANDLE file);
WINSIM_API BOOL WINAPI GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);
// Does not follow a symbolic link: a link reports FILE_ATTRIBUTE_REPARSE_POINT.
WINSIM_API DWORD WINAPI GetFileAttributesA(LPCSTR fileName);

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

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
// flags FILE_FLAG_OPEN_REPARSE_POINT and FILE_FLAG_BACKUP_SEMANTICS (without which a folder is not
// opened) and share modes, between the handles of every process.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
constexpr DWORD GENERIC_ALL = 0x10000000u;
constexpr DWORD DELETE = 0x00010000;
constexpr DWORD FILE_READ_ATTRIBUTES = 0x00000080;
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
// A FIFO, a device or a socket, which a Windows folder cannot hold (see the choices).
constexpr DWORD FILE_ATTRIBUTE_DEVICE = 0x00000040;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x00000400;
constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
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
WINSIM_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                                LPOVERLAPPED overlapped);
WINSIM_API BOOL WINAPI SetEndOfFile(HANDLE file);
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
WINSIM_API BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer,
                                        DWORD moveMethod);
WINSIM_API BOOL WINAPI FlushFileBuffers(HANDLE file);
WINSIM_API BOOL WINAPI GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);
// Does not follow a symbolic link: a link reports FILE_ATTRIBUTE_REPARSE_POINT.
WINSIM_API DWORD WINAPI GetFileAttributesA(LPCSTR fileName);

// The space left to this user on the volume that holds a folder.
union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};
using PULARGE_INTEGER = ULARGE_INTEGER*;
WINSIM_API BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                                           PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes);

// Finding files by a name pattern in one folder ("*" and "?" as wildcards).
constexpr DWORD ERROR_NO_MORE_FILES = 18;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

WINSIM_API HANDLE WINAPI FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData);
WINSIM_API BOOL WINAPI FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData);
WINSIM_API BOOL WINAPI FindClose(HANDLE findFile);

// Owners and access lists of files. A file's owner is the security identifier S-1-22-1-<uid>, the
// form Samba gives a Unix user; its access list is one entry that holds the file's group and
// permission bits (see the choices). Descriptors are freed with LocalFree.
using PSID = void*;
struct ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
};
using PACL = ACL*;
using PSECURITY_DESCRIPTOR = void*;
using SECURITY_INFORMATION = DWORD;
enum SE_OBJECT_TYPE { SE_UNKNOWN_OBJECT_TYPE = 0, SE_FILE_OBJECT = 1 };
constexpr DWORD READ_CONTROL = 0x00020000;
constexpr DWORD WRITE_DAC = 0x00040000;
constexpr DWORD WRITE_OWNER = 0x00080000;
constexpr SECURITY_INFORMATION OWNER_SECURITY_INFORMATION = 0x00000001;
constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x00000004;
constexpr SECURITY_INFORMATION PROTECTED_DACL_SECURITY_INFORMATION = 0x80000000u;

// Return a Win32 error code; they do not set the last error.
WINSIM_API DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information,
                                        PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                                        PSECURITY_DESCRIPTOR* securityDescriptor);
WINSIM_API DWORD WINAPI SetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information,
                                        PSID owner, PSID group, PACL dacl, PACL sacl);
WINSIM_API BOOL WINAPI EqualSid(PSID first, PSID second);

// The well-known identifiers the simulation knows: root's S-1-22-1-0 stands for the local system.
enum WELL_KNOWN_SID_TYPE { WinLocalSystemSid = 22, WinBuiltinAdministratorsSid = 26 };
WINSIM_API BOOL WINAPI IsWellKnownSid(PSID sid, WELL_KNOWN_SID_TYPE type);

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

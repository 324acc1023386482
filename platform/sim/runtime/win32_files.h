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

// The standard handles and the console. A standard stream is a console only when the environment
// variable QVKELP_CONSOLE names it ("out", "err" or "in", comma-separated), as when a test plays a
// console window; otherwise it is a pipe or a file, and GetConsoleMode fails with
// ERROR_INVALID_HANDLE, as on Windows. WriteConsoleW writes the wide text to the stream as UTF-8,
// which a Linux terminal shows, and appends "WriteConsoleW TEXT" to the call log.
constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);
constexpr DWORD ENABLE_PROCESSED_OUTPUT = 0x0001;
constexpr DWORD ENABLE_WRAP_AT_EOL_OUTPUT = 0x0002;
WINSIM_API HANDLE WINAPI GetStdHandle(DWORD stream);
WINSIM_API BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode);
WINSIM_API BOOL WINAPI WriteConsoleW(HANDLE console, const void* text, DWORD characters, LPDWORD written,
                                     LPVOID reserved);

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

// The well-known identifiers the simulation knows: root's S-1-22-1-0 stands for the local system
// and the administrators, the group "users" for the built-in Users group (see the choices).
enum WELL_KNOWN_SID_TYPE { WinLocalSystemSid = 22, WinBuiltinAdministratorsSid = 26, WinBuiltinUsersSid = 27 };
WINSIM_API BOOL WINAPI IsWellKnownSid(PSID sid, WELL_KNOWN_SID_TYPE type);
constexpr DWORD SECURITY_MAX_SID_SIZE = 68;
WINSIM_API BOOL WINAPI CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domainSid, PSID sid, DWORD* sidSize);
WINSIM_API DWORD WINAPI GetLengthSid(PSID sid);

// Accounts by name: a Unix group is a group, a Unix user a user (S-1-22-2-<gid>, S-1-22-1-<uid>).
enum SID_NAME_USE { SidTypeUser = 1, SidTypeGroup, SidTypeDomain, SidTypeAlias, SidTypeWellKnownGroup };
using PSID_NAME_USE = SID_NAME_USE*;
constexpr DWORD ERROR_NONE_MAPPED = 1332;
WINSIM_API BOOL WINAPI LookupAccountNameA(LPCSTR systemName, LPCSTR accountName, PSID sid, LPDWORD sidSize,
                                          LPSTR domainName, LPDWORD domainSize, PSID_NAME_USE use);

// Access rights of files and folders.
constexpr DWORD FILE_READ_DATA = 0x0001;
constexpr DWORD FILE_LIST_DIRECTORY = 0x0001;
constexpr DWORD FILE_WRITE_DATA = 0x0002;
constexpr DWORD FILE_ADD_FILE = 0x0002;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD FILE_ADD_SUBDIRECTORY = 0x0004;
constexpr DWORD FILE_EXECUTE = 0x0020;
constexpr DWORD FILE_TRAVERSE = 0x0020;
constexpr DWORD GENERIC_EXECUTE = 0x20000000u;
constexpr DWORD FILE_ALL_ACCESS = 0x001F01FF;
constexpr DWORD FILE_GENERIC_READ = 0x00120089;
constexpr DWORD FILE_GENERIC_WRITE = 0x00120116;
constexpr DWORD FILE_GENERIC_EXECUTE = 0x001200A0;

// Access lists built from entries, as the authorization library builds them; freed with LocalFree.
// The simulation writes them in its own form (see the choices).
enum ACCESS_MODE { NOT_USED_ACCESS = 0, GRANT_ACCESS, SET_ACCESS, DENY_ACCESS, REVOKE_ACCESS };
constexpr DWORD NO_INHERITANCE = 0x0;
constexpr DWORD OBJECT_INHERIT_ACE = 0x1;
constexpr DWORD CONTAINER_INHERIT_ACE = 0x2;
constexpr DWORD SUB_CONTAINERS_AND_OBJECTS_INHERIT = 0x3;
enum MULTIPLE_TRUSTEE_OPERATION { NO_MULTIPLE_TRUSTEE = 0 };
enum TRUSTEE_FORM { TRUSTEE_IS_SID = 0, TRUSTEE_IS_NAME };
enum TRUSTEE_TYPE { TRUSTEE_IS_UNKNOWN = 0, TRUSTEE_IS_USER, TRUSTEE_IS_GROUP, TRUSTEE_IS_DOMAIN, TRUSTEE_IS_ALIAS,
                    TRUSTEE_IS_WELL_KNOWN_GROUP };
struct TRUSTEE_A {
    TRUSTEE_A* pMultipleTrustee;
    MULTIPLE_TRUSTEE_OPERATION MultipleTrusteeOperation;
    TRUSTEE_FORM TrusteeForm;
    TRUSTEE_TYPE TrusteeType;
    LPSTR ptstrName;
};
struct EXPLICIT_ACCESS_A {
    DWORD grfAccessPermissions;
    ACCESS_MODE grfAccessMode;
    DWORD grfInheritance;
    TRUSTEE_A Trustee;
};
using PEXPLICIT_ACCESS_A = EXPLICIT_ACCESS_A*;
WINSIM_API DWORD WINAPI SetEntriesInAclA(ULONG count, PEXPLICIT_ACCESS_A entries, PACL oldAcl, PACL* newAcl);

// Folders: created by name, opened as a handle with FILE_FLAG_BACKUP_SEMANTICS (above).
WINSIM_API BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES securityAttributes);

// Suspends the calling thread for at least the given milliseconds.
WINSIM_API void WINAPI Sleep(DWORD milliseconds);
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

// Where Windows' behaviour is not documented, or cannot be reproduced on Linux, the simulation
// makes a choice. They are all here, so that each can be revisited in one place when real Windows
// is seen to differ. Each choice is used by name by the code that applies it.
#pragma once

#include "platform/sim/win32_types.h"

#include <array>
#include <cstdint>

namespace winsim::choice {

// --- SetupAPI, configuration manager and registry ---------------------------------------------

// SetupDiGetClassDevsA with DIGCF_DEVICEINTERFACE and an enumerator that names no device: a
// well-formed device instance ID gives an empty set; any other text fails with this error, as on
// Windows. (Wine 8 fails such a call with ERROR_INVALID_PARAMETER instead.)
inline constexpr bool kUnknownWellFormedIdGivesEmptySet = true;
inline constexpr DWORD kClassDevsUnknownEnumerator = ERROR_INVALID_DATA;
// SetupDiGetClassDevsA without DIGCF_DEVICEINTERFACE and an enumerator name no device has.
inline constexpr DWORD kClassDevsUnknownEnumeratorName = ERROR_INVALID_DATA;
// An empty enumerator text is an enumerator that names nothing: the set is empty, with or without
// DIGCF_DEVICEINTERFACE. The documentation speaks only of NULL as "no enumerator"; Wine 8 compares
// the text with every instance ID and enumerator name, so "" matches none.
inline constexpr bool kEmptyEnumeratorSelectsNothing = true;
// Devices carry no setup class, so a device (not interface) set restricted to a class is empty.
inline constexpr bool kDevicesHaveNoSetupClass = true;

// SetupDiOpenDeviceInterfaceRegKey: the interface has no key; the interface data names no
// interface of the set.
inline constexpr DWORD kInterfaceKeyMissing = ERROR_FILE_NOT_FOUND;
inline constexpr DWORD kInterfaceDataForeign = ERROR_INVALID_PARAMETER;

// An output structure whose cbSize is wrong (the optional SP_DEVINFO_DATA of
// SetupDiGetDeviceInterfaceDetailA) or that is missing (SetupDiEnumDeviceInterfaces).
inline constexpr DWORD kBadOutputStructure = ERROR_INVALID_USER_BUFFER;
// SetupDiGetDeviceInterfaceDetailA fills the optional SP_DEVINFO_DATA whenever it reports the
// required size, also when a detail buffer is given but too small.
inline constexpr bool kDetailFillsDeviceInfoWhenTooSmall = true;
// SetupDiEnumDeviceInterfaces without an interface class.
inline constexpr DWORD kEnumWithoutClass = ERROR_INVALID_PARAMETER;
// SetupDiGetDeviceInstanceIdA and SetupDiGetDeviceRegistryPropertyA with a null buffer but a
// non-zero size.
inline constexpr DWORD kNullBufferWithSize = ERROR_INVALID_PARAMETER;
// Properties other than SPDRP_ENUMERATOR_NAME and SPDRP_ADDRESS are absent.
inline constexpr DWORD kAbsentProperty = ERROR_INVALID_DATA;

// The configuration manager's tree holds only present devices: CM_Get_Child and CM_Get_Sibling
// pass over devices that are not present (a non-present device still knows its parent).
inline constexpr bool kTreeHoldsOnlyPresentDevices = true;


// --- Shell -----------------------------------------------------------------------------------

// Only the common application-data folder belongs to the simulated machine; SHGetFolderPathW
// refuses every other CSIDL as an unknown one. The folder is not checked for existence: every
// Windows installation has it, and whether it exists on the mapped drive concerns whoever opens
// files in it.
constexpr HRESULT kUnknownFolderResult = E_INVALIDARG;
// A machine that names no common application-data folder ("") has none.
constexpr HRESULT kMissingFolderResult = E_FAIL;
// A folder path that does not fit MAX_PATH characters with its NUL.
constexpr HRESULT kFolderTooLongResult = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

// --- Drive paths -----------------------------------------------------------------------------

// A path is a Windows drive path when it starts with an ASCII letter and a colon. The drive letter
// is matched without regard to case; the rest of the path keeps its case, since Linux file names
// are case-sensitive. A drive-relative path ("C:file") is taken relative to the drive's root, the
// simulated process having no current folder per drive. "." and ".." are resolved as Windows
// resolves them, never above the drive's root, so a path cannot leave the folder its drive maps to.

// --- C runtime files -------------------------------------------------------------------------

// Only streams opened with platformOpenFile are C runtime streams with a Windows handle:
// _get_osfhandle and _chsize_s of any other descriptor fail with EBADF, as for a descriptor the C
// runtime does not know.
// To let every handle take both shared and exclusive locks, as Windows handles can, a stream is
// opened for reading and writing underneath whenever the file allows it; the stream itself keeps
// the access its mode asks for.

// --- Byte-range locks ------------------------------------------------------------------------

// The locks of one handle among themselves. Windows lets shared locks of one handle overlap each
// other and overlap that handle's exclusive lock, and makes an exclusive lock that overlaps the
// handle's own lock wait until another thread unlocks it. A Linux open-file-description lock can
// neither hold two types over the same bytes nor wait for its own holder, so an exclusive lock
// overlapping a lock of the same handle (held or being waited for), and any lock overlapping the
// same handle's exclusive lock, fail at once with kOwnLockConflictError, even without
// LOCKFILE_FAIL_IMMEDIATELY. Overlapping shared locks of one handle stack as on Windows.
constexpr bool ownLocksMayOverlap(bool heldExclusive, bool requestedExclusive) {
    return !heldExclusive && !requestedExclusive;
}
constexpr DWORD kOwnLockConflictError = ERROR_LOCK_VIOLATION;

// Linux file offsets end at 2^63 - 1. A lock range that reaches beyond maps to a lock up to the
// end of every possible file (the whole-file range 0, 0xFFFFFFFF:0xFFFFFFFF included); a range
// that starts there, or whose end passes 2^64, is refused.
constexpr std::uint64_t kFirstOffsetBeyondHostFiles = std::uint64_t{1} << 63;
constexpr DWORD kUnrepresentableLockRangeError = ERROR_INVALID_PARAMETER;

// A zero-length lock is recorded for its handle (so that it can be unlocked) but locks no byte,
// so it conflicts with nothing. Windows versions differ in how such locks conflict.

// The few streams that the file system lets us open only for reading (or only for writing) cannot
// take an exclusive (or shared) lock on Linux.
constexpr DWORD kLockTypeNotAllowedByAccessError = ERROR_ACCESS_DENIED;

// LockFileEx and UnlockFileEx require their OVERLAPPED, and GetOverlappedResult its out-argument;
// where Windows faults on a null pointer, the simulation fails with this error.
constexpr DWORD kNullRequiredPointerError = ERROR_INVALID_PARAMETER;

// The simulation completes every lock request inside the call, so no request is ever left
// pending. A failed request stays marked pending, as on Windows; GetOverlappedResult then fails
// with ERROR_IO_INCOMPLETE even when asked to wait, instead of waiting forever for an event that
// nothing will signal. A completion status the simulation did not write reports this error:
constexpr DWORD kForeignCompletionStatusError = ERROR_GEN_FAILURE;

// --- Files by handle and owners --------------------------------------------------------------

// CreateFileA knows CREATE_NEW and OPEN_EXISTING; the other dispositions are refused, and so is an
// overlapped WriteFile. A template file lends a new file its
// attributes on Windows, never its security descriptor; the simulation keeps no attributes of its
// own, so a template lends nothing.
constexpr DWORD kUnsupportedDispositionError = ERROR_INVALID_PARAMETER;
// Share modes hold between the handles of every process, as on Windows (CreateFileA with its
// dwShareMode, the C runtime's fopen sharing read and write, DeleteFileA asking for delete access);
// they are kept in this folder, which every user may write (runtime/share_modes.h).
constexpr const char* kShareModeFolder = "/tmp/qvwinsim-share-modes";
// An owner is the security identifier S-1-22-1-<uid>, the form Samba gives a Unix user. A file's
// access list (DACL) is one entry of this type that holds the file's group and permission bits,
// which is what decides who else may use it; two files have equal lists exactly when both are
// equal. SetSecurityInfo changes them with the process's rights (fchown, fchmod): a user may give a
// file of theirs a group they belong to and any bits, never another owner, which fails with
// ERROR_INVALID_OWNER as on Windows.
constexpr BYTE kModeEntryType = 0x51;
constexpr BYTE kUnixUserAuthority = 22;
constexpr DWORD kUnsupportedSecurityRequestError = ERROR_INVALID_PARAMETER;
// A FIFO, a device or a socket in a folder has no counterpart on Windows: CreateFileA and the C
// runtime refuse to open one (ERROR_ACCESS_DENIED, EACCES, as for a folder), never waiting on it, and
// GetFileAttributesA and FindFirstFileA mark it FILE_ATTRIBUTE_DEVICE, the attribute Windows keeps
// for the system's own use, so that a program can tell it from a file it may not open.
constexpr DWORD kOtherFileTypeAttribute = 0x00000040; // FILE_ATTRIBUTE_DEVICE
// Root's identifier, S-1-22-1-0, is the well-known identifier of the local system and of the
// Administrators group (root holds every right both hold on Windows). A Unix group is S-1-22-2-<gid>,
// Samba's form; the built-in Users group is the Unix group of this name, Debian's group of ordinary
// users. CreateWellKnownSid of another type fails with ERROR_INVALID_PARAMETER, as for a type that
// needs a domain.
constexpr int kRootSidType = 22; // WinLocalSystemSid
constexpr int kRootAlsoSidType = 26; // WinBuiltinAdministratorsSid
constexpr const char* kBuiltinUsersGroup = "users";
// LookupAccountNameA finds Unix groups and users by name, on the local machine only: a system name
// fails with ERROR_NONE_MAPPED, as for a name no account has. The domain is the machine's, "UNIX".
constexpr const char* kAccountDomain = "UNIX";
// SetEntriesInAclA builds the simulation's list of one entry, a group and permission bits, from the
// allowing entries of a new list (no old one): each user's rights go to the owner's bits (the list
// cannot name a user, and the file's owner is the user it is meant for), one group's to the group
// bits, and nobody else gets any. Reading is r, writing (data, appending, adding files or folders) w,
// executing or traversing x; full control is all three. Inheritance flags are kept by no POSIX
// folder: they are accepted and mean nothing. Deny and revoke entries, an old list, a second group,
// or a trustee given by name cannot be written in that form: ERROR_INVALID_PARAMETER.
constexpr DWORD kUnrepresentableAclError = ERROR_INVALID_PARAMETER;
// CreateDirectoryA makes a folder with the bits 0755 (less the process's umask), the simulation's
// stand-in for the list a new folder inherits on Windows; a security descriptor in its attributes is
// refused (kUnsupportedSecurityRequestError): the owner and list are given on the opened handle.
constexpr unsigned kNewFolderPermissions = 0755;
// A folder opened with FILE_FLAG_BACKUP_SEMANTICS is a handle for its owner, list and attributes
// (GetSecurityInfo, SetSecurityInfo, GetFileInformationByHandle); reading or writing it fails with
// ERROR_ACCESS_DENIED, as Windows refuses ReadFile on a folder. Share modes are not kept for folders.

// --- Events ----------------------------------------------------------------------------------

// Events are unnamed; a name (which on Windows creates or opens a shared event) is refused.
constexpr DWORD kNamedEventError = ERROR_NOT_SUPPORTED;
// INVALID_HANDLE_VALUE is, as on Windows, the current process's pseudo handle: CloseHandle accepts
// it without effect, and the file and lock calls refuse it as a handle that is not a file's.

// --- Library loading -------------------------------------------------------------------------

// The default extension that a bare library name without one receives.
constexpr char kDefaultLibraryExtension[] = ".so";
// Linux names shared libraries lib<name>.so: in each folder searched, the name is tried as given
// and then with this prefix, so that "qvpxisvc" finds libqvpxisvc.so.
constexpr std::array<const char*, 2> kLibraryFilePrefixes = {"", "lib"};
// Search order of a bare name: each folder of the machine's libraryPath, then the folder of the
// running executable (where Windows looks first, as the application's folder), then the system
// loader's own search. A name with a folder is looked for in that folder only (a relative folder
// is taken from the current folder). The first file found decides: it loads, or the load fails
// with ERROR_BAD_EXE_FORMAT (not a loadable image for this machine), ERROR_PROC_NOT_FOUND (an
// imported symbol is missing) or ERROR_MOD_NOT_FOUND (a dependency is missing).

// Only loading for execution is simulated: a file handle or any flag is refused.
constexpr DWORD kUnsupportedLoadRequestError = ERROR_INVALID_PARAMETER;
// A null module (on Windows, the executable's image) has no exports in the simulation.
constexpr DWORD kNullModuleError = ERROR_INVALID_HANDLE;
// Libraries export by name only; an ordinal (a "name" below 0x10000) is never found.
constexpr std::uintptr_t kOrdinalLimit = 0x10000;

// --- Messages and time -----------------------------------------------------------------------

// FormatMessageA knows only the documented 0x1300 (FROM_SYSTEM, IGNORE_INSERTS, ALLOCATE_BUFFER) and
// the same without ALLOCATE_BUFFER; any other flag fails with ERROR_INVALID_PARAMETER, where Windows
// formats with it.
// The current zone of FileTimeToLocalFileTime is the one TZ names, as for the C runtime; Windows
// takes it from its settings.
// The system's time zone (GetTimeZoneInformationForYear, SystemTimeToTzSpecificLocalTime) is also
// the one TZ names, as Wine takes the host's zone. A year's rules are read from the C library's
// zone database: its standard bias in whole minutes, as Windows keeps a bias (Amsterdam's +00:19:32
// of 1904 is +00:20), and the year's first start and end of daylight time as absolute dates. Only
// the system's zone is known (a named zone fails with this error), and a conversion by yearly
// (relative) transition dates is not simulated and fails with it too.
inline constexpr DWORD kUnsupportedZoneRulesError = ERROR_NOT_SUPPORTED;

// --- Where Wine differs from Windows ----------------------------------------------------------
// Recorded, not applied: the simulation follows Windows. Seen running tests/sim under Wine 8 (the
// Windows build's test_conformance skips these checks under Wine only):
// - FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM) gives Wine's own texts, not Windows' (error 5 is
//   "Access denied." where Windows says "Access is denied."), so the lengths differ as well:
//   FormatMessageA.a_system_text_comes_with_its_length_and_line_end_in_every_english_language and
//   FormatMessageA.a_caller_buffer_must_hold_the_text_and_its_terminator (where Wine also succeeds
//   with a null caller buffer and changes the last error on success).
// - FormatMessageA gives the English text for a language it has no text in, where Windows fails
//   with ERROR_RESOURCE_LANG_NOT_FOUND:
//   FormatMessageA.missing_texts_other_languages_and_other_flags_fail_with_the_error_windows_sets.
// - _localtime64_s converts times after 3000-12-31 23:59:59 UTC, the documented last one:
//   LocalTime64.converts_in_the_zone_that_tz_names_and_refuses_times_outside_1970_to_3000.
// - SystemTimeToTzSpecificLocalTime converts 2025-02-29, a day that is not, where Windows refuses a
//   time that is no day with ERROR_INVALID_PARAMETER, as SystemTimeToFileTime does:
//   SystemTimeToTzSpecificLocalTime.takes_a_zone_without_daylight_time_by_its_bias_and_refuses_a_time_that_is_no_day.
// - wcstombs(nullptr, ...) in the C locale counts a unit above 0xFF as a byte instead of failing
//   with EILSEQ: CLocaleConversion.wcstombs_narrows_units_up_to_ff_and_refuses_others.
// - UnlockFileEx of bytes the handle has not locked fails with ERROR_LOCK_VIOLATION, where Windows
//   fails with ERROR_NOT_LOCKED:
//   FileLocks.a_lock_on_an_empty_file_completes_its_request_and_unlocks_only_by_its_exact_range.
// - LockFileEx never writes the OVERLAPPED's Internal and InternalHigh, which the system sets to
//   STATUS_PENDING when it takes a request and to the request's status and count when it completes
//   (OVERLAPPED's documentation); GetOverlappedResult then reports whatever the caller left there:
//   the same test, and FileLocks.two_handles_of_one_process_conflict_like_two_processes.
// - LockFileEx takes a completion event that is no event (a file handle) without a look, where
//   Windows' native call refuses the request with an invalid handle before anything is locked:
//   FileLocks.bad_handles_and_arguments_are_refused_before_anything_is_locked.

// Seen comparing the shipped DLL on Wine's SetupAPI with the simulation (scripts/compare-builds.py):
// - Wine enumerates devices and interfaces in the sorted order of their registry keys, the
//   simulation in the description's. Windows promises no order (RegEnumKeyEx: "in any order"), so
//   neither is wrong; a host numbering boards by that order (hwconfig list) numbers them
//   differently, and the comparison matches boards by item name.
// - Wine reports device instance IDs in upper case whatever the case of the key; the
//   documentation does not say, Windows' own IDs are upper case, and so the simulation reports
//   them in upper case too (MachineState::build; board state records are found by ID without
//   regard to case, so a record written under the old spelling still counts).
// - Interface paths: Windows derives every interface path from the instance ID, the class and a
//   reference string (IoRegisterDeviceInterface; the string must hold no path separator), and one
//   class and one reference string on one device are one interface. Wine derives it the same way,
//   all lower case, and names the interface key after it. Descriptions once gave a free `path`,
//   which got no interface key on Wine, and two interfaces of one class with their own paths were
//   one interface there; a description now gives the reference string, and the simulation derives
//   the path as Wine does (interfacePath in platform/sim/device/device_ids.cpp).

// Papered over for the shipped DLL by the gap-filling setupapi.dll (tests/shipped), which answers
// these calls itself from what plant-machine.exe writes, and forwards every other one to Wine's:
// - CM_Get_Parent, CM_Get_Child and CM_Get_Sibling are stubs in Wine 8 (they fail), where Windows
//   walks the device tree (their documentation); the gap filler walks the planted one.
// - SetupDiGetDeviceRegistryPropertyA knows no SPDRP_ENUMERATOR_NAME and no SPDRP_ADDRESS (FALSE,
//   the last error unchanged), both documented properties of every device on Windows.
// - The first device a process puts into a set gets DevInst 0 (Wine numbers devnodes from 0), which
//   callers take for none; Windows never hands out 0. The gap filler renumbers every
//   SP_DEVINFO_DATA that SetupDiGetDeviceInterfaceDetailA/W, SetupDiOpenDeviceInfoA/W and
//   SetupDiEnumDeviceInfo fill from 1, one numbering with the tree's (gap-numbering-check.exe).
// - CM_Get_Device_IDA/W know only devices already put into a set by the process; with the gap
//   filler they know every DEVINST the numbering handed out, the tree's too.
// - Wine reports device instance IDs in upper case whatever the case of the registry key; the gap
//   filler's CM_Get_Device_IDA/W do the same, so that the tree and the sets agree.

} // namespace winsim::choice

// COM task memory, code pages, critical sections, time conversion and the C runtime's wide-text
// routines of the simulated Windows.
//
// Wide text is 16-bit (WCHAR = char16_t). The runtime routines that take wide text on Windows
// (mbstowcs, wcstombs, _vswprintf_c_l) are declared here as C++ overloads over char16_t, so that
// module code calling them with WCHAR buffers never reaches the C library's 32-bit wchar_t versions.
#pragma once

#include "platform/sim/win32_types.h"

#include <cstdarg>
#include <cstdlib>
#include <ctime>

// C++ overloads exported from the simulation (C linkage is impossible beside the C library's names).
#define WINSIM_CXX_API __attribute__((visibility("default")))

using LPCCH = const char*;
using LPCWCH = const WCHAR*;
using LPBOOL = BOOL*;
using LPFILETIME = FILETIME*;
using LPSYSTEMTIME = SYSTEMTIME*;
// The runtime's locale handle; the simulation knows only the current (C) locale, passed as null.
struct __crt_locale_pointers;
using _locale_t = __crt_locale_pointers*;

// COM task memory. CoTaskMemRealloc(NULL, n) allocates, (p, 0) frees and returns NULL, and a failed
// reallocation leaves the block as it was.
WINSIM_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T size);
WINSIM_API LPVOID WINAPI CoTaskMemRealloc(LPVOID memory, SIZE_T size);
WINSIM_API void WINAPI CoTaskMemFree(LPVOID memory);

// Code pages.
constexpr UINT CP_ACP = 0;
constexpr UINT CP_SHIFT_JIS = 932;
constexpr UINT CP_WINDOWS_1252 = 1252;
constexpr UINT CP_US_ASCII = 20127;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_PRECOMPOSED = 0x00000001;
constexpr DWORD MB_COMPOSITE = 0x00000002;
constexpr DWORD MB_USEGLYPHCHARS = 0x00000004;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

// The ANSI code page of the machine (1252 unless the machine description says otherwise).
WINSIM_API UINT WINAPI GetACP();
WINSIM_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH multiByte, int multiByteLength,
                                          LPWSTR wide, int wideCapacity);
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;
// The simulation knows no best-fit mappings: a character the page lacks always becomes the default
// character ('?', or lpDefaultChar), with or without WC_NO_BEST_FIT_CHARS, and sets
// *lpUsedDefaultChar. Windows without the flag maps some of them to look-alikes ("Ω" to "O"), so a
// caller that must refuse them passes the flag, and then both behave alike.
WINSIM_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength, LPSTR multiByte,
                                          int multiByteCapacity, LPCCH defaultChar, LPBOOL usedDefaultChar);

// Critical sections: recursive for the owning thread.
WINSIM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
WINSIM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);
WINSIM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
WINSIM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
WINSIM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section);

// Time. Local time follows the TZ environment variable, read afresh on every call.
WINSIM_API errno_t _localtime64_s(struct tm* result, const __time64_t* time);
WINSIM_API BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime);
WINSIM_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);

// The system's time zone. The simulated system's zone is the one TZ names (as Wine takes the host's
// zone); a year's rules are read from the C library's zone database, with every bias in whole
// minutes as Windows keeps them and the year's transitions as absolute dates. Windows' own choices
// for these calls are in windows_choices.h.
struct TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
};
using LPTIME_ZONE_INFORMATION = TIME_ZONE_INFORMATION*;
struct DYNAMIC_TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
    WCHAR TimeZoneKeyName[128];
    BOOLEAN DynamicDaylightTimeDisabled;
};
using PDYNAMIC_TIME_ZONE_INFORMATION = DYNAMIC_TIME_ZONE_INFORMATION*;
// A null zone means the system's.
WINSIM_API BOOL WINAPI GetTimeZoneInformationForYear(USHORT year, PDYNAMIC_TIME_ZONE_INFORMATION zone,
                                                     LPTIME_ZONE_INFORMATION rules);
// A null zone means the system's rules of the moment's year.
WINSIM_API BOOL WINAPI SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* rules,
                                                       const SYSTEMTIME* universalTime, LPSYSTEMTIME localTime);

// The runtime's C-locale conversions between bytes and 16-bit wide text: mbstowcs widens each byte
// to the same code unit; wcstombs narrows units up to 0xFF and fails with EILSEQ for any other.
WINSIM_CXX_API std::size_t mbstowcs(char16_t* wide, const char* narrow, std::size_t capacity);
WINSIM_CXX_API std::size_t wcstombs(char* narrow, const char16_t* wide, std::size_t capacity);
// A size query written as mbstowcs(nullptr, ...) means the 16-bit version here, as it does on Windows.
inline std::size_t mbstowcs(std::nullptr_t, const char* narrow, std::size_t capacity) {
    return mbstowcs(static_cast<char16_t*>(nullptr), narrow, capacity);
}

// Wide formatted print into a buffer of `capacity` characters. Returns the characters written
// without the NUL, or -1 when the text does not fit (the buffer then holds as much as fits, ended
// by a NUL) or the format is invalid. As in the Windows runtime, %s and %c take wide arguments in a
// wide format; %hs and %hc take narrow ones.
WINSIM_CXX_API int _vswprintf_c_l(char16_t* buffer, std::size_t capacity, const char16_t* format,
                                  _locale_t locale, va_list arguments);

// Reporting a failure into a qverr::Status.
//
// A report sets the code (unless the status already holds an error, in which case nothing at all
// happens, so the first failure's payload is the one that reaches the catcher) and writes the
// standard members of the payload:
//     {"error_constant":…,"file":…,"line":…,"component":"qvkelpsysapiexpertu", <caller's members>}
// It returns a cursor standing before the payload's closing brace, on which the caller appends
// its own members in the order it wants them:
//
//     qverr::PayloadCursor cursor = qverr::reportNamedError(status, nQVOSALS100::osalStatusOSFault,
//                                                           __FILE__, __LINE__);
//     qverr::addWin32Error(cursor, error);
//     cursor.beginObject("qvsysq_debug").addString("desc", "SHGetFolderPathW failed").endObject();
//
// The cursor points into the status's buffer: use it before the status is merged, cleared,
// thrown or destroyed. Only throwError throws. When memory runs out the code is still set and the
// payload keeps the members written so far (or stays absent); the cursor is then empty and skips
// what follows.
#pragma once

#include "platform/win32.h"
#include "support/errorStatus.h"
#include "support/statusCodes.h"

#include <cstdint>

namespace qverr {

// Reports `code` into `status` with the members "error_constant" (left out when `errorConstant`
// is null), "file", "line" and "component" (left out when `component` is null). Returns the
// cursor for further members; it is empty when the status already held an error, when the code
// was not accepted, or when no payload could be made.
PayloadCursor reportError(Status& status, std::int32_t code, const char* errorConstant, const char* file,
                          std::int32_t line, const char* component = nQVOSALS100::kComponentName) noexcept;

// reportError with the "error_constant" the code's reports carry (support/errorTranslation.h), as
// the file lock, the folder lookup, the allocator and the library loader report.
PayloadCursor reportNamedError(Status& status, std::int32_t code, const char* file, std::int32_t line) noexcept;

// Appends "internal_error":{"api":"win32","code":<error, unsigned>,"string":<system message>}.
// "string" is left out when the system has no text for the error. GetLastError is kept.
PayloadCursor& addWin32Error(PayloadCursor& cursor, DWORD error) noexcept;

// reportError with the "error_constant" the code's reports carry (support/errorTranslation.h), as
// the file lock, the folder lookup, the allocator and the library loader report.
PayloadCursor reportNamedError(Status& status, std::int32_t code, const char* file, std::int32_t line) noexcept;

// Appends "internal_error":{"api":"hresult","code":<result, signed>}.
PayloadCursor& addHResultError(PayloadCursor& cursor, HRESULT result) noexcept;

// Throws a qverr::Exception whose payload is the report of `code` (an error) made as reportError
// does, for failures that are thrown at once rather than stored in a caller's status.
[[noreturn]] void throwError(std::int32_t code, const char* errorConstant, const char* file,
                             std::int32_t line);

} // namespace qverr

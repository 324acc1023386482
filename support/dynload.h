// Loading a library by name at run time and looking up its exports.
//
// dynload::load and dynload::symbol report a failure into the caller's qverr::Status (code -52005,
// the payload below) and do nothing when the status already holds an error. LibraryHandle owns one
// loaded library, throws qverr::Exception for every failure and frees the library on every path.
//
// Payload of a failure, in this order:
//   "error_constant":"qvosalerr_invalidParameter", "file", "line", "component",
//   "qvdynlib_debug":{"debug":"failed to qvdynlib_load library", "path":<library name as given>}
//                  or {"debug":..., "qvdynlib_symbol":<symbol name>},
//   "internal_error":{"api":"win32","code":<error>,"string":<system message>}
//
// Library names are UTF-8 and reach LoadLibraryExW as UTF-16 with nothing added; the system's
// search order and default extension apply. A lead byte takes its sequence's following bytes
// without checking them; a byte that starts no sequence stands alone as the character of its value,
// and so does each byte of a sequence that the name's NUL cuts short (the NUL is never passed).
#pragma once

#include "platform/win32.h"
#include "support/errorStatus.h"
#include "support/unique_any.h"

namespace dynload {

// Null on failure.
HMODULE load(const char* name, qverr::Status& status);
FARPROC symbol(HMODULE module, const char* name, qverr::Status& status);

class LibraryHandle {
public:
    LibraryHandle() noexcept = default;
    // Loads `name`; throws qverr::Exception when it cannot.
    explicit LibraryHandle(const char* name);

    // Frees a library held before, then loads `name`; throws qverr::Exception when it cannot.
    void load(const char* name);
    // The export's address; throws qverr::Exception when the library has none of that name. The
    // address is valid until the library is freed.
    FARPROC getSymbol(const char* name) const;
    // getSymbol cast to the function type the caller expects.
    template <typename Function> Function getFunction(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(getSymbol(name)));
    }
    // Frees the library, if one is held.
    void close() noexcept;

    bool isLoaded() const noexcept { return static_cast<bool>(module_); }
    HMODULE get() const noexcept { return module_.get(); }

private:
    qv::unique_hmodule module_;
};

} // namespace dynload

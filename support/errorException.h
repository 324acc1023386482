// The exception that carries a failed qverr::Status, and the guard that throws one.
//
// Functions that report into a qverr::Status and must throw on failure declare a StatusScope,
// pass it to the reporting operations, and let it go out of scope:
//
//     void lockShared(...) {
//         qverr::StatusScope status;
//         takeLock(..., status); // reports into status
//     }                          // throws qverr::Exception here if status holds an error
#pragma once

#include "support/errorStatus.h"

#include <cstddef>
#include <cstdint>
#include <exception>

namespace qverr {

class ExceptionBase {
public:
    ExceptionBase() noexcept = default;
    // Takes the payload over from `other` (see the member below).
    ExceptionBase(const ExceptionBase& other) noexcept;
    ExceptionBase& operator=(const ExceptionBase&) = delete;
    virtual ~ExceptionBase() = default;

    // The payload's JSON text, or null when no payload was ever built.
    virtual const char* payloadText() const noexcept { return status_.payload; }

    std::int32_t code() const noexcept { return status_.code; }
    Status& status() noexcept { return status_; }
    const Status& status() const noexcept { return status_; }

private:
    // Copying an exception (as throwing does) moves the payload buffer to the copy instead of
    // duplicating it, so that no allocation can fail while an exception is in flight; the source,
    // even a const one, keeps its code but is left without a payload. The error contract fixes this
    // transfer. `mutable`, not a const_cast in the copy constructor: writing through a const_cast
    // to an exception defined const would be undefined. Catch by reference and rethrow with
    // `throw;`, which copy nothing.
    mutable Status status_;
};

// The one type thrown for a failed qverr::Status; catchers may see it as Exception, ExceptionBase
// or std::exception.
class Exception : public virtual ExceptionBase, public virtual std::exception {
public:
    Exception() noexcept = default;
    Exception(const Exception& other) noexcept = default;

    // The payload's JSON text, or null when there is none (never built, or taken over by a copy).
    // std::exception promises text here, but the module's error contract fixes null, so every
    // reader in the module tests it; the host boundary never reads it at all.
    const char* what() const noexcept override { return payloadText(); }
};

// Throws a qverr::Exception that takes over the status's code and payload when the code is an
// error; returns normally for success and warnings.
void throwIfFailed(Status& status);

// A Status that throws its failure (throwIfFailed) when it goes out of scope, unless an exception
// is already leaving the scope.
//
// Its destructor throws: that is what the guard is for. It is safe only where the end of a block
// runs it, inside code that may throw. A scope made with new would be ended by delete, and delete
// runs in destructors and deleters that may not throw (unique_ptr's, a container's), where the
// failure would end the process; so a StatusScope lives on the stack and nowhere else.
class StatusScope : public Status {
public:
    StatusScope() noexcept;
    ~StatusScope() noexcept(false);

    static void* operator new(std::size_t) = delete;
    static void* operator new[](std::size_t) = delete;

private:
    int uncaughtAtEntry_;
};

} // namespace qverr

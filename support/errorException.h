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
    // Copying an exception (as throwing and rethrowing do) moves the payload buffer to the copy
    // instead of duplicating it, so that no allocation can fail while an exception is in flight;
    // the source, even a const one, is left without a payload.
    mutable Status status_;
};

// The one type thrown for a failed qverr::Status; catchers may see it as Exception, ExceptionBase
// or std::exception.
class Exception : public virtual ExceptionBase, public virtual std::exception {
public:
    Exception() noexcept = default;
    Exception(const Exception& other) noexcept = default;

    // The payload's JSON text, or null when no payload was ever built: callers must test it.
    const char* what() const noexcept override { return payloadText(); }
};

// Throws a qverr::Exception that takes over the status's code and payload when the code is an
// error; returns normally for success and warnings.
void throwIfFailed(Status& status);

// A Status that throws its failure (throwIfFailed) when it goes out of scope, unless an exception
// is already leaving the scope.
class StatusScope : public Status {
public:
    StatusScope() noexcept;
    ~StatusScope() noexcept(false);

private:
    int uncaughtAtEntry_;
};

} // namespace qverr

#include "support/errorException.h"

namespace qverr {

ExceptionBase::ExceptionBase(const ExceptionBase& other) noexcept {
    status_.merge(other.status_);
}

void throwIfFailed(Status& status) {
    if (!status.isFatal()) {
        return;
    }
    Exception exception;
    exception.status().merge(status);
    throw exception;
}

StatusScope::StatusScope() noexcept : uncaughtAtEntry_(std::uncaught_exceptions()) {}

// The question is whether an exception is leaving this scope, not whether one is in flight
// somewhere: a scope that lives entirely inside a destructor run during unwinding (cleanup that
// reports into its own status) must still throw its failure to that destructor's own handler.
// std::uncaught_exception() would say "in flight" there and swallow the failure; comparing the
// count with the one at construction tells the two cases apart. A failure is never thrown while
// another exception leaves the scope, since that would terminate the program.
StatusScope::~StatusScope() noexcept(false) {
    if (std::uncaught_exceptions() <= uncaughtAtEntry_) {
        throwIfFailed(*this);
    }
}

} // namespace qverr

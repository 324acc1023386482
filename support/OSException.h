// Exceptions for failures reported by the operating system.
#pragma once

#include "support/BrixException.h"
#include "support/StringBase.h"

#include <cstdint>

namespace qv::brix::osdep {

class OSException : public exception::Exception {
public:
    // Without a message the text is "Unknown error".
    explicit OSException(const char* message = nullptr, std::uint32_t osError = 0,
                         const char* sourceFile = nullptr, std::uint32_t sourceLine = 0);

    // The message.
    const char* what() const noexcept override;
    std::uint32_t getCode() const noexcept override;
    virtual std::uint32_t getOSError() const noexcept;

protected:
    StringBase<char> message;
    std::uint32_t osError;
};

// The calling thread's last Win32 error, with the system's text for it. Constructing one leaves
// the thread's last error as it was.
class WinError : public OSException {
public:
    explicit WinError(const char* sourceFile = nullptr, std::uint32_t sourceLine = 0);

    // The support library's code for the Win32 error (support/errorTranslation.h).
    std::uint32_t getCode() const noexcept override;
};

} // namespace qv::brix::osdep

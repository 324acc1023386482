// A failure the user can act on: what failed, in words, and the HRESULT when a call returned one.
#pragma once

#include "platform/win32.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace hwconfig {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& what);
    // The message ends with the code and its name: "...: HW_E_ALIAS_IN_USE (0x8004037B)".
    HostError(const std::string& what, HRESULT result);

    const std::optional<HRESULT>& result() const { return result_; }

private:
    std::optional<HRESULT> result_;
};

// Throws HostError(what, result) for a failed result.
void throwIfFailed(HRESULT result, const std::string& what);

} // namespace hwconfig

namespace hwconfig {

// A command line that cannot be run as given; the message says what to change.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace hwconfig

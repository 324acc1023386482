#include "host/hostError.h"

#include "host/errorNames.h"

namespace hwconfig {

HostError::HostError(const std::string& what) : std::runtime_error(what) {}

HostError::HostError(const std::string& what, HRESULT result)
    : std::runtime_error(what + ": " + describeHResult(result)), result_(result) {}

void throwIfFailed(HRESULT result, const std::string& what) {
    if (FAILED(result)) {
        throw HostError(what, result);
    }
}

} // namespace hwconfig

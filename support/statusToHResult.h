// The one table that turns a status code into the HRESULT a host method returns.
#pragma once

#include "hwsys/hwsys_errors.h"

#include <cstdint>

namespace nQVOSALS100 {

HRESULT statusToHResult(std::int32_t code);

} // namespace nQVOSALS100

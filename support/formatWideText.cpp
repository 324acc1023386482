#include "support/formatWideText.h"

#include <cstdarg>

namespace qv::brix {

int formatWideText(WCHAR* buffer, std::size_t capacity, const WCHAR* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int written = _vswprintf_c_l(buffer, capacity, format, nullptr, arguments);
    va_end(arguments);
    return written;
}

} // namespace qv::brix

// The C runtime's conversions between bytes and 16-bit wide text in the C locale.
#include "platform/sim/runtime/win32_memstr.h"

#include <cerrno>
#include <cstring>

WINSIM_CXX_API std::size_t mbstowcs(char16_t* wide, const char* narrow, std::size_t capacity) {
    if (narrow == nullptr) {
        errno = EINVAL;
        return static_cast<std::size_t>(-1);
    }
    if (wide == nullptr) {
        return std::strlen(narrow);
    }
    for (std::size_t i = 0; i < capacity; ++i) {
        wide[i] = static_cast<unsigned char>(narrow[i]);
        if (narrow[i] == '\0') {
            return i;
        }
    }
    return capacity;
}

WINSIM_CXX_API std::size_t wcstombs(char* narrow, const char16_t* wide, std::size_t capacity) {
    if (wide == nullptr) {
        errno = EINVAL;
        return static_cast<std::size_t>(-1);
    }
    const std::size_t limit = narrow == nullptr ? static_cast<std::size_t>(-1) : capacity;
    for (std::size_t i = 0; i < limit; ++i) {
        if (wide[i] > 0xFF) {
            errno = EILSEQ;
            return static_cast<std::size_t>(-1);
        }
        if (narrow != nullptr) {
            narrow[i] = static_cast<char>(wide[i]);
        }
        if (wide[i] == u'\0') {
            return i;
        }
    }
    return capacity;
}

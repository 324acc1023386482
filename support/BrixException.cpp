#include "support/BrixException.h"

namespace qv::brix::exception {

const char* Exception::what() const noexcept {
    return "unspecified exception";
}
std::uint32_t Exception::getCode() const noexcept {
    return 0xFFFFFFFFu;
}

const char* OutOfRange::what() const noexcept {
    return "Out of range";
}
std::uint32_t OutOfRange::getCode() const noexcept {
    return 0x8ABC7007u;
}

const char* InvalidLocale::what() const noexcept {
    return "Invalid locale";
}
std::uint32_t InvalidLocale::getCode() const noexcept {
    return 0x8ABC7024u;
}

} // namespace qv::brix::exception

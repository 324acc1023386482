#include "support/OSException.h"

#include "support/errorTranslation.h"
#include "support/unique_any.h"

#include <cstring>

namespace qv::brix::osdep {

namespace {

using LocalText = qv::unique_hlocal<char>;

// The system's text for a Win32 error, in a buffer the system allocated; null when it has none.
LocalText systemMessage(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
    LocalText owned(text);
    return length == 0 ? LocalText() : std::move(owned);
}

// System texts end in a period and CR LF; the message keeps what stands before the period.
std::size_t messageLength(const char* text) {
    const char* carriageReturn = std::strchr(text, '\r');
    if (carriageReturn == nullptr) {
        return std::strlen(text);
    }
    return carriageReturn == text ? 0 : static_cast<std::size_t>(carriageReturn - text) - 1;
}

} // namespace

OSException::OSException(const char* text, std::uint32_t error, const char* sourceFile,
                         std::uint32_t sourceLine)
    : Exception(sourceFile, sourceLine), message(text == nullptr ? "Unknown error" : text), osError(error) {}

const char* OSException::what() const noexcept {
    return message.c_str();
}
std::uint32_t OSException::getCode() const noexcept {
    return kOSOtherError;
}
std::uint32_t OSException::getOSError() const noexcept {
    return osError;
}

WinError::WinError(const char* sourceFile, std::uint32_t sourceLine)
    : OSException(nullptr, GetLastError(), sourceFile, sourceLine) {
    const qv::last_error_keeper keep;
    if (const LocalText text = systemMessage(osError)) {
        message.assign(text.get(), text.get() + messageLength(text.get()));
    }
}

std::uint32_t WinError::getCode() const noexcept {
    return winErrorCodeOf(osError);
}

} // namespace qv::brix::osdep

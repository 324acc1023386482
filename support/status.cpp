#include "support/status.h"

#include "support/errorTranslation.h"
#include "support/statusCodes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace nQVOSALS100 {
namespace {

void copyComponent(char (&field)[tStatus::kComponentCapacity], const char* name) {
    std::memset(field, 0, sizeof field);
    if (name != nullptr) {
        std::strncpy(field, name, sizeof field - 1);
    }
}

// A name longer than the field keeps its first 49 characters, "..", and its last 49 characters.
void copyFileName(char (&field)[tStatus::kFileCapacity], const char* name) {
    constexpr std::size_t kMaxLength = tStatus::kFileCapacity - 1;
    constexpr std::size_t kHalf = 49;
    std::memset(field, 0, sizeof field);
    if (name == nullptr) {
        return;
    }
    const std::size_t length = std::strlen(name);
    if (length <= kMaxLength) {
        std::memcpy(field, name, length);
        return;
    }
    std::memcpy(field, name, kHalf);
    field[kHalf] = '.';
    field[kHalf + 1] = '.';
    std::memcpy(field + kHalf + 2, name + length - kHalf, kHalf);
}

} // namespace

bool tStatus::setCode(std::int32_t newCode, const char* componentName, const char* fileName,
                      std::uint32_t lineNumber) {
    if (!acceptsStatusCode(code, newCode)) {
        return false;
    }
    code = newCode;
    if (isFull()) {
        copyComponent(component, componentName);
        copyFileName(file, fileName);
        line = lineNumber;
        std::fill(std::begin(extensions), std::end(extensions), nullptr);
    }
    return true;
}

bool tStatus::merge(const tStatus& from) {
    const bool fromFull = from.isFull();
    if (!setCode(from.code, fromFull ? from.component : "", fromFull ? from.file : "", fromFull ? from.line : 0)) {
        return false;
    }
    if (isFull() && fromFull) {
        for (std::uint32_t slot = 0; slot < kExtensionSlots; ++slot) {
            extensions[slot] = from.extensions[slot];
            if (from.extensions[slot] == nullptr) {
                break;
            }
        }
    }
    return true;
}

void tStatus::clear() {
    code = 0;
    std::memset(component, 0, sizeof component);
    std::memset(file, 0, sizeof file);
    line = 0;
    std::fill(std::begin(extensions), std::end(extensions), nullptr);
}

void setStatusFromWin32Error(std::uint32_t win32Error, tStatus* status, const char* fileName,
                             std::uint32_t lineNumber) {
    if (status == nullptr) {
        return;
    }
    status->setCode(statusOfWin32Error(win32Error), kComponentName, fileName, lineNumber);
}

} // namespace nQVOSALS100

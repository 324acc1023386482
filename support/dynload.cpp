#include "support/dynload.h"

#include "support/errorException.h"
#include "support/errorReport.h"
#include "support/statusCodes.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace dynload {
namespace {

constexpr const char* kDebugText = "failed to qvdynlib_load library";

// A growable wide text kept NUL-terminated; it records running out of memory instead of throwing.
class WideText {
public:
    WideText() = default;
    ~WideText() { std::free(units_); }
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    // False when the text cannot grow (memory, or a size that does not fit).
    bool append(std::uint32_t unit) {
        if (length_ + 1 >= capacity_ && !grow(length_ + 1)) {
            return false;
        }
        units_[length_++] = static_cast<WCHAR>(unit);
        units_[length_] = 0;
        return true;
    }
    // Never null once something was appended or reserved; the empty text otherwise.
    const WCHAR* c_str() const { return units_ != nullptr ? units_ : kEmpty; }

private:
    static constexpr WCHAR kEmpty[1] = {0};

    // Room for the larger of twice the capacity and `needed` (at least 127 characters), plus the NUL.
    bool grow(std::size_t needed) {
        constexpr std::size_t kSmallest = 127;
        constexpr std::size_t kLargest = SIZE_MAX / sizeof(WCHAR) / 2 - 1;
        if (needed > kLargest || capacity_ > kLargest) {
            return false;
        }
        const std::size_t characters = std::max({2 * capacity_, needed, kSmallest}) + 1;
        auto* grown = static_cast<WCHAR*>(std::realloc(units_, characters * sizeof(WCHAR)));
        if (grown == nullptr) {
            return false;
        }
        units_ = grown;
        capacity_ = characters;
        return true;
    }

    WCHAR* units_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t length_ = 0;
};

// The number of bytes that follow a lead byte, or 0 when the byte stands alone.
int followingBytes(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) {
        return 1;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 2;
    }
    return (lead & 0xF8) == 0xF0 ? 3 : 0;
}

bool appendCodePoint(std::uint32_t codePoint, WideText& wide) {
    if (codePoint < 0x10000) {
        return wide.append(codePoint);
    }
    return wide.append(0xD7C0 + (codePoint >> 10)) && wide.append(0xDC00 + (codePoint & 0x3FF));
}

// Decodes the character at `text`, moving past it; the bytes of a sequence cut short by the NUL
// stand alone, one by one.
std::uint32_t nextCodePoint(const unsigned char*& text) {
    const unsigned char lead = *text++;
    const int count = followingBytes(lead);
    for (int i = 0; i < count; ++i) {
        if (text[i] == 0) {
            return lead;
        }
    }
    if (count == 0) {
        return lead;
    }
    std::uint32_t codePoint = lead & (0x3F >> count);
    for (int i = 0; i < count; ++i) {
        codePoint = (codePoint << 6) | (*text++ & 0x3F);
    }
    return codePoint;
}

bool widen(const char* name, WideText& wide) {
    for (auto* text = reinterpret_cast<const unsigned char*>(name); *text != 0;) {
        if (!appendCodePoint(nextCodePoint(text), wide)) {
            return false;
        }
    }
    return true;
}

void reportFailure(qverr::Status& status, const char* member, const char* value, DWORD error, int line) {
    qverr::PayloadCursor cursor =
        qverr::reportNamedError(status, nQVOSALS100::osalStatusInvalidParameter, __FILE__, line);
    cursor.beginObject("qvdynlib_debug").addString("debug", kDebugText).addString(member, value).endObject();
    qverr::addWin32Error(cursor, error);
}

} // namespace

HMODULE load(const char* name, qverr::Status& status) {
    if (status.isFatal()) {
        return nullptr;
    }
    WideText wide;
    if (!widen(name, wide)) {
        qverr::reportNamedError(status, nQVOSALS100::osalStatusMemoryFull, __FILE__, __LINE__);
        return nullptr;
    }
    const HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, 0);
    if (module == nullptr) {
        reportFailure(status, "path", name, GetLastError(), __LINE__);
    }
    return module;
}

FARPROC symbol(HMODULE module, const char* name, qverr::Status& status) {
    if (status.isFatal()) {
        return nullptr;
    }
    const FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) {
        reportFailure(status, "qvdynlib_symbol", name, GetLastError(), __LINE__);
    }
    return address;
}

LibraryHandle::LibraryHandle(const char* name) {
    load(name);
}

void LibraryHandle::load(const char* name) {
    close();
    qverr::StatusScope status;
    module_.reset(dynload::load(name, status));
}

FARPROC LibraryHandle::getSymbol(const char* name) const {
    qverr::StatusScope status;
    return symbol(module_.get(), name, status);
}

void LibraryHandle::close() noexcept {
    module_.reset();
}

} // namespace dynload

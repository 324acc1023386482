#include "support/errorReport.h"

#include "support/errorException.h"
#include "support/errorTranslation.h"
#include "support/unique_any.h"

namespace qverr {
namespace {

// The system's text for a Win32 error, owned for the length of one report. Fetching and freeing
// it leave GetLastError as it was, so that a report never disturbs the error it describes.
class SystemMessage {
public:
    explicit SystemMessage(DWORD error) noexcept {
        const qv::last_error_keeper keep;
        constexpr DWORD kFlags =
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
        LPSTR text = nullptr;
        if (FormatMessageA(kFlags, nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPSTR>(&text), 0, nullptr) != 0) {
            text_.reset(text);
        }
    }

    const char* text() const noexcept { return text_.get(); }

private:
    qv::unique_hlocal<char> text_;
};

} // namespace

PayloadCursor reportError(Status& status, std::int32_t code, const char* errorConstant, const char* file,
                          std::int32_t line, const char* component) noexcept {
    if (status.isFatal() || !status.setCode(code) || !status.reserve(status, kEmptyPayloadCapacity)) {
        return {};
    }
    char* end = locateEnd(status.payload);
    if (end == nullptr) {
        return {};
    }
    PayloadCursor cursor(end, &growPayload, &status);
    if (errorConstant != nullptr) {
        cursor.addString("error_constant", errorConstant);
    }
    cursor.addString("file", file).addSigned("line", line);
    if (component != nullptr) {
        cursor.addString("component", component);
    }
    return cursor;
}

PayloadCursor reportNamedError(Status& status, std::int32_t code, const char* file, std::int32_t line) noexcept {
    return reportError(status, code, nQVOSALS100::errorConstantOf(code), file, line);
}

PayloadCursor& addWin32Error(PayloadCursor& cursor, DWORD error) noexcept {
    if (cursor.isEmpty()) {
        return cursor;
    }
    cursor.beginObject("internal_error").addString("api", "win32").addUnsigned("code", error);
    const SystemMessage message(error);
    if (message.text() != nullptr) {
        cursor.addString("string", message.text());
    }
    return cursor.endObject();
}

PayloadCursor& addHResultError(PayloadCursor& cursor, HRESULT result) noexcept {
    return cursor.beginObject("internal_error")
        .addString("api", "hresult")
        .addSigned("code", result)
        .endObject();
}

void throwError(std::int32_t code, const char* errorConstant, const char* file, std::int32_t line) {
    Exception exception;
    reportError(exception.status(), code, errorConstant, file, line);
    throw exception;
}

} // namespace qverr

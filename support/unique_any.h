// The one way to own a handle: unique_any<Traits>, after WIL's unique_any. The traits name the
// handle type, the value that means "none" and the function that closes it; the aliases at the end
// are the handle kinds this code base owns.
//
// Closing keeps GetLastError: an owner is often destroyed between the failing call and the code
// that reads its error, and the close must not overwrite that error.
//
// Header-only, so that the module, the host, the tests and the benchmarks each compile their own
// copy of the same idiom.
#pragma once

#include "platform/win32.h"

#include <cjson/cJSON.h>

#include <cstddef>
#include <cstdio>
#include <utility>

namespace qv {

// Keeps GetLastError across its scope: whatever runs inside cannot disturb the error a caller is
// about to read.
class last_error_keeper {
public:
    last_error_keeper() noexcept : error_(GetLastError()) {}
    ~last_error_keeper() { SetLastError(error_); }
    last_error_keeper(const last_error_keeper&) = delete;
    last_error_keeper& operator=(const last_error_keeper&) = delete;

private:
    DWORD error_;
};

template <class Traits> class unique_any {
public:
    using pointer = typename Traits::pointer;

    unique_any() noexcept = default;
    explicit unique_any(pointer value) noexcept : value_(value) {}
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }

    pointer get() const noexcept { return value_; }
    bool is_valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return is_valid(); }
    // Compared with nullptr: whether it holds nothing, whatever value means "none" for the kind.
    friend bool operator==(const unique_any& owner, std::nullptr_t) noexcept { return !owner.is_valid(); }
    friend bool operator!=(const unique_any& owner, std::nullptr_t) noexcept { return owner.is_valid(); }

    // Closes what is held (keeping GetLastError) and holds `value` instead.
    void reset(pointer value = Traits::invalid()) noexcept {
        const pointer old = std::exchange(value_, value);
        if (old != Traits::invalid()) {
            const last_error_keeper keep;
            Traits::close(old);
        }
    }
    // Gives the handle up; the caller closes it.
    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }
    // For a call that returns a handle through an out-argument: closes what is held first.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};

// Handles for which null means none.
template <class Pointer, auto Close> struct null_handle_traits {
    using pointer = Pointer;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer value) noexcept { static_cast<void>(Close(value)); }
};

// Handles for which INVALID_HANDLE_VALUE means none.
template <class Pointer, auto Close> struct invalid_handle_traits {
    using pointer = Pointer;
    static pointer invalid() noexcept { return reinterpret_cast<pointer>(INVALID_HANDLE_VALUE); }
    static void close(pointer value) noexcept { static_cast<void>(Close(value)); }
};

namespace unique_any_close {
inline void file(FILE* stream) noexcept {
    std::fclose(stream);
}
inline void jsonTree(cJSON* tree) noexcept {
    cJSON_Delete(tree);
}
inline void jsonText(char* text) noexcept {
    cJSON_free(text);
}
} // namespace unique_any_close

using unique_hdevinfo = unique_any<invalid_handle_traits<HDEVINFO, SetupDiDestroyDeviceInfoList>>;
using unique_hkey = unique_any<null_handle_traits<HKEY, RegCloseKey>>;
using unique_hmodule = unique_any<null_handle_traits<HMODULE, FreeLibrary>>;
// Events and the other kernel objects whose creation returns null on failure.
using unique_handle = unique_any<null_handle_traits<HANDLE, CloseHandle>>;
using unique_event = unique_handle;
// A file opened by CreateFile, which reports failure as INVALID_HANDLE_VALUE.
using unique_hfile = unique_any<invalid_handle_traits<HANDLE, CloseHandle>>;
// A search of FindFirstFile, which FindClose ends.
using unique_hfind = unique_any<invalid_handle_traits<HANDLE, FindClose>>;
// Memory the system allocated for the caller with LocalAlloc (FormatMessage's buffers).
template <class Text> using unique_hlocal = unique_any<null_handle_traits<Text*, LocalFree>>;
using unique_file = unique_any<null_handle_traits<FILE*, unique_any_close::file>>;
using unique_cjson = unique_any<null_handle_traits<cJSON*, unique_any_close::jsonTree>>;
// Text cJSON printed, which only cJSON's own deallocator may free.
using unique_cjson_text = unique_any<null_handle_traits<char*, unique_any_close::jsonText>>;

} // namespace qv

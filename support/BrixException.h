// Exceptions of the support library's string, conversion and time routines. All are thrown by value
// and caught by reference; each records the source file and line that threw it.
#pragma once

#include <cstdint>
#include <exception>

namespace qv::brix::exception {

class Exception : public std::exception {
public:
    explicit Exception(const char* sourceFile = nullptr, std::uint32_t sourceLine = 0) noexcept
        : line(sourceLine), file(sourceFile) {}

    const char* what() const noexcept override;
    virtual std::uint32_t getCode() const noexcept;

    // The source file that threw, or null when it was not given.
    const char* getFile() const noexcept { return file; }
    std::uint32_t getLine() const noexcept { return line; }

private:
    std::uint32_t line;
    const char* file;
};

class OutOfRange : public Exception {
public:
    using Exception::Exception;
    const char* what() const noexcept override;
    std::uint32_t getCode() const noexcept override;
};

class InvalidLocale : public Exception {
public:
    using Exception::Exception;
    const char* what() const noexcept override;
    std::uint32_t getCode() const noexcept override;
};

} // namespace qv::brix::exception

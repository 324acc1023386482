// The platform library's trace facility as the module carries it: one trace object bound to the
// debugger-output destination for the module's lifetime. The module writes no trace messages through
// it and has no switch that turns tracing on.
#pragma once

#include "platform/win32.h"

#include <cstdint>

namespace qvkelpsysapiexpert::nQVOSAL000 {

// Receives every finished message (NUL-terminated). The module never changes it; it starts as the
// hand-over to the operating system's debugger output.
using tTraceOutputSink = void (*)(const char* message);
extern tTraceOutputSink traceOutputSink;

// Longest message handed to the sink, without its NUL.
constexpr std::uint32_t kTraceMessageCapacity = 511;

class iTraceDestination {
public:
    virtual ~iTraceDestination() = default;
    // Writes the first `length` characters of `text` (fewer if it ends sooner).
    virtual void writeCounted(const char* text, std::uint32_t length) = 0;
    virtual void writeString(const char* text) = 0;
    virtual void hook3(std::uintptr_t argument) = 0;
    // Copies the destination's command-line option into `buffer` (always terminated, possibly cut
    // short) and reports the size it needs, its NUL included, through `requiredSize` if given.
    virtual char* getCommandLineOption(char* buffer, std::int32_t bufferSize,
                                       std::uint32_t* requiredSize) = 0;
    virtual bool isAvailable() = 0;
    virtual void hook6(std::uintptr_t argument) = 0;
    virtual const char* getName() = 0;

protected:
    constexpr iTraceDestination() = default;
    iTraceDestination(const iTraceDestination&) = default;
    iTraceDestination& operator=(const iTraceDestination&) = default;
};

// Writes to the debugger output of the process.
class tConsoleTraceDestination final : public iTraceDestination {
public:
    constexpr tConsoleTraceDestination() = default;

    void writeCounted(const char* text, std::uint32_t length) override;
    void writeString(const char* text) override;
    void hook3(std::uintptr_t argument) override;
    char* getCommandLineOption(char* buffer, std::int32_t bufferSize, std::uint32_t* requiredSize) override;
    bool isAvailable() override;
    void hook6(std::uintptr_t argument) override;
    const char* getName() override;
};

struct tTraceSettings {
    std::uint8_t enabled = 0;
    std::uint8_t flags = 0;
    std::uint32_t level = 0;
};

class tTrace {
public:
    constexpr explicit tTrace(iTraceDestination* traceDestination) : destination(traceDestination) {}
    tTrace(const tTrace&) = delete;
    tTrace& operator=(const tTrace&) = delete;
    virtual ~tTrace();

    iTraceDestination* destination;
    tTraceSettings settings;
    // Kept for the layout the platform library shares; no operation of the module initialises or
    // enters it, so it never needs deleting.
    CRITICAL_SECTION criticalSection = {};
    bool criticalSectionInitialised = false;
};

extern tConsoleTraceDestination moduleTraceDestination;
extern tTrace moduleTrace;

} // namespace qvkelpsysapiexpert::nQVOSAL000

#include "support/qvtrace.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace qvkelpsysapiexpert::nQVOSAL000 {
namespace {

void passToDebuggerOutput(const char* message) {
    OutputDebugStringA(message);
}

// Formats one message into the fixed buffer, cutting what does not fit, and hands it to the sink.
void emit(const char* format, const char* text) {
    char message[kTraceMessageCapacity + 1];
    std::snprintf(message, sizeof message, format, text);
    message[kTraceMessageCapacity] = '\0';
    traceOutputSink(message);
}

constexpr char kCommandLineOption[] = " --destination osal";

} // namespace

tTraceOutputSink traceOutputSink = passToDebuggerOutput;

tConsoleTraceDestination moduleTraceDestination;
tTrace moduleTrace(&moduleTraceDestination);

// A null text has nothing to write; the C library must not be asked to print it.
void tConsoleTraceDestination::writeCounted(const char* text, std::uint32_t length) {
    if (text == nullptr) {
        return;
    }
    // No more than the buffer keeps can arrive anyway, and a precision beyond INT_MAX makes the C
    // library refuse the whole message.
    const std::uint32_t precision = std::min(length, kTraceMessageCapacity);
    char format[16];
    std::snprintf(format, sizeof format, "%%.%" PRIu32 "s", precision);
    emit(format, text);
}

void tConsoleTraceDestination::writeString(const char* text) {
    if (text != nullptr) {
        emit("%s", text);
    }
}

void tConsoleTraceDestination::hook3(std::uintptr_t /*argument*/) {}

char* tConsoleTraceDestination::getCommandLineOption(char* buffer, std::int32_t bufferSize,
                                                     std::uint32_t* requiredSize) {
    // A negative size is no room at all.
    if (buffer != nullptr && bufferSize > 0) {
        const auto capacity = static_cast<std::size_t>(bufferSize);
        for (std::size_t i = 0; i < capacity; ++i) {
            buffer[i] = kCommandLineOption[i];
            if (kCommandLineOption[i] == '\0') {
                break;
            }
        }
        buffer[capacity - 1] = '\0';
    }
    if (requiredSize != nullptr) {
        *requiredSize = sizeof kCommandLineOption;
    }
    return buffer;
}

bool tConsoleTraceDestination::isAvailable() {
    return true;
}

void tConsoleTraceDestination::hook6(std::uintptr_t /*argument*/) {}

const char* tConsoleTraceDestination::getName() {
    return "qvsdbg_printf";
}

tTrace::~tTrace() {
    settings.enabled = 0;
}

} // namespace qvkelpsysapiexpert::nQVOSAL000

// A library loaded by the loader tests: one export of its own, and an import from the C library,
// whose symbols must not count as this library's exports.
#include <cstring>

extern "C" __attribute__((visibility("default"))) int qvsimtestlib_answer() {
    return 42;
}

extern "C" __attribute__((visibility("default"))) std::size_t qvsimtestlib_length(const char* text) {
    return std::strlen(text);
}

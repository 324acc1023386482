#include "host/progress.h"

#include "host/output.h"

#include <cstdio>
#include <utility>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace hwconfig {
namespace {

constexpr std::chrono::milliseconds kQuietTime{1000};
// A line redrawn for every board of 10,000 wrote 446 KB to the terminal; ten a second is enough to read.
constexpr std::chrono::milliseconds kRedrawInterval{100};

bool standardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

} // namespace

Progress::Progress(std::string activity, std::size_t total)
    : activity_(std::move(activity)), total_(total), enabled_(standardErrorIsTerminal()),
      start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
    if (shown_) {
        printError("\r\033[K");
        std::fflush(stderr);
    }
}

void Progress::update(std::size_t done) {
    const auto now = std::chrono::steady_clock::now();
    if (!enabled_ || now - start_ < kQuietTime || (shown_ && now - drawn_ < kRedrawInterval && done < total_)) {
        return;
    }
    shown_ = true;
    drawn_ = now;
    printError("\r%s: %zu of %zu boards", activity_.c_str(), done, total_);
    std::fflush(stderr);
}

} // namespace hwconfig

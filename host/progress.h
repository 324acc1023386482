// Progress of a long walk over the boards, on standard error: shown only when standard error is a
// terminal and the walk has taken more than about a second, so that quick runs, pipes and logs
// stay clean. The line is erased when the walk ends.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace hwconfig {

class Progress {
public:
    Progress(std::string activity, std::size_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Called after each board; `done` counts the boards finished.
    void update(std::size_t done);

private:
    std::string activity_;
    std::size_t total_;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point drawn_; // when the line was last written
};

} // namespace hwconfig

// Test bodies run in forked children: each child's verdict is its exit code.
#pragma once

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

// Runs `body` in a child that exits 0 when the body returned true, 1 otherwise (a throw included).
inline pid_t spawn(const std::function<bool()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        bool passed = false;
        try {
            passed = body();
        } catch (...) {
        }
        _exit(passed ? 0 : 1);
    }
    return child;
}

inline bool exitedCleanly(pid_t child) {
    int result = 0;
    return waitpid(child, &result, 0) == child && WIFEXITED(result) && WEXITSTATUS(result) == 0;
}

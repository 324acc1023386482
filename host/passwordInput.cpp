#include "host/passwordInput.h"

#include "host/expertModule.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace hwconfig {
namespace {

// Turns the terminal's echo off for its lifetime; does nothing when standard input is no terminal.
class EchoOff {
public:
    EchoOff() {
#ifdef _WIN32
        input_ = GetStdHandle(STD_INPUT_HANDLE);
        changed_ = GetConsoleMode(input_, &saved_) && SetConsoleMode(input_, saved_ & ~ENABLE_ECHO_INPUT);
#else
        changed_ = tcgetattr(STDIN_FILENO, &saved_) == 0;
        if (changed_) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            changed_ = tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
        }
#endif
    }
    ~EchoOff() {
        if (!changed_) {
            return;
        }
#ifdef _WIN32
        SetConsoleMode(input_, saved_);
#else
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
#endif
        // The line break the user typed was not echoed either.
        std::fputc('\n', stderr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
#ifdef _WIN32
    HANDLE input_ = nullptr;
    DWORD saved_ = 0;
#else
    termios saved_{};
#endif
    bool changed_ = false;
};

std::string readLine() {
    std::string line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    if (c == EOF && line.empty()) {
        throw HostError("no password: standard input ended before a line", kExitUsage);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace

bool standardInputIsTerminal() {
#ifdef _WIN32
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

std::string readPasswordLine(const char* prompt) {
    if (prompt == nullptr) {
        return readLine();
    }
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    const EchoOff echoOff;
    return readLine();
}

} // namespace hwconfig

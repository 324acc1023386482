#include "host/passwordInput.h"

#include "host/expertModule.h"
#include "host/output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace hwconfig {
namespace {

constexpr char kPrompt[] = "Calibration password: ";

// The terminal's settings while echo is off, for the signal handler that puts them back: a user
// who interrupts the prompt must not be left typing blind.
#ifdef _WIN32
HANDLE echoInput = nullptr;
DWORD echoSaved = 0;

BOOL WINAPI restoreConsoleOnControl(DWORD) {
    SetConsoleMode(echoInput, echoSaved);
    return FALSE; // and let the default handler end the process
}
#else
termios echoSaved{};
termios echoOff{};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// Signals that stop the process (Ctrl-Z, a background read or write) and leave the terminal to
// the shell until `fg`.
constexpr int kStoppingSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};

void restoreTerminalOnSignal(int signalNumber) {
    tcsetattr(STDIN_FILENO, TCSANOW, &echoSaved);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// The terminal gets its echo back while the process is stopped, and the prompt turns it off again
// when the process resumes, asking anew: the shell may have changed the settings meanwhile.
void stopWithEchoRestored(int signalNumber) {
    const int savedErrno = errno;
    tcsetattr(STDIN_FILENO, TCSANOW, &echoSaved);
    std::signal(signalNumber, SIG_DFL);
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, signalNumber);
    // The handler runs with its signal blocked; unblocked, the raise stops the process here.
    sigprocmask(SIG_UNBLOCK, &stopping, nullptr);
    std::raise(signalNumber);
    std::signal(signalNumber, stopWithEchoRestored);
    tcsetattr(STDIN_FILENO, TCSANOW, &echoOff);
    const ssize_t written = write(STDERR_FILENO, kPrompt, sizeof kPrompt - 1);
    static_cast<void>(written); // a prompt that cannot be shown changes nothing of the reading
    errno = savedErrno;
}
#endif

// Turns the terminal's echo off for its lifetime, and back on when a signal ends the process;
// does nothing when standard input is no terminal.
class EchoOff {
public:
    EchoOff() {
#ifdef _WIN32
        echoInput = GetStdHandle(STD_INPUT_HANDLE);
        changed_ = GetConsoleMode(echoInput, &echoSaved) != 0;
        if (changed_) {
            SetConsoleCtrlHandler(restoreConsoleOnControl, TRUE);
            changed_ = SetConsoleMode(echoInput, echoSaved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
        }
#else
        changed_ = tcgetattr(STDIN_FILENO, &echoSaved) == 0;
        if (changed_) {
            for (const int signalNumber : kEndingSignals) {
                std::signal(signalNumber, restoreTerminalOnSignal);
            }
            for (const int signalNumber : kStoppingSignals) {
                std::signal(signalNumber, stopWithEchoRestored);
            }
            echoOff = echoSaved;
            echoOff.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            changed_ = tcsetattr(STDIN_FILENO, TCSANOW, &echoOff) == 0;
        }
#endif
    }
    ~EchoOff() {
        if (!changed_) {
            return;
        }
#ifdef _WIN32
        SetConsoleMode(echoInput, echoSaved);
        SetConsoleCtrlHandler(restoreConsoleOnControl, FALSE);
#else
        tcsetattr(STDIN_FILENO, TCSANOW, &echoSaved);
        for (const int signalNumber : kEndingSignals) {
            std::signal(signalNumber, SIG_DFL);
        }
        for (const int signalNumber : kStoppingSignals) {
            std::signal(signalNumber, SIG_DFL);
        }
#endif
        // The line break the user typed was not echoed either.
        writeError("\n");
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    bool changed_ = false;
};

void refuse(const std::string& why) {
    throw HostError("no password: " + why, kExitUsage);
}

// One line typed on the terminal, up to its line break.
std::string readTypedLine() {
    std::string line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    if (c == EOF && line.empty()) {
        refuse("standard input ended before a line");
    }
    return line;
}

// The whole of standard input, which must be the password alone: one line, its line break (LF or
// CR LF) optional, no NUL. Anything more is refused rather than dropped, so that a file of the
// wrong shape cannot pass for a password that then reads as wrong.
std::string readWholeInput() {
    std::string text;
    for (int c = 0; (c = std::fgetc(stdin)) != EOF;) {
        text += static_cast<char>(c);
    }
    if (std::ferror(stdin)) {
        // A folder given as standard input reads as an error, not as an empty file.
        refuse(std::string("standard input cannot be read: ") + std::strerror(errno));
    }
    if (text.empty()) {
        refuse("standard input is empty");
    }
    if (text.find('\0') != std::string::npos) {
        refuse("standard input holds a NUL byte, which no board password can");
    }
    const std::size_t end = text.find('\n');
    if (end != std::string::npos && end + 1 != text.size()) {
        refuse("standard input holds more than one line; give the password alone");
    }
    std::string line = text.substr(0, end);
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

std::string readPassword() {
    if (!standardInputIsTerminal()) {
        return readWholeInput();
    }
    // Echo is off, and the stopping signals handled, before the prompt invites typing.
    const EchoOff echoOff;
    writeError(kPrompt);
    std::fflush(stderr);
    std::string line = readTypedLine();
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace hwconfig

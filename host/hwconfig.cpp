// hwconfig: a small hardware-configuration host. It loads the expert module by name, as a host
// does, and drives its operations from the command line.
//
// This file is the frame every command shares: the command line (commandLine.h), the choice of
// machine, the exit codes, and the one way failures are reported - one line on standard error
// saying what failed and, when a call returned one, the HRESULT with its name; with --json also one
// error document on standard output.
// Each command's work is in its own file (commands.h).
//
// Off Windows the module runs on the simulated Windows, which reads the machine named by
// QVKELP_MACHINE. Without --machine the lab machine shipped beside the program is used; the build
// copies it there (examples/lab.json and its drive folder), so that what the module writes (aliases,
// calibration state) changes that copy and never the source tree. On Windows there is no --machine:
// the module sees the real machine.
#include "host/commandLine.h"
#include "host/machineSelection.h"
#include "host/output.h"
#include "host/utf8Text.h"
#include "support/unique_any.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

// The failure as one line on standard error and, with --json, as the error document on standard
// output; a command line that cannot be run is followed by the usage of its command.
void reportFailure(const HostError& error, bool json, const std::string& usage) {
    // What the user typed is echoed in messages: bytes that are not UTF-8 are replaced, as in JSON.
    printError("hwconfig: %s\n", printable(toUtf8(toUtf16(error.what()).c_str())).c_str());
    if (error.exitCode() == kExitUsage) {
        printError("%s\n", usage.c_str());
    }
    if (!json) {
        return;
    }
    try {
        const qv::unique_cjson document = newJsonObject();
        addJsonError(document.get(), "error", error);
        printJson(document.get());
        std::fflush(stdout);
    } catch (const std::exception&) {
        // The line on standard error has said it already.
    }
}

// Whether the line asks for JSON, known also when the line cannot be parsed.
bool asksForJson(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            return true;
        }
    }
    return false;
}

int run(CommandLine& parser, int argc, char** argv) {
    const CommandLine::Run command = parser.parse(argc, argv);
    if (command) {
        selectMachine(parser.machine());
        parser.takePassword();
        ExpertModule module;
        const int exitCode = command(module);
        finishOutput();
        return exitCode;
    }
    finishOutput();
    return kExitSuccess;
}

// The program's arguments as UTF-8, the text the commands read on every build. Windows hands a
// program its arguments in the ANSI code page with best-fit replacements ("Ω" becomes "O"), so there
// they are taken wide, as typed, and converted whole.
class Arguments {
public:
    Arguments(int argc, char** argv) {
#ifdef _WIN32
        static_cast<void>(argc);
        static_cast<void>(argv);
        int count = 0;
        const qv::unique_hlocal<LPWSTR> wide(CommandLineToArgvW(GetCommandLineW(), &count));
        for (int i = 0; wide && i < count; ++i) {
            words_.push_back(toUtf8(wide.get()[i]));
        }
#else
        words_.assign(argv, argv + argc);
#endif
        for (std::string& word : words_) {
            pointers_.push_back(word.data());
        }
        pointers_.push_back(nullptr);
    }

    int count() const { return static_cast<int>(words_.size()); }
    char** values() { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

} // namespace
} // namespace hwconfig

int main(int argc, char** argv) {
    using namespace hwconfig;
#ifdef _WIN32
    // The board libraries are loaded by name: the current folder, which anyone may have made, is
    // taken out of the search before any is loaded.
    SetDllDirectoryW(L"");
#endif
    Arguments arguments(argc, argv);
    CommandLine parser;
    const bool json = asksForJson(arguments.count(), arguments.values());
    try {
        return run(parser, arguments.count(), arguments.values());
    } catch (const HostError& error) {
        reportFailure(error, json, parser.usage());
        return error.exitCode();
    } catch (const std::bad_alloc&) {
        reportFailure(HostError("out of memory", kExitFailure, E_OUTOFMEMORY), json, "");
        return kExitFailure;
    } catch (const std::exception& error) {
        reportFailure(HostError(error.what()), json, "");
        return kExitFailure;
    }
}

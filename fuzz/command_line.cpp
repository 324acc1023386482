// hwconfig's command line: any words, among them empty and blank ones, the commands' own names and
// options, and values after `=`. Reading a line either chooses a command or refuses the line as a
// usage mistake (exit code 2) with hwconfig's own words; anything else - a crash, another exception,
// another exit code - is a fault. Nothing is run: the module is never loaded.
#include "fuzz_input.h"

#include "host/commandLine.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Words that reach the parser's corners: every command and option, values after `=` (empty ones
// too), blank words, `--` and help.
const char* const kWords[] = {
    "",          " ",          "\t",           "  \n",        "--",          "-",           "--help",
    "--json",    "--json=",    "--machine",    "--machine=",  "--version",   "list",        "tree",
    "--dot",     "--dot=1",    "show",         "aliases",     "rename",      "--default",   "--force",
    "cal",       "due",        "--within",     "--within=",   "--at",        "--at=",       "--password",
    "--password=", "--password-stdin", "--date", "--date=",   "--due",       "--interval",  "--interval=",
    "--new-password", "--check", "selftest",   "--mode",      "--mode=",     "selfcal",     "1",
    "2",         "alias:",     "PXI1/3",       "2026-03-18",  "9999-12-31",  "kelp",        "0x10",
};

std::string nextWord(FuzzInput& input) {
    constexpr std::size_t kCount = sizeof kWords / sizeof kWords[0];
    const std::uint8_t choice = input.byte();
    return choice < kCount ? kWords[choice] : input.text(24);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::vector<std::string> words{"hwconfig"};
    while (!input.empty() && words.size() < 12) {
        words.push_back(nextWord(input));
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    hwconfig::CommandLine line;
    try {
        line.parse(static_cast<int>(words.size()), argv.data());
        static_cast<void>(line.usage());
    } catch (const hwconfig::HostError& error) {
        if (error.exitCode() != hwconfig::kExitUsage) {
            std::abort();
        }
        static_cast<void>(line.usage());
    }
    return 0;
}

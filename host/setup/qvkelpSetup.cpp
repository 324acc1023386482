// qvkelp-setup: makes the alias folder the module keeps aliases.json in, with the protection the
// alias rule needs (docs/install.md). The package runs it with the system's rights at every
// installation; an administrator may run it again, and anyone may run it with --check.
//
//   qvkelp-setup [--users GROUP]     make what is missing and set right what differs
//   qvkelp-setup --check [--users GROUP]
//                                    say what differs; exit 1 when anything does
//
// Off Windows it runs on the simulated Windows of the machine that QVKELP_MACHINE names, which
// keeps the same protection in its POSIX form (owner, group and permission bits).
#include "host/setup/aliasFolder.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitDiffers = 1; // checked and found a difference, or refused with the reason
constexpr int kExitUsage = 2;

constexpr char kUsage[] = "usage: qvkelp-setup [--check] [--users GROUP]\n"
                          "  Makes the QV-KELP alias folder under the common application-data folder with\n"
                          "  its protection, aliases.json when it is missing, and the journal kept beside it.\n"
                          "  --check        only say what differs from that; exit 1 when anything does\n"
                          "  --users GROUP  the operators' group, who may read and write the aliases\n"
                          "                 (default: the built-in Users group)\n";

struct Options {
    qvsetup::SetupMode mode = qvsetup::SetupMode::set;
    std::string operatorsGroup;
    bool help = false;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0) {
            options.mode = qvsetup::SetupMode::check;
        } else if (std::strcmp(argv[i], "--users") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            options.operatorsGroup = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            options.help = true;
        } else {
            return false;
        }
    }
    return true;
}

int run(const Options& options) {
    const qvsetup::AliasProtection protection(options.operatorsGroup);
    const std::vector<std::string> lines = qvsetup::setUpAliasFolder(options.mode, protection);
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
    }
    const std::string folder = qvsetup::aliasFolderPath();
    if (options.mode == qvsetup::SetupMode::set) {
        std::printf("%s is set up\n", folder.c_str());
        return kExitSuccess;
    }
    std::printf(lines.empty() ? "%s is as it should be\n" : "%s differs from what qvkelp-setup makes\n",
                folder.c_str());
    return lines.empty() ? kExitSuccess : kExitDiffers;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "%s", kUsage);
        return kExitUsage;
    }
    if (options.help) {
        std::printf("%s", kUsage);
        return kExitSuccess;
    }
    try {
        return run(options);
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "qvkelp-setup: %s\n", error.what());
        return kExitDiffers;
    }
}

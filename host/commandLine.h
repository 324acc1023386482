// hwconfig's command line: which command to run and with what, the machine it names and the
// password a change needs. Every mistake is a HostError with kExitUsage, whose message is
// hwconfig's own; usage() then gives the usage line of the command the line was for.
#pragma once

#include "host/commands.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace hwconfig {

class CommandLine {
public:
    using Run = std::function<int(ExpertModule&)>;

    CommandLine();
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // The command to run; nothing when the line asked for help, which is then printed.
    Run parse(int argc, char** argv);
    // The machine description --machine named, if any (never on Windows).
    std::optional<std::string> machine() const;
    // The password a change needs and the line did not give: from standard input or asked for.
    void takePassword();
    // The usage line of the command the line was for, and where its help is.
    std::string usage() const;

private:
    class Parser;
    std::unique_ptr<Parser> parser_;
};

} // namespace hwconfig

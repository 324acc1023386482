// Running the built hwconfig as a user does, with its standard output and standard error apart.
#pragma once

#include "support/unique_any.h"

#include <cjson/cJSON.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace hosttest {

inline const std::string kHwconfig = std::string(QV_RUNTIME_DIR) + "/hwconfig";

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::string output; // both, standard output first
};

// Runs a built program; `arguments` is shell text; `stdoutTarget`, when given, replaces the
// captured standard output ("> /dev/full").
inline ProgramRun runProgram(const std::string& program, const std::string& arguments,
                             const std::string& stdoutTarget = "") {
    ProgramRun run;
    char errName[] = "/tmp/hwconfig-stderr-XXXXXX";
    const int errFile = mkstemp(errName);
    if (errFile < 0) {
        return run;
    }
    close(errFile);
    const std::string command = program + " " + arguments + " " + stdoutTarget + " 2>" + errName;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 512> chunk{};
        std::size_t got = 0;
        while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
            run.out.append(chunk.data(), got);
        }
        const int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream err(errName);
    std::ostringstream errText;
    errText << err.rdbuf();
    run.err = errText.str();
    std::remove(errName);
    run.output = run.out + run.err;
    return run;
}

inline ProgramRun runHwconfig(const std::string& arguments, const std::string& stdoutTarget = "") {
    return runProgram(kHwconfig, arguments, stdoutTarget);
}

// The JSON text without layout, for comparing with a short expected text; empty when not JSON.
inline std::string compactJson(const std::string& text) {
    const qv::unique_cjson document(cJSON_Parse(text.c_str()));
    if (!document) {
        return {};
    }
    const qv::unique_cjson_text compact(cJSON_PrintUnformatted(document.get()));
    return compact ? compact.get() : "";
}

} // namespace hosttest

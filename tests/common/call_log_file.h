// Points QVKELP_CALL_LOG at a fresh file for the life of one object and reads its lines back.
#pragma once

#include "host_platform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class CallLogFile {
public:
    CallLogFile()
        : path_(std::filesystem::temp_directory_path() / ("qvkelp-call-log-" + std::to_string(hostplatform::processId()) + "-" +
                                                           std::to_string(counter()++) + ".txt")) {
        std::filesystem::remove(path_);
        hostplatform::setEnvironment(kVariable, path_.string());
    }
    ~CallLogFile() {
        hostplatform::unsetEnvironment(kVariable);
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    CallLogFile(const CallLogFile&) = delete;
    CallLogFile& operator=(const CallLogFile&) = delete;

    // Empties the log; the next logged call starts it afresh.
    void clear() const { std::filesystem::remove(path_); }

    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::ifstream file(path_);
        for (std::string line; std::getline(file, line);) {
            result.push_back(line);
        }
        return result;
    }

private:
    static constexpr const char* kVariable = "QVKELP_CALL_LOG";
    static int& counter() {
        static int value = 0;
        return value;
    }
    std::filesystem::path path_;
};

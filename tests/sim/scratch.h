// Scratch folders, machine description files and owned streams for the tests of the simulated
// Windows' files, locks and loader.
#pragma once

#include "platform/win32.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

namespace simtest {

// A fresh folder, removed with everything in it at the end of the test.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvsimfiles-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a scratch folder");
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

    // Writes a file (making its folders) and returns its path.
    std::string write(const std::string& relative, const std::string& content) const {
        const std::string file = *this / relative;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

private:
    std::string path_;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Makes the simulation read a machine description (JSON text, paths relative to its folder) for
// the length of a scope, or run on the empty machine; the previous choice returns afterwards.
struct NoMachine {};

class ScopedMachine {
public:
    static constexpr const char* kVariable = "QVKELP_MACHINE";

    ScopedMachine(const ScratchFolder& folder, const std::string& json,
                  const std::string& name = "machine.json") {
        remember();
        setenv(kVariable, folder.write(name, json).c_str(), 1);
    }
    explicit ScopedMachine(NoMachine) {
        remember();
        unsetenv(kVariable);
    }
    ~ScopedMachine() {
        if (previous_) {
            setenv(kVariable, previous_->c_str(), 1);
        } else {
            unsetenv(kVariable);
        }
    }
    ScopedMachine(const ScopedMachine&) = delete;
    ScopedMachine& operator=(const ScopedMachine&) = delete;

private:
    void remember() {
        if (const char* value = std::getenv(kVariable)) {
            previous_ = value;
        }
    }
    std::optional<std::string> previous_;
};

struct CloseStream {
    void operator()(FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<FILE, CloseStream>;

// A C runtime stream with the Windows handle the runtime keeps for it.
struct OpenFile {
    Stream stream;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

inline OpenFile openWithHandle(const std::string& path, const char* mode) {
    OpenFile file{Stream(platformOpenFile(path.c_str(), mode)), INVALID_HANDLE_VALUE};
    if (file.stream) {
        file.handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.stream.get())));
    }
    return file;
}

} // namespace simtest

// C runtime streams with their Windows handles, for the tests of files, locks and the loader.
#pragma once

#include "platform/win32.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace simtest {

struct CloseStream {
    void operator()(FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<FILE, CloseStream>;

// A stream and the Windows handle the runtime keeps for it.
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

// Writes a file, making its folders, and returns its path.
inline std::string writeFileAt(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
}

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace simtest

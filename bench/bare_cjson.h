// The least a rename of one record must do, with bare cJSON and the C runtime: the baseline that
// the alias store and RenameResource are measured against.
#pragma once

#include "support/unique_any.h"

#include <cjson/cJSON.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace barecjson {

inline std::string readAll(FILE* file) {
    std::fseek(file, 0, SEEK_END);
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    if (std::fread(text.data(), 1, text.size(), file) != text.size()) {
        std::abort();
    }
    return text;
}

inline void writeAll(int fd, const char* text, std::size_t length) {
    for (std::size_t written = 0; written < length;) {
        const ssize_t count = ::write(fd, text + written, length - written);
        if (count <= 0) {
            std::abort();
        }
        written += static_cast<std::size_t>(count);
    }
}

// Reads and parses the file, replaces the record under `token`, prints and writes it back whole.
// With a `journal` path, the crash-safe form: the old and the new text are first written to that
// second file and flushed to the disk, and the second file is removed once the rewritten file is
// flushed to the disk too.
inline void replaceRecord(const std::string& path, const char* token, const cJSON* record,
                          const char* journal = nullptr) {
    const qv::unique_file file(std::fopen(path.c_str(), "r+b"));
    const std::string text = readAll(file.get());
    const qv::unique_cjson root(cJSON_Parse(text.c_str()));
    cJSON* devices = cJSON_GetObjectItem(root.get(), "devices");
    cJSON_DeleteItemFromObject(devices, token);
    cJSON_AddItemToObject(devices, token, cJSON_Duplicate(record, true));
    const qv::unique_cjson_text printed(cJSON_Print(root.get()));
    const std::size_t length = std::strlen(printed.get());
    if (journal != nullptr) {
        const int fd = ::open(journal, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd == -1) {
            std::abort();
        }
        writeAll(fd, text.data(), text.size());
        writeAll(fd, printed.get(), length);
        if (::fsync(fd) != 0 || ::close(fd) != 0) {
            std::abort();
        }
    }
    std::rewind(file.get());
    std::fwrite(printed.get(), 1, length, file.get());
    std::fflush(file.get());
    if (ftruncate(fileno(file.get()), static_cast<off_t>(length)) != 0 ||
        (journal != nullptr && (::fsync(fileno(file.get())) != 0 || ::unlink(journal) != 0))) {
        std::abort();
    }
}

} // namespace barecjson

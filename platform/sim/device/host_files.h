// The few things the device side asks of the files of the system it runs on: the state file of the
// board libraries, its lock, the call log and whether a description changed. One implementation per
// system: posix/ for the simulated Windows on Linux, windows/ for qvwinsim.dll.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace winsim {

// The whole file; empty when it does not exist. Throws std::runtime_error naming the file.
std::string readWholeFile(const std::string& path);
// Writes a new file and puts it in place of `path` in one step, so that a reader sees the old file
// or the new one, never a part of either. Throws std::runtime_error naming the file.
void replaceFile(const std::string& path, const std::string& text);
// Appends `line` with one write, after every line any process appended before; silent on failure.
void appendToFile(const std::string& path, const std::string& line);
// What tells that a file changed (its identity, size and modification time, or why it cannot be
// asked); equal signatures mean an unchanged file. Plain numbers: the simulation asks before every
// call, so the answer must cost no more than the system's own query.
using FileSignature = std::array<std::uint64_t, 5>;
FileSignature fileSignature(const std::string& path);

// An exclusive whole-file lock on `path` (created when missing), held by every process that changes
// the file it guards; waits until granted, released when destroyed. Throws std::runtime_error.
class ExclusiveFileLock {
public:
    explicit ExclusiveFileLock(const std::string& path);
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

private:
    std::intptr_t handle_;
};

} // namespace winsim

// An open file as a kernel object: the Windows handle of a C runtime stream.
#pragma once

#include "platform/sim/runtime/byte_range_locks.h"
#include "platform/sim/runtime/kernel_objects.h"
#include "platform/sim/runtime/share_modes.h"

#include <atomic>
#include <string>

namespace winsim {

class FileObject final : public KernelObject {
public:
    FileObject(int fd, std::string path, bool writable, std::unique_ptr<ShareEntry> share)
        : fd_(fd), path_(std::move(path)), writable_(writable), locks_(fd), share_(std::move(share)) {}

    int fd() const { return fd_; }
    // The path as the program named it, e.g. C:\ProgramData\Quorvel\QV-KELP\aliases.json.
    const std::string& path() const { return path_; }
    // Whether the stream was opened for writing (the descriptor may allow more; see the choices).
    bool writable() const { return writable_; }
    bool handleClosed() const { return handleClosed_.load(); }
    ByteRangeLocks& locks() { return locks_; }

    // Closing the handle under a stream releases its locks and leaves the stream unusable, as on
    // Windows; the descriptor itself stays open until the stream is closed, so that its number is
    // not reused while the stream still names it.
    void onHandleClosed() override {
        handleClosed_ = true;
        locks_.releaseAll();
        if (share_) {
            share_->release();
        }
    }

private:
    const int fd_;
    const std::string path_;
    const bool writable_;
    std::atomic<bool> handleClosed_{false};
    ByteRangeLocks locks_;
    const std::unique_ptr<ShareEntry> share_;
};

} // namespace winsim

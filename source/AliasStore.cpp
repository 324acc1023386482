#include "source/AliasStore.h"

#include "hwsys/hwsys_errors.h"
#include "support/FileLockImpl.h"
#include "support/error_exception.h"
#include "support/status_codes.h"
#include "support/stdpath.h"
#include "support/unique_any.h"

#include <boost/shared_ptr.hpp>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::size_t kMaxAliasLength = 254;

bool isAliasCharacter(WCHAR c) {
    return c == u'-' || c == u'_' || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
           (c >= u'a' && c <= u'z');
}

[[noreturn]] void throwUnexpected() {
    throw HRESULT{E_UNEXPECTED};
}

void closeStream(FILE* stream) {
    qv::unique_file{stream};
}

void report(nQVOSALS100::tStatus* status, std::int32_t code, std::uint32_t line) {
    status->setCode(code, nQVOSALS100::kComponentName, __FILE__, line);
}

using OpenStream = std::unique_ptr<FILE, void (*)(FILE*)>;

OpenStream openStream(const std::string& path, const char* mode) {
    return OpenStream(platformOpenFile(path.c_str(), mode), closeStream);
}

// A copy that is missing or cannot be removed changes nothing: the file itself is whole.
void removeFile(const std::string& path) {
    const DWORD error = GetLastError();
    static_cast<void>(DeleteFileA(path.c_str()));
    SetLastError(error);
}

// Null when the text is not one well-formed JSON document.
cJSONUtils::Tree parseIfWellFormed(const std::string& text) {
    try {
        return cJSONUtils::parseDocument(text.data(), text.size());
    } catch (const qverr::Exception&) {
        return nullptr;
    }
}

} // namespace

std::string getAliasesFilePath() {
    std::string path;
    {
        qverr::StatusScope status;
        stdpath::getCompanyDataFolder(path, status);
    }
    path += "\\QV-KELP\\aliases.json";
    return path;
}

std::string getRecoveryFilePath(const std::string& aliasesFilePath) {
    return aliasesFilePath + ".recovery";
}

void validateAlias(const WCHAR* alias) {
    if (alias == nullptr || alias[0] == u'_') {
        throw HRESULT{HW_E_INVALID_ALIAS};
    }
    std::size_t length = 0;
    for (; alias[length] != 0; ++length) {
        if (length == kMaxAliasLength || !isAliasCharacter(alias[length])) {
            throw HRESULT{HW_E_INVALID_ALIAS};
        }
    }
    if (length == 0) {
        throw HRESULT{HW_E_INVALID_ALIAS};
    }
}

const AliasFileIo& runtimeFileIo() {
    static const AliasFileIo io = {
        [](FILE* stream, long offset, int origin) { return std::fseek(stream, offset, origin); },
        [](FILE* stream) { return std::ftell(stream); },
        [](void* buffer, std::size_t size, std::size_t count, FILE* stream) {
            return std::fread(buffer, size, count, stream);
        },
        [](const void* buffer, std::size_t size, std::size_t count, FILE* stream) {
            return std::fwrite(buffer, size, count, stream);
        },
        [](FILE* stream) { return std::fflush(stream); },
        [](FILE* stream, long long length) { return _chsize_s(_fileno(stream), length); },
    };
    return io;
}

// The open stream with its lock held. The members are destroyed in the reverse order of their
// declaration, which is the order the lock protocol needs: the lock is released, then the lock's
// event is closed, then the file is closed; a failure while taking the lock skips the release.
class AliasStore::LockedFile {
public:
    LockedFile(boost::shared_ptr<FILE> file, Access access)
        : file_(std::move(file)), lock_(file_.get()), held_(takeLock(lock_, access)) {}

    FILE* stream() const { return file_.get(); }

private:
    class Held {
    public:
        explicit Held(FileLockImpl& lock) : lock_(lock) {}
        ~Held() {
            const qv::last_error_keeper keep;
            lock_.unlock();
        }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        FileLockImpl& lock_;
    };

    static FileLockImpl& takeLock(FileLockImpl& lock, Access access) {
        if (access == Access::update) {
            lock.lockExclusive();
        } else {
            lock.lockShared();
        }
        return lock;
    }

    boost::shared_ptr<FILE> file_;
    FileLockImpl lock_;
    Held held_;
};

AliasStore::AliasStore() : AliasStore(runtimeFileIo()) {}

AliasStore::AliasStore(const AliasFileIo& io) : io_(&io) {}

AliasStore::~AliasStore() = default;

bool AliasStore::openForRead(nQVOSALS100::tStatus* status) {
    return open(Access::read, status);
}

bool AliasStore::openForUpdate(nQVOSALS100::tStatus* status) {
    return open(Access::update, status);
}

void AliasStore::close() noexcept {
    devices_ = nullptr;
    root_.reset();
    file_.reset();
    path_.clear();
    text_.clear();
}

bool AliasStore::open(Access access, nQVOSALS100::tStatus* status) {
    close();
    std::string path = getAliasesFilePath();
    FILE* stream = platformOpenFile(path.c_str(), access == Access::update ? "r+b" : "rb");
    if (stream == nullptr) {
        const bool denied = access == Access::update && errno == EACCES;
        report(status, denied ? nQVOSALS100::osalStatusFileAccessDenied : nQVOSALS100::osalStatusUnexpected,
               __LINE__);
        return false;
    }
    file_ = std::make_unique<LockedFile>(boost::shared_ptr<FILE>(stream, closeStream), access);
    path_ = std::move(path);
    try {
        std::string text = readWholeFile(file_->stream());
        cJSONUtils::Tree root = parseOrRecover(text, access);
        cJSONUtils::requireObject(root.get());
        cJSON* devices = cJSONUtils::getMember(root.get(), "devices");
        cJSONUtils::requireObject(devices);
        text_ = std::move(text);
        root_ = std::move(root);
        devices_ = devices;
    } catch (...) {
        close();
        throw;
    }
    return true;
}

// Only a file whose text is not JSON is taken for one torn by a dying writer: a rewrite cut short
// leaves part of the new text over the old, or the new text followed by the old one's tail.
cJSONUtils::Tree AliasStore::parseOrRecover(std::string& text, Access access) {
    try {
        return cJSONUtils::parseDocument(text.data(), text.size());
    } catch (const qverr::Exception&) {
        std::string copyText;
        {
            // Closed before the copy is removed: Windows deletes no file that a stream holds open.
            const OpenStream copy = openStream(getRecoveryFilePath(path_), "rb");
            if (copy == nullptr) {
                throw;
            }
            copyText = readWholeFile(copy.get());
        }
        cJSONUtils::Tree root = parseIfWellFormed(copyText);
        if (root == nullptr) {
            throw;
        }
        if (access == Access::update) {
            if (!replaceContent(copyText)) {
                throwUnexpected();
            }
            removeFile(getRecoveryFilePath(path_));
        }
        text = std::move(copyText);
        return root;
    }
}

std::string AliasStore::readWholeFile(FILE* stream) const {
    if (io_->seek(stream, 0, SEEK_END) != 0) {
        throwUnexpected();
    }
    const long size = io_->tell(stream);
    if (size < 0 || io_->seek(stream, 0, SEEK_SET) != 0) {
        throwUnexpected();
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    if (io_->read(text.data(), 1, text.size(), stream) != text.size()) {
        throwUnexpected();
    }
    return text;
}

cJSON* AliasStore::requireDevices() const {
    if (devices_ == nullptr) {
        throw std::logic_error("the alias store is not open");
    }
    return devices_;
}

const cJSON* AliasStore::findDeviceRecord(const std::string& token) const {
    return cJSONUtils::findMember(requireDevices(), token.c_str());
}

std::optional<std::string> AliasStore::readAlias(const std::string& token) const {
    const cJSON* record = findDeviceRecord(token);
    if (record == nullptr) {
        return std::nullopt;
    }
    return cJSONUtils::getString(cJSONUtils::getMember(record, "alias"));
}

bool AliasStore::isAliasInUse(const std::string& alias) const {
    const cJSON* record = nullptr;
    cJSON_ArrayForEach(record, requireDevices()) {
        const cJSON* stored = cJSONUtils::getMember(record, "alias");
        cJSONUtils::requireString(stored);
        if (alias == stored->valuestring) {
            return true;
        }
    }
    return false;
}

bool AliasStore::removeDeviceRecord(const std::string& token) {
    cJSON* devices = requireDevices();
    bool removed = false;
    for (cJSON* record = cJSONUtils::findMember(devices, token.c_str()); record != nullptr;
         record = cJSONUtils::findMember(devices, token.c_str())) {
        cJSONUtils::deleteMember(devices, record);
        removed = true;
    }
    return removed;
}

void AliasStore::replaceDeviceRecord(const std::string& token, const cJSON* record) {
    removeDeviceRecord(token);
    cJSONUtils::addCopy(devices_, token.c_str(), record);
}

bool AliasStore::writeBack(nQVOSALS100::tStatus* status) {
    requireDevices();
    std::string text = cJSONUtils::print(root_.get());
    const std::string recoveryPath = getRecoveryFilePath(path_);
    if (!writeRecoveryCopy(text)) {
        removeFile(recoveryPath);
        report(status, nQVOSALS100::osalStatusUnexpected, __LINE__);
        return false;
    }
    if (replaceContent(text)) {
        removeFile(recoveryPath);
        text_ = std::move(text);
        return true;
    }
    // Put back the text the file held, so that a failed rename never leaves it half-written. That
    // text once fitted in the file, so rewriting it is the write most likely to succeed now. Should
    // even that fail, the recovery copy stays: the next open then finds a whole document in it.
    if (replaceContent(text_)) {
        removeFile(recoveryPath);
    }
    report(status, nQVOSALS100::osalStatusUnexpected, __LINE__);
    return false;
}

// Written whole and flushed before the file itself is touched, so that a writer that dies during
// the rewrite leaves a whole document behind.
bool AliasStore::writeRecoveryCopy(const std::string& text) const {
    OpenStream copy = openStream(getRecoveryFilePath(path_), "wb");
    if (copy == nullptr) {
        return false;
    }
    const bool written =
        std::fwrite(text.data(), 1, text.size(), copy.get()) == text.size() && std::fflush(copy.get()) == 0;
    return std::fclose(copy.release()) == 0 && written;
}

// The text is written and flushed in full before the file is cut to its length, so a failure
// never leaves the file shorter than what was written.
bool AliasStore::replaceContent(const std::string& text) {
    FILE* stream = file_->stream();
    std::clearerr(stream);
    return io_->seek(stream, 0, SEEK_SET) == 0 &&
           io_->write(text.data(), 1, text.size(), stream) == text.size() && io_->flush(stream) == 0 &&
           io_->truncate(stream, static_cast<long long>(text.size())) == 0 && io_->flush(stream) == 0;
}

#include "source/AliasStore.h"

#include "com/hostBoundary.h"
#include "hwsys/hwsys_errors.h"
#include "support/FileLockImpl.h"
#include "support/errorException.h"
#include "support/statusCodes.h"
#include "support/stdpath.h"
#include "support/unique_any.h"

#include <cerrno>
#include <cinttypes>
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
    qvkelpsysapiexpert::throwHResult(E_UNEXPECTED);
}

void report(nQVOSALS100::tStatus* status, std::int32_t code, std::uint32_t line) {
    status->setCode(code, nQVOSALS100::kComponentName, __FILE__, line);
}

qv::unique_file openStream(const std::string& path, const char* mode) {
    return qv::unique_file(platformOpenFile(path.c_str(), mode));
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

constexpr char kJournalTag[] = "QVKELP-ALIASES-JOURNAL 1";

// FNV-1a: a torn or mixed journal fails it, whatever its length.
std::uint64_t checksumOf(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
}

// A recovery journal: the file's text it replaces and the text that replaces it.
struct Journal {
    std::string base;
    std::string next;

    // Whether `current` is a state a rewrite from `base` to `next` passes through: the rewrite puts
    // the first k bytes of `next` over `base` and then cuts the file to the length of `next`.
    bool covers(const std::string& current) const {
        if (current == next) {
            return true;
        }
        std::size_t sharedStart = 0;
        while (sharedStart < current.size() && sharedStart < next.size() && current[sharedStart] == next[sharedStart]) {
            ++sharedStart;
        }
        if (current.size() == base.size()) {
            std::size_t oldTail = current.size();
            while (oldTail > 0 && current[oldTail - 1] == base[oldTail - 1]) {
                --oldTail;
            }
            return oldTail <= sharedStart;
        }
        return current.size() > base.size() && sharedStart == current.size();
    }
};

// Null unless the text is one whole journal: header, base and next text of the lengths and the
// checksum its header names.
std::optional<Journal> parseJournal(const std::string& text) {
    const std::size_t headerEnd = text.find('\n');
    if (headerEnd == std::string::npos) {
        return std::nullopt;
    }
    const std::string header = text.substr(0, headerEnd);
    unsigned long long baseLength = 0;
    unsigned long long nextLength = 0;
    std::uint64_t checksum = 0;
    int consumed = 0;
    const std::string format = std::string(kJournalTag) + " %llu %llu %" SCNx64 "%n";
    if (std::sscanf(header.c_str(), format.c_str(), &baseLength, &nextLength, &checksum, &consumed) != 3 ||
        static_cast<std::size_t>(consumed) != header.size() || baseLength > text.size() || nextLength > text.size() ||
        headerEnd + 1 + baseLength + nextLength != text.size()) {
        return std::nullopt;
    }
    const std::string body = text.substr(headerEnd + 1);
    if (checksumOf(body) != checksum) {
        return std::nullopt;
    }
    return Journal{body.substr(0, baseLength), body.substr(baseLength)};
}

// The content a recovery copy gives the file whose text is `current`; nothing for a leftover.
std::optional<std::string> contentOfCopy(const std::string& copy, const std::string& current) {
    if (const std::optional<Journal> journal = parseJournal(copy)) {
        return journal->covers(current) ? std::optional<std::string>(journal->next) : std::nullopt;
    }
    // A copy in the earlier form, the new text alone, counts only when the file's own text is not
    // JSON: a rewrite cut short left part of the new text over the old, or the new text followed
    // by the old one's tail.
    if (parseIfWellFormed(current) == nullptr && parseIfWellFormed(copy) != nullptr) {
        return copy;
    }
    return std::nullopt;
}

HANDLE osHandleOf(FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

// A file with a second name, or a symbolic link, would let a write reach a file of someone else.
bool isLinked(const BY_HANDLE_FILE_INFORMATION& information) {
    return (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || information.nNumberOfLinks != 1;
}

// The journal file, new; or a leftover that cannot be removed (another user's, in a folder where
// only owners remove files), opened itself rather than what it may link to. The new file takes
// the alias file's permission bits from `aliasFile`, so every user of the alias file can use it.
qv::unique_hfile openJournalFile(const std::string& path, HANDLE aliasFile) {
    removeFile(path);
    qv::unique_hfile created(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, aliasFile));
    if (created || GetLastError() != ERROR_FILE_EXISTS) {
        return created;
    }
    return qv::unique_hfile(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool writeWhole(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size() && SetEndOfFile(file) && FlushFileBuffers(file);
}

// The error of the last failed call, never ERROR_SUCCESS.
DWORD lastFailure() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
}

// The owner of the file behind `file`, valid while `descriptor` holds it.
DWORD ownerOf(HANDLE file, PSID* owner, qv::unique_hlocal<void>& descriptor) {
    PSECURITY_DESCRIPTOR held = nullptr;
    const DWORD error =
        GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr, nullptr, &held);
    descriptor.reset(held);
    return error;
}

// The rule of protected symbolic links: a link that another user than its target's owner made may
// have been planted to make this user overwrite the target. ERROR_ACCESS_DENIED for such a link,
// ERROR_SUCCESS for a file that is no link or a link of the target's owner.
DWORD refuseForeignLink(const std::string& path, HANDLE target) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return lastFailure();
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return ERROR_SUCCESS;
    }
    const qv::unique_hfile link(CreateFileA(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!link) {
        return lastFailure();
    }
    PSID linkOwner = nullptr;
    PSID targetOwner = nullptr;
    qv::unique_hlocal<void> linkDescriptor;
    qv::unique_hlocal<void> targetDescriptor;
    DWORD error = ownerOf(link.get(), &linkOwner, linkDescriptor);
    if (error == ERROR_SUCCESS) {
        error = ownerOf(target, &targetOwner, targetDescriptor);
    }
    if (error != ERROR_SUCCESS) {
        return error;
    }
    return EqualSid(linkOwner, targetOwner) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

} // namespace

std::string recoveryJournalText(const std::string& base, const std::string& next) {
    const std::string body = base + next;
    char header[96];
    std::snprintf(header, sizeof header, "%s %zu %zu %016" PRIx64 "\n", kJournalTag, base.size(), next.size(),
                  checksumOf(body));
    return header + body;
}

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
        qvkelpsysapiexpert::throwHResult(HW_E_INVALID_ALIAS);
    }
    std::size_t length = 0;
    for (; alias[length] != 0; ++length) {
        if (length == kMaxAliasLength || !isAliasCharacter(alias[length])) {
            qvkelpsysapiexpert::throwHResult(HW_E_INVALID_ALIAS);
        }
    }
    if (length == 0) {
        qvkelpsysapiexpert::throwHResult(HW_E_INVALID_ALIAS);
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
    LockedFile(qv::unique_file file, Access access)
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

    qv::unique_file file_;
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
    qv::unique_file stream = openStream(path, access == Access::update ? "r+b" : "rb");
    if (!stream) {
        const bool denied = access == Access::update && errno == EACCES;
        report(status, denied ? nQVOSALS100::osalStatusFileAccessDenied : nQVOSALS100::osalStatusUnexpected,
               __LINE__);
        return false;
    }
    file_ = std::make_unique<LockedFile>(std::move(stream), access);
    path_ = std::move(path);
    try {
        std::string text = readWholeFile(file_->stream());
        if (!recover(text, access, status)) {
            close();
            return false;
        }
        cJSONUtils::Tree root = cJSONUtils::parseDocument(text.data(), text.size());
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

// The recovery copy's text; nothing when there is none, or when this user may not read it (a
// leftover of another user's), which leaves the file's own text to stand.
std::optional<std::string> AliasStore::readRecoveryCopy() const {
    const std::string copyPath = getRecoveryFilePath(path_);
    if (GetFileAttributesA(copyPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            throwUnexpected();
        }
        return std::nullopt;
    }
    const qv::unique_file copy = openStream(copyPath, "rb");
    if (!copy) {
        return std::nullopt;
    }
    return readWholeFile(copy.get());
}

// A whole journal that covers the file's text makes its new text the content; an update completes
// the rewrite and removes the journal. False, with the status reported, when that rewrite fails.
bool AliasStore::recover(std::string& text, Access access, nQVOSALS100::tStatus* status) {
    const std::optional<std::string> copy = readRecoveryCopy();
    std::optional<std::string> content = copy ? contentOfCopy(*copy, text) : std::nullopt;
    if (!content) {
        return true;
    }
    if (access == Access::update) {
        if (text != *content && !restore(*content, status)) {
            return false;
        }
        removeFile(getRecoveryFilePath(path_));
    }
    text = std::move(*content);
    return true;
}

// Completing another writer's rewrite writes text this caller did not choose, so it never goes
// through a link: the file must be itself, with one name.
bool AliasStore::restore(const std::string& text, nQVOSALS100::tStatus* status) {
    const DWORD attributes = GetFileAttributesA(path_.c_str());
    BY_HANDLE_FILE_INFORMATION information{};
    if (attributes == INVALID_FILE_ATTRIBUTES || !GetFileInformationByHandle(osHandleOf(file_->stream()), &information)) {
        report(status, nQVOSALS100::osalStatusUnexpected, __LINE__);
        return false;
    }
    information.dwFileAttributes |= attributes;
    if (isLinked(information)) {
        report(status, nQVOSALS100::osalStatusFileAccessDenied, __LINE__);
        return false;
    }
    if (!replaceContent(text)) {
        report(status, nQVOSALS100::osalStatusUnexpected, __LINE__);
        return false;
    }
    return true;
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
    DWORD error = refuseForeignLink(path_, osHandleOf(file_->stream()));
    if (error == ERROR_SUCCESS) {
        error = writeJournal(text);
    }
    if (error != ERROR_SUCCESS) {
        report(status,
               error == ERROR_ACCESS_DENIED ? nQVOSALS100::osalStatusFileAccessDenied
                                            : nQVOSALS100::osalStatusUnexpected,
               __LINE__);
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

// Written whole and flushed to the disk before the file itself is touched, so that a writer that
// dies during the rewrite leaves a whole journal behind. ERROR_SUCCESS, or the error of the
// failed call; a planted link is refused with ERROR_ACCESS_DENIED before anything is written.
DWORD AliasStore::writeJournal(const std::string& next) const {
    const std::string copyPath = getRecoveryFilePath(path_);
    qv::unique_hfile copy = openJournalFile(copyPath, osHandleOf(file_->stream()));
    if (!copy) {
        return lastFailure();
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(copy.get(), &information)) {
        return lastFailure();
    }
    if (isLinked(information)) {
        return ERROR_ACCESS_DENIED;
    }
    if (!writeWhole(copy.get(), recoveryJournalText(text_, next))) {
        const DWORD error = lastFailure();
        copy.reset(); // Windows removes no file that is still open
        removeFile(copyPath);
        return error;
    }
    return ERROR_SUCCESS;
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

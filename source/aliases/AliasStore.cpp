#include "source/aliases/AliasStore.h"

#include "hwsys/hwsys_errors.h"
#include "source/aliases/aliasDocument.h"
#include "source/aliases/aliasJournalFiles.h"
#include "source/aliases/aliasProtection.h"
#include "support/FileLockImpl.h"
#include "support/errorException.h"
#include "support/statusCodes.h"
#include "support/stdpath.h"
#include "support/thrownHResult.h"
#include "support/unique_any.h"

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

using namespace aliases;

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

// A failed call of the system as the store reports it: a refusal of access as such, anything else
// as unexpected.
void reportFailedCall(nQVOSALS100::tStatus* status, DWORD error, std::uint32_t line) {
    report(status,
           error == ERROR_ACCESS_DENIED ? nQVOSALS100::osalStatusFileAccessDenied : nQVOSALS100::osalStatusUnexpected,
           line);
}

qv::unique_file openStream(const std::string& path, const char* mode) {
    return qv::unique_file(platformOpenFile(path.c_str(), mode));
}

// The folders between the common application-data folder and the file at `path`, outermost first:
// the maker's folder and the alias folder.
std::vector<std::string> foldersAbove(const std::string& path) {
    const std::string aliasFolder = path.substr(0, path.find_last_of('\\'));
    return {aliasFolder.substr(0, aliasFolder.find_last_of('\\')), aliasFolder};
}

HANDLE osHandleOf(FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
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
    folders_.release();
    folderFault_.clear();
    path_.clear();
    throughLink_ = false;
    text_.clear();
}

bool AliasStore::open(Access access, nQVOSALS100::tStatus* status) {
    close();
    std::string path = getAliasesFilePath();
    if (!openFolders(path, access, status)) {
        return false;
    }
    qv::unique_file stream = openStream(path, access == Access::update ? "r+b" : "rb");
    if (!stream) {
        const bool denied = access == Access::update && errno == EACCES;
        report(status, denied ? nQVOSALS100::osalStatusFileAccessDenied : nQVOSALS100::osalStatusUnexpected,
               __LINE__);
        folders_.release();
        return false;
    }
    if (std::optional<std::string> fault = folders_.fault(osHandleOf(stream.get()))) {
        stream.reset();
        close();
        folderFault_ = std::move(*fault);
        report(status, nQVOSALS100::osalStatusFileAccessDenied, __LINE__);
        return false;
    }
    file_ = std::make_unique<LockedFile>(std::move(stream), access);
    path_ = std::move(path);
    try {
        if (access == Access::update && !mayUpdate(status)) {
            close();
            return false;
        }
        refuseOversizedFile();
        std::string text = readWholeFile(file_->stream());
        if (!recover(text, access, status)) {
            close();
            return false;
        }
        AliasDocument document = parseAliasDocument(text);
        text_ = std::move(text);
        root_ = std::move(document.root);
        devices_ = document.devices;
    } catch (...) {
        close();
        throw;
    }
    return true;
}

// The folders above the file, held before the file is opened. A folder that cannot be opened is
// reported as the file it leads to would be: missing, or refused.
bool AliasStore::openFolders(const std::string& path, Access access, nQVOSALS100::tStatus* status) {
    if (folders_.open(foldersAbove(path))) {
        return true;
    }
    const bool denied = access == Access::update && GetLastError() == ERROR_ACCESS_DENIED;
    report(status, denied ? nQVOSALS100::osalStatusFileAccessDenied : nQVOSALS100::osalStatusUnexpected, __LINE__);
    return false;
}

// An update writes through the open stream: the file's name must still lead to it (see
// checkUpdateTarget). False, with the status reported, when it does not.
bool AliasStore::mayUpdate(nQVOSALS100::tStatus* status) {
    const DWORD error = checkUpdateTarget(path_, osHandleOf(file_->stream()), throughLink_);
    if (error != ERROR_SUCCESS) {
        reportFailedCall(status, error, __LINE__);
        return false;
    }
    return true;
}

// A file beyond the size limit is refused before any of it is read, as a file that is not an alias
// document.
void AliasStore::refuseOversizedFile() const {
    const std::optional<BY_HANDLE_FILE_INFORMATION> information = informationOf(osHandleOf(file_->stream()));
    if (!information) {
        throwUnexpected();
    }
    refuseBeyondSizeLimit(sizeOf(*information));
}

// A whole journal that covers the file's text, protected as the file is, makes its new text the
// content; an update completes the rewrite and retires the journal, so that it never counts again.
// False, with the status reported, when that rewrite fails.
bool AliasStore::recover(std::string& text, Access access, nQVOSALS100::tStatus* status) {
    const DWORD journalAccess = access == Access::update ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    std::optional<FoundJournal> journal =
        findJournalSpeakingFor(path_, osHandleOf(file_->stream()), text, journalAccess);
    if (!journal) {
        return true;
    }
    if (access == Access::update) {
        if (text != journal->content && !restore(journal->content, status)) {
            return false;
        }
        retireJournal(journal->file);
    }
    text = std::move(journal->content);
    return true;
}

// Completing another writer's rewrite writes text this caller did not choose, so it never goes
// through a link (a second name was refused when the file was opened).
bool AliasStore::restore(const std::string& text, nQVOSALS100::tStatus* status) {
    if (throughLink_) {
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
    refuseBeyondSizeLimit(text.size());
    DWORD error = ERROR_SUCCESS;
    const std::optional<JournalFile> journal = writeJournal(path_, osHandleOf(file_->stream()), text_, text, error);
    if (error != ERROR_SUCCESS) {
        reportFailedCall(status, error, __LINE__);
        return false;
    }
    const auto retire = [&journal] {
        if (journal) {
            retireJournal(*journal);
        }
    };
    if (replaceContent(text)) {
        retire();
        text_ = std::move(text);
        return true;
    }
    // Put back the text the file held, so that a failed rename never leaves it half-written. That
    // text once fitted in the file, so rewriting it is the write most likely to succeed now. Should
    // even that fail, the journal stays: the next open then finds a whole document in it.
    if (replaceContent(text_)) {
        retire();
    }
    report(status, nQVOSALS100::osalStatusUnexpected, __LINE__);
    return false;
}

// The text is written and flushed in full before the file is cut to its length, so a failure
// never leaves the file shorter than what was written; then the file is put on the disk, before
// any journal of this rewrite may go.
bool AliasStore::replaceContent(const std::string& text) {
    FILE* stream = file_->stream();
    std::clearerr(stream);
    return io_->seek(stream, 0, SEEK_SET) == 0 &&
           io_->write(text.data(), 1, text.size(), stream) == text.size() && io_->flush(stream) == 0 &&
           io_->truncate(stream, static_cast<long long>(text.size())) == 0 && io_->flush(stream) == 0 &&
           FlushFileBuffers(osHandleOf(stream));
}

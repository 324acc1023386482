#include "support/AliasStore.h"

#include "hwsys/hwsys_errors.h"
#include "support/FileLockImpl.h"
#include "support/errorException.h"
#include "support/errorReport.h"
#include "support/statusCodes.h"
#include "support/stdpath.h"
#include "support/thrownHResult.h"
#include "support/unique_any.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

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

// A copy that is missing or cannot be removed changes nothing: the file itself is whole.
void removeFile(const std::string& path) {
    const DWORD error = GetLastError();
    static_cast<void>(DeleteFileA(path.c_str()));
    SetLastError(error);
}

// The one size limit of the alias file, for the file read and for the text a rewrite would write
// (which no reader would read back): beyond it, the text is refused as no alias document.
void refuseBeyondSizeLimit(std::uint64_t size) {
    if (size > kMaxAliasFileBytes) {
        qverr::throwError(nQVOSALS100::osalStatusInvalidParameter, nullptr, __FILE__, __LINE__);
    }
}

// A journal holds the file's text twice, after its header line.
constexpr std::uint64_t kMaxJournalBytes = 2 * kMaxAliasFileBytes + 128;
// How often a writer draws a new name for a journal of its own before it gives up.
constexpr int kOwnJournalNameAttempts = 8;

// The alias document: an object whose member "devices" is an object. Throws as the JSON layer does.
struct AliasDocument {
    cJSONUtils::Tree root;
    cJSON* devices = nullptr;
};

AliasDocument parseAliasDocument(const std::string& text) {
    cJSONUtils::Tree root = cJSONUtils::parseDocument(text.data(), text.size());
    cJSONUtils::requireObject(root.get());
    cJSON* devices = cJSONUtils::getMember(root.get(), "devices");
    cJSONUtils::requireObject(devices);
    return {std::move(root), devices};
}

// Whether the text is an alias document; only such text is ever written into the file.
bool isAliasDocument(const std::string& text) {
    try {
        parseAliasDocument(text);
        return true;
    } catch (const qverr::Exception&) {
        return false;
    }
}

constexpr char kJournalTag[] = "QVKELP-ALIASES-JOURNAL";
// Version 1 hashed byte by byte; version 2, which is written, hashes eight bytes a step. Both are
// read.
constexpr unsigned kJournalVersion = 2;

// FNV-1a of a journal's texts, fed in pieces: a torn or mixed journal fails it, whatever its
// length. Its steps cannot overlap, so version 2 takes the text as 8-byte little-endian words (x64
// is little-endian) and only its last bytes one at a time, which makes a journal of megabytes cost
// a millisecond instead of ten.
class JournalChecksum {
public:
    explicit JournalChecksum(unsigned version) : wordWise_(version == 2) {}

    void add(const std::string& text) {
        std::size_t at = 0;
        if (wordWise_) {
            for (; at < text.size() && pendingLength_ != 0 && pendingLength_ < sizeof pending_; ++at) {
                pending_[pendingLength_++] = text[at];
            }
            if (pendingLength_ == sizeof pending_) {
                addWord(pending_);
                pendingLength_ = 0;
            }
            for (; pendingLength_ == 0 && at + sizeof pending_ <= text.size(); at += sizeof pending_) {
                addWord(text.data() + at);
            }
            for (; at < text.size(); ++at) {
                pending_[pendingLength_++] = text[at];
            }
        }
        for (; at < text.size(); ++at) {
            addByte(text[at]);
        }
    }

    std::uint64_t value() const {
        JournalChecksum last = *this;
        for (std::size_t i = 0; i < pendingLength_; ++i) {
            last.addByte(pending_[i]);
        }
        return last.hash_;
    }

private:
    static constexpr std::uint64_t kPrime = 1099511628211ull;

    void addWord(const char* bytes) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, sizeof word);
        hash_ = (hash_ ^ word) * kPrime;
    }
    void addByte(char byte) { hash_ = (hash_ ^ static_cast<unsigned char>(byte)) * kPrime; }

    bool wordWise_;
    std::uint64_t hash_ = 14695981039346656037ull;
    char pending_[8] = {};
    std::size_t pendingLength_ = 0;
};

// The header line of the journal that names `base` as the file's text it replaces and `next` as the
// text to write.
std::string journalHeader(const std::string& base, const std::string& next) {
    JournalChecksum checksum(kJournalVersion);
    checksum.add(base);
    checksum.add(next);
    char header[96];
    std::snprintf(header, sizeof header, "%s %u %zu %zu %016" PRIx64 "\n", kJournalTag, kJournalVersion, base.size(),
                  next.size(), checksum.value());
    return header;
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
    unsigned version = 0;
    unsigned long long baseLength = 0;
    unsigned long long nextLength = 0;
    std::uint64_t checksum = 0;
    int consumed = 0;
    const std::string format = std::string(kJournalTag) + " %u %llu %llu %" SCNx64 "%n";
    if (std::sscanf(header.c_str(), format.c_str(), &version, &baseLength, &nextLength, &checksum, &consumed) != 4 ||
        (version != 1 && version != 2) || static_cast<std::size_t>(consumed) != header.size() ||
        baseLength > text.size() || nextLength > text.size() || headerEnd + 1 + baseLength + nextLength != text.size()) {
        return std::nullopt;
    }
    const std::string body = text.substr(headerEnd + 1);
    JournalChecksum bodyChecksum(version);
    bodyChecksum.add(body);
    if (bodyChecksum.value() != checksum) {
        return std::nullopt;
    }
    return Journal{body.substr(0, baseLength), body.substr(baseLength)};
}

// The content a recovery copy gives the file whose text is `current`; nothing for a leftover, and
// nothing for a copy whose new text is not an alias document, which would cost every record.
std::optional<std::string> contentOfCopy(const std::string& copy, const std::string& current) {
    if (const std::optional<Journal> journal = parseJournal(copy)) {
        return journal->covers(current) && isAliasDocument(journal->next) ? std::optional<std::string>(journal->next)
                                                                          : std::nullopt;
    }
    // A copy in the earlier form, the new text alone, counts only when the file's own text is not
    // an alias document: a rewrite cut short left part of the new text over the old, or the new text
    // followed by the old one's tail.
    if (!isAliasDocument(current) && isAliasDocument(copy)) {
        return copy;
    }
    return std::nullopt;
}

HANDLE osHandleOf(FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

std::optional<BY_HANDLE_FILE_INFORMATION> informationOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) {
        return std::nullopt;
    }
    return information;
}

std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& information) {
    return (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
}

std::uint64_t ticksOf(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A file with a second name, or a symbolic link, would let a write reach a file of someone else.
bool isLinked(const BY_HANDLE_FILE_INFORMATION& information) {
    return (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || information.nNumberOfLinks != 1;
}

bool isPlainFile(const BY_HANDLE_FILE_INFORMATION& information) {
    return !isLinked(information) && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isSameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// The error of the last failed call, never ERROR_SUCCESS.
DWORD lastFailure() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
}

bool sameAccessList(const ACL* first, const ACL* second) {
    if (first == nullptr || second == nullptr) {
        return first == second; // no list at all lets everyone in
    }
    return first->AclSize == second->AclSize && std::memcmp(first, second, first->AclSize) == 0;
}

// Who may use a file, as its handle tells: its owner and its access list (DACL). Two files
// protected alike let exactly the same users write them. Valid while this object holds the
// descriptor the system allocated.
class FileProtection {
public:
    explicit FileProtection(HANDLE file) {
        PSECURITY_DESCRIPTOR held = nullptr;
        error_ = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 &owner_, nullptr, &dacl_, nullptr, &held);
        descriptor_.reset(held);
    }

    // ERROR_SUCCESS when the protection is known.
    DWORD error() const { return error_; }
    PSID owner() const { return owner_; }

    bool sameAs(const FileProtection& other) const {
        return error_ == ERROR_SUCCESS && other.error_ == ERROR_SUCCESS && EqualSid(owner_, other.owner_) &&
               sameAccessList(dacl_, other.dacl_);
    }

    // Gives `file` this owner and this very list (protected, so that nothing is inherited into it
    // from the folder). Only a writer with the right to give that owner can: the owner itself, or
    // an administrator. ERROR_SUCCESS or the error.
    DWORD giveTo(HANDLE file) const {
        return SetSecurityInfo(file, SE_FILE_OBJECT,
                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                   PROTECTED_DACL_SECURITY_INFORMATION,
                               owner_, nullptr, dacl_, nullptr);
    }

private:
    PSID owner_ = nullptr;
    PACL dacl_ = nullptr;
    qv::unique_hlocal<void> descriptor_;
    DWORD error_ = ERROR_SUCCESS;
};

// What a look at a name needs: its owner, its access list and its attributes. No share mode of
// another handle stops such an open.
constexpr DWORD kLookAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;

// Opens a name in the alias folder itself, never what a link there names.
qv::unique_hfile openEntry(const std::string& path, DWORD access) {
    return qv::unique_hfile(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// A journal file, open, and where it lies. The common one is kept once made: it is how writers
// who may write the alias file but could not give a new file its protection (a group, an entry of
// its access list) are protected.
struct JournalFile {
    qv::unique_hfile handle;
    std::string path;
    bool common = false;
};

// A journal whose rewrite is complete (or was never begun) never counts again: removed, or, where
// it is kept (the common one) or may not be removed (another user's in a folder where only owners
// remove files), emptied in place. A failure leaves a journal that covers the file's present text,
// which gives the file that same text.
void retireJournal(const JournalFile& journal) {
    const qv::last_error_keeper keep;
    if (!journal.common && DeleteFileA(journal.path.c_str())) {
        return;
    }
    LARGE_INTEGER start{};
    static_cast<void>(SetFilePointerEx(journal.handle.get(), start, nullptr, FILE_BEGIN) &&
                      SetEndOfFile(journal.handle.get()));
}

// A recovery copy that speaks for the alias file: the journal, the content it gives the file, and
// when it was written.
struct FoundCopy {
    JournalFile journal;
    std::string content;
    std::uint64_t written = 0;
};

// The whole text of a file of `size` bytes, read through its handle.
std::optional<std::string> readAll(HANDLE file, std::uint64_t size) {
    std::string text(static_cast<std::size_t>(size), '\0');
    DWORD read = 0;
    if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) || read != text.size()) {
        return std::nullopt;
    }
    return text;
}

// The names a recovery copy may have: the common one, which every version writes, and those a
// writer chose when a leftover it could not remove held the common one.
std::vector<std::string> recoveryCopyPaths(const std::string& aliasesFilePath) {
    const std::string common = getRecoveryFilePath(aliasesFilePath);
    std::vector<std::string> paths{common};
    WIN32_FIND_DATAA found{};
    const qv::unique_hfind search(FindFirstFileA((common + "*").c_str(), &found));
    if (!search) {
        const DWORD error = GetLastError();
        // A folder that may be entered but not listed still shows the common name.
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_ACCESS_DENIED) {
            throwUnexpected();
        }
        return paths;
    }
    const std::string folder = aliasesFilePath.substr(0, aliasesFilePath.find_last_of('\\') + 1);
    do {
        const std::string path = folder + found.cFileName;
        if (path != common) {
            paths.push_back(path);
        }
    } while (FindNextFileA(search.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        throwUnexpected();
    }
    return paths;
}

// The copy at `path` when it speaks for the alias file protected by `file` whose text is
// `current`: a plain file, not linked, of a bounded size, protected exactly as the alias file is
// (so whoever could write it could write the file), holding a whole journal that covers `current`.
// An update opens it to write as well, to retire it. A copy this user may not open is taken for
// none; a failure to learn more of one that opened throws E_UNEXPECTED.
std::optional<FoundCopy> copySpeakingFor(const std::string& path, bool common, const FileProtection& file,
                                         const std::string& current, DWORD access) {
    const qv::unique_hfile look = openEntry(path, kLookAccess);
    if (!look) {
        // Anything else than a missing copy or one this user may not open (which a folder or a
        // FIFO under the name also gives) could hide a rewrite cut short.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_ACCESS_DENIED) {
            throwUnexpected();
        }
        return std::nullopt;
    }
    const std::optional<BY_HANDLE_FILE_INFORMATION> information = informationOf(look.get());
    if (!information) {
        throwUnexpected();
    }
    if (!isPlainFile(*information) || sizeOf(*information) > kMaxJournalBytes || sizeOf(*information) == 0) {
        return std::nullopt;
    }
    const FileProtection protection(look.get());
    if (protection.error() != ERROR_SUCCESS) {
        throwUnexpected();
    }
    if (!protection.sameAs(file)) {
        return std::nullopt;
    }
    // Only now is the content opened, and it must be the file just looked at. One that another
    // handle does not share is a journal in use by a writer of the file: not the one cut short.
    qv::unique_hfile copy = openEntry(path, access);
    const std::optional<BY_HANDLE_FILE_INFORMATION> opened = copy ? informationOf(copy.get()) : std::nullopt;
    if (!opened || !isSameFile(*information, *opened) || sizeOf(*opened) != sizeOf(*information)) {
        return std::nullopt;
    }
    const std::optional<std::string> text = readAll(copy.get(), sizeOf(*information));
    if (!text) {
        throwUnexpected();
    }
    std::optional<std::string> content = contentOfCopy(*text, current);
    if (!content) {
        return std::nullopt;
    }
    return FoundCopy{JournalFile{std::move(copy), path, common}, std::move(*content),
                     ticksOf(information->ftLastWriteTime)};
}

// The copy whose content stands for the file's text `current`; when more than one would, the one
// written last, since only the latest rewrite can have been cut short.
std::optional<FoundCopy> findCopySpeakingFor(const std::string& aliasesFilePath, HANDLE aliasFile,
                                             const std::string& current, DWORD access) {
    std::optional<FoundCopy> latest;
    std::optional<FileProtection> fileProtection;
    const std::string common = getRecoveryFilePath(aliasesFilePath);
    for (const std::string& path : recoveryCopyPaths(aliasesFilePath)) {
        if (!fileProtection && fileProtection.emplace(aliasFile).error() != ERROR_SUCCESS) {
            throwUnexpected();
        }
        std::optional<FoundCopy> copy = copySpeakingFor(path, path == common, *fileProtection, current, access);
        if (copy && (!latest || copy->written > latest->written)) {
            latest = std::move(copy);
        }
    }
    return latest;
}

// Whether an update may write through the open stream `aliasFile`: its file has one name, and the
// alias file's name in the folder is that very file or a symbolic link of the file's owner (the rule
// of protected symbolic links: another user's link may have been planted to make this user
// overwrite a file of someone else). Decided on handles opened after the stream, so a name swapped
// in between can only make the check fail. ERROR_SUCCESS or ERROR_ACCESS_DENIED, or the error of a
// failed call; `throughLink` tells whether the name is a link.
DWORD checkUpdateTarget(const std::string& path, HANDLE aliasFile, bool& throughLink) {
    const std::optional<BY_HANDLE_FILE_INFORMATION> opened = informationOf(aliasFile);
    const qv::unique_hfile entry = openEntry(path, kLookAccess);
    const std::optional<BY_HANDLE_FILE_INFORMATION> named = entry ? informationOf(entry.get()) : std::nullopt;
    if (!opened || !named) {
        return lastFailure();
    }
    throughLink = (named->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (opened->nNumberOfLinks != 1) {
        return ERROR_ACCESS_DENIED;
    }
    if (!throughLink) {
        return isSameFile(*opened, *named) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }
    const FileProtection link(entry.get());
    const FileProtection file(aliasFile);
    if (link.error() != ERROR_SUCCESS || file.error() != ERROR_SUCCESS) {
        return link.error() != ERROR_SUCCESS ? link.error() : file.error();
    }
    return EqualSid(link.owner(), file.owner()) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// A name for a journal of this writer's own, beside the common one: a random suffix, so that no one
// can hold it in advance.
std::string ownJournalPath(const std::string& commonPath) {
    std::random_device source;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "-%08x%08x", source(), source());
    return commonPath + suffix;
}

// Whether a failure to give a file a protection means that this writer has no right to give it.
bool mayNotGive(DWORD error) {
    return error == ERROR_INVALID_OWNER || error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD;
}

// A new journal at `path`, protected as the alias file is, or null with the last error set:
// ERROR_FILE_EXISTS when the name is taken (by anything: CREATE_NEW follows no link here), or,
// after removing what it created, ERROR_INVALID_OWNER when this writer may not give a file that
// protection (another error of giving it as it is).
qv::unique_hfile createProtectedJournal(const std::string& path, const FileProtection& file) {
    // Shared for deletion only, so that the writer can remove it while it still holds it.
    qv::unique_hfile created(CreateFileA(path.c_str(), GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, FILE_SHARE_DELETE, nullptr,
                                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!created) {
        return created;
    }
    const DWORD error = file.giveTo(created.get());
    if (error != ERROR_SUCCESS) {
        created.reset(); // Windows removes no file that is still open
        removeFile(path);
        SetLastError(mayNotGive(error) ? ERROR_INVALID_OWNER : error);
    }
    return created;
}

// The common journal when it is a plain file protected as the alias file is: rewritten in place,
// by whoever may write the file. Anything else under the name is removed where this writer may.
qv::unique_hfile openCommonJournal(const std::string& path, const FileProtection& file) {
    qv::unique_hfile common = openEntry(path, GENERIC_WRITE);
    if (common) {
        const std::optional<BY_HANDLE_FILE_INFORMATION> information = informationOf(common.get());
        if (information && isPlainFile(*information) && FileProtection(common.get()).sameAs(file)) {
            return common;
        }
        common.reset();
        SetLastError(ERROR_ACCESS_DENIED);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
        return common; // a failure that could hide a journal
    }
    if (error != ERROR_FILE_NOT_FOUND) {
        removeFile(path);
    }
    return createProtectedJournal(path, file);
}

// The journal for this rewrite, protected as the alias file is: the common one, or, when what
// holds that name cannot be removed or used, one of this writer's own name beside it, so that no
// leftover of another user ever blocks a rename. Nothing, with ERROR_SUCCESS, when this writer may
// not give a journal that protection: the rewrite then goes ahead unprotected. Otherwise nothing
// with the error of the failed call.
std::optional<JournalFile> openJournalFile(const std::string& commonPath, HANDLE aliasFile, DWORD& error) {
    error = ERROR_SUCCESS;
    const FileProtection file(aliasFile);
    if (file.error() != ERROR_SUCCESS) {
        error = file.error();
        return std::nullopt;
    }
    JournalFile journal{openCommonJournal(commonPath, file), commonPath, true};
    for (int attempt = 0; !journal.handle && GetLastError() == ERROR_FILE_EXISTS && attempt < kOwnJournalNameAttempts;
         ++attempt) {
        journal.path = ownJournalPath(commonPath);
        journal.common = false;
        journal.handle = createProtectedJournal(journal.path, file);
    }
    if (!journal.handle) {
        const DWORD failed = lastFailure();
        error = failed == ERROR_INVALID_OWNER ? ERROR_SUCCESS : failed;
        return std::nullopt;
    }
    return journal;
}

bool writeText(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

// The journal from `base` to `next`, written from its start (over what a kept journal held) piece
// by piece rather than copied into one text first, and flushed to the disk.
bool writeJournalText(HANDLE file, const std::string& base, const std::string& next) {
    LARGE_INTEGER start{};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && writeText(file, journalHeader(base, next)) &&
           writeText(file, base) && writeText(file, next) && SetEndOfFile(file) && FlushFileBuffers(file);
}

// The journal from `base` to `next` beside the alias file, written whole and flushed to the disk before the file itself is touched, so that a writer that
// dies during the rewrite leaves a whole journal behind. Nothing, with `error` ERROR_SUCCESS, when
// this writer may not protect a journal as the file is (nobody would hear it); otherwise `error`
// is the error of the failed call, a planted link refused with ERROR_ACCESS_DENIED before anything
// is written.
std::optional<JournalFile> writeJournal(const std::string& aliasesFilePath, HANDLE aliasFile, const std::string& base,
                                        const std::string& next, DWORD& error) {
    std::optional<JournalFile> journal = openJournalFile(getRecoveryFilePath(aliasesFilePath), aliasFile, error);
    if (!journal) {
        return std::nullopt;
    }
    const std::optional<BY_HANDLE_FILE_INFORMATION> information = informationOf(journal->handle.get());
    if (!information || isLinked(*information)) {
        error = information ? ERROR_ACCESS_DENIED : lastFailure();
        return std::nullopt;
    }
    if (!writeJournalText(journal->handle.get(), base, next)) {
        error = lastFailure();
        retireJournal(*journal);
        return std::nullopt;
    }
    return journal;
}

} // namespace

std::string recoveryJournalText(const std::string& base, const std::string& next) {
    return journalHeader(base, next) + base + next;
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
    throughLink_ = false;
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
    std::optional<FoundCopy> copy = findCopySpeakingFor(path_, osHandleOf(file_->stream()), text, journalAccess);
    if (!copy) {
        return true;
    }
    if (access == Access::update) {
        if (text != copy->content && !restore(copy->content, status)) {
            return false;
        }
        retireJournal(copy->journal);
    }
    text = std::move(copy->content);
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

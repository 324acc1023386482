#include "source/aliases/aliasJournalFiles.h"

#include "source/aliases/aliasDocument.h"
#include "source/aliases/aliasJournal.h"
#include "source/aliases/aliasProtection.h"
#include "support/thrownHResult.h"

#include <cstdio>
#include <random>
#include <utility>
#include <vector>

namespace aliases {
namespace {

// How often a writer draws a new name for a journal of its own before it gives up.
constexpr int kOwnJournalNameAttempts = 8;

[[noreturn]] void throwUnexpected() {
    qvkelpsysapiexpert::throwHResult(E_UNEXPECTED);
}

std::string commonJournalPath(const std::string& aliasesFilePath) {
    return aliasesFilePath + ".recovery";
}

// A journal that is missing or cannot be removed changes nothing: the file itself is whole.
void removeFile(const std::string& path) {
    const qv::last_error_keeper keep;
    static_cast<void>(DeleteFileA(path.c_str()));
}

// The content a journal gives the file whose text is `current`; nothing for a leftover, and nothing
// for a journal whose new text is not an alias document, which would cost every record.
std::optional<std::string> contentOfJournal(const std::string& text, const std::string& current) {
    std::optional<Journal> journal = parseJournal(text);
    if (!journal || !journal->covers(current) || !isAliasDocument(journal->next)) {
        return std::nullopt;
    }
    return std::move(journal->next);
}

// The whole text of a file of `size` bytes, read through its handle.
std::optional<std::string> readAll(HANDLE file, std::uint64_t size) {
    std::string text(static_cast<std::size_t>(size), '\0');
    DWORD read = 0;
    if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) || read != text.size()) {
        return std::nullopt;
    }
    return text;
}

// Whether a name beside the common journal is one a writer gives its own journal: "-" and 16
// hexadecimal digits.
bool isOwnJournalSuffix(const std::string& suffix) {
    return suffix.size() == 17 && suffix[0] == '-' &&
           suffix.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
}

// Whether what the folder's listing tells of a file leaves it a possible journal: a plain file
// neither empty nor beyond a journal's size. Anyone may plant names in the folder, so nothing else
// is opened: looking at 100,000 planted empty names must not cost a handle each.
bool mayHoldJournal(const WIN32_FIND_DATAA& found) {
    const std::uint64_t size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    return (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 && size != 0 &&
           size <= maxJournalBytes();
}

// The names a journal may have: the common one, always looked at on its handle (it is the one kept,
// and the listing's size of a file may lag behind it), and those a writer chose when a leftover it
// could not remove held the common one, as far as the listing leaves them possible journals.
std::vector<std::string> journalPaths(const std::string& aliasesFilePath) {
    const std::string common = commonJournalPath(aliasesFilePath);
    std::vector<std::string> paths{common};
    WIN32_FIND_DATAA found{};
    const qv::unique_hfind search(FindFirstFileA((common + "-*").c_str(), &found));
    if (!search) {
        const DWORD error = GetLastError();
        // A folder that may be entered but not listed still shows the common name.
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_ACCESS_DENIED) {
            throwUnexpected();
        }
        return paths;
    }
    const std::string folder = aliasesFilePath.substr(0, aliasesFilePath.find_last_of('\\') + 1);
    const std::string commonName = common.substr(folder.size());
    do {
        const std::string name = found.cFileName;
        if (name.size() > commonName.size() && isOwnJournalSuffix(name.substr(commonName.size())) &&
            mayHoldJournal(found)) {
            paths.push_back(folder + name);
        }
    } while (FindNextFileA(search.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        throwUnexpected();
    }
    return paths;
}

// The journal at `path` when it speaks for the alias file protected by `file` whose text is
// `current`: a plain file, not linked, of a bounded size, protected exactly as the alias file is
// (so whoever could write it could write the file), holding a whole journal that covers `current`.
std::optional<FoundJournal> journalSpeakingFor(const std::string& path, bool common, const FileProtection& file,
                                               const std::string& current, DWORD access) {
    const qv::unique_hfile look = openEntry(path, kLookAccess);
    if (!look) {
        // Anything else than a missing journal or one this user may not open (which a folder or a
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
    if (!isPlainFile(*information) || sizeOf(*information) > maxJournalBytes() || sizeOf(*information) == 0) {
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
    qv::unique_hfile opened = openEntry(path, access);
    const std::optional<BY_HANDLE_FILE_INFORMATION> openedInformation =
        opened ? informationOf(opened.get()) : std::nullopt;
    if (!openedInformation || !isSameFile(*information, *openedInformation) ||
        sizeOf(*openedInformation) != sizeOf(*information)) {
        return std::nullopt;
    }
    const std::optional<std::string> text = readAll(opened.get(), sizeOf(*information));
    if (!text) {
        throwUnexpected();
    }
    std::optional<std::string> content = contentOfJournal(*text, current);
    if (!content) {
        return std::nullopt;
    }
    return FoundJournal{JournalFile{std::move(opened), path, common}, std::move(*content),
                        ticksOf(information->ftLastWriteTime)};
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
    qv::unique_hfile created(CreateFileA(path.c_str(), GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, FILE_SHARE_DELETE,
                                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
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

} // namespace

std::optional<FoundJournal> findJournalSpeakingFor(const std::string& aliasesFilePath, HANDLE aliasFile,
                                                   const std::string& current, DWORD access) {
    std::optional<FoundJournal> latest;
    std::optional<FileProtection> fileProtection;
    const std::string common = commonJournalPath(aliasesFilePath);
    for (const std::string& path : journalPaths(aliasesFilePath)) {
        if (!fileProtection && fileProtection.emplace(aliasFile).error() != ERROR_SUCCESS) {
            throwUnexpected();
        }
        std::optional<FoundJournal> found = journalSpeakingFor(path, path == common, *fileProtection, current, access);
        if (found && (!latest || found->written > latest->written)) {
            latest = std::move(found);
        }
    }
    return latest;
}

std::optional<JournalFile> writeJournal(const std::string& aliasesFilePath, HANDLE aliasFile, const std::string& base,
                                        const std::string& next, DWORD& error) {
    std::optional<JournalFile> journal = openJournalFile(commonJournalPath(aliasesFilePath), aliasFile, error);
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

void retireJournal(const JournalFile& journal) {
    const qv::last_error_keeper keep;
    if (!journal.common && DeleteFileA(journal.path.c_str())) {
        return;
    }
    LARGE_INTEGER start{};
    static_cast<void>(SetFilePointerEx(journal.handle.get(), start, nullptr, FILE_BEGIN) &&
                      SetEndOfFile(journal.handle.get()));
}

} // namespace aliases

// The alias store: the user's names for boards, kept in aliases.json under the maker's folder of
// the common application-data folder, keyed by each board's PCI identity token.
//
// Other processes use the same file at the same time, so every access locks the whole file:
// shared to read, exclusive for a read-modify-write, held from before the file is read until after
// it is written back. The module never creates or deletes the file, and whatever in it the module
// does not use (other top-level members, other fields, records of simulated devices) is written
// back unchanged in content.
//
// How failures reach the caller:
// - the file cannot be opened: the open functions report into the caller's status and return
//   false (-52026 when an update is refused with EACCES, otherwise -52003); an update whose file
//   has a second name, or whose name no longer leads to the open file or is another user's
//   symbolic link, is refused the same way with -52026;
// - a folder between the common application-data folder and the file breaks the folder rule (see
//   HeldFolders in aliasProtection.h): the open functions report -52026 and return false, and
//   folderFault() names the folder and what is wrong with it;
// - a failed lock: qverr::Exception (-52008); a failed seek, size query or read, or a failed look
//   for the recovery journals: the HRESULT E_UNEXPECTED thrown by throwHResult; text that is not
//   JSON, holds a NUL, is larger than kMaxAliasFileBytes or lacks the expected shape:
//   qverr::Exception (-52005, -52004, -52006); memory: std::bad_alloc;
// - completing a rewrite from a recovery journal fails: the open function reports -52003, or
//   -52026 when the file is reached through a symbolic link, and returns false;
// - the text a write-back would write is larger than kMaxAliasFileBytes: qverr::Exception (-52005),
//   before anything is written;
// - writing back fails: writeBack reports -52003 (-52026 when the folder refuses the journal or a
//   planted link takes its place) into the caller's status and returns false, after putting the
//   file's previous content back.
//
// A process that dies while rewriting the file in place would leave it torn. So every rewrite first
// writes a journal beside the file (aliasJournal.h, aliasJournalFiles.h), flushed to the disk
// before the file is touched and retired once the rewritten file is on the disk; a journal that
// counts makes its new text the file's content: an update writes it back under its exclusive lock,
// a reader only uses it. The rewrite itself stays in place, because other processes' locks belong
// to this file; see docs/aliases-file.md.
// The status-reporting functions do their work whatever the status already holds and report by the
// first-error-wins rule, so a caller may still write back after recording an unrelated failure.
#pragma once

#include "platform/win32.h"
#include "source/aliases/aliasDocument.h"
#include "source/aliases/aliasProtection.h"
#include "support/cJSONUtils.h"
#include "support/status.h"

#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The narrow path of aliases.json. Throws qverr::Exception when the folder lookup fails.
std::string getAliasesFilePath();
// Throws HW_E_INVALID_ALIAS (as an HRESULT value) unless `alias` is 1 to 254 characters from
// "-", "_", digits and ASCII letters, not beginning with "_". A null alias is refused the same way.
void validateAlias(const WCHAR* alias);

// The stream operations the store performs on its open file: those of the C runtime, unless a
// test substitutes failing ones to reach the failure paths of reading and writing back.
struct AliasFileIo {
    int (*seek)(FILE* stream, long offset, int origin);
    long (*tell)(FILE* stream);
    std::size_t (*read)(void* buffer, std::size_t size, std::size_t count, FILE* stream);
    std::size_t (*write)(const void* buffer, std::size_t size, std::size_t count, FILE* stream);
    int (*flush)(FILE* stream);
    // Sets the file's length (_chsize_s on the stream's descriptor); 0 on success.
    errno_t (*truncate)(FILE* stream, long long length);
};

const AliasFileIo& runtimeFileIo();

// One opened, locked and parsed alias file, for the length of one host call at most. Closing it
// (close() or the destructor) releases the lock, destroys the lock's event and closes the file, in
// that order; a failed open leaves it closed.
class AliasStore {
public:
    AliasStore();
    explicit AliasStore(const AliasFileIo& io);
    ~AliasStore();
    AliasStore(const AliasStore&) = delete;
    AliasStore& operator=(const AliasStore&) = delete;

    // Open the file ("rb" with a shared lock, or "r+b" with an exclusive one), read and parse it
    // and locate "devices". A store that is already open is closed first.
    [[nodiscard]] bool openForRead(nQVOSALS100::tStatus* status);
    [[nodiscard]] bool openForUpdate(nQVOSALS100::tStatus* status);
    void close() noexcept;

    // Why the last open was refused by the folder rule ("<folder>: <what is wrong>"), or empty.
    const std::string& folderFault() const { return folderFault_; }

    // The "devices" object of the open file, every record in file order; null while closed.
    const cJSON* devices() const { return devices_; }
    // The first record whose key equals `token` ignoring ASCII case, or null.
    const cJSON* findDeviceRecord(const std::string& token) const;
    // The record's "alias", or nothing when the board has no record.
    std::optional<std::string> readAlias(const std::string& token) const;
    // Whether any record's "alias" equals `alias` byte for byte (letter case counts).
    bool isAliasInUse(const std::string& alias) const;

    // Removes every record keyed by `token` (ignoring case), so that no record under a key that
    // differs only in letter case can shadow the board's new one; false when there was none.
    bool removeDeviceRecord(const std::string& token);
    // Removes the board's records and appends a copy of `record` under `token` at the end.
    void replaceDeviceRecord(const std::string& token, const cJSON* record);

    // Makes the printed document the file's whole content. On failure the previous content is
    // written back, so the file never stays half-written.
    [[nodiscard]] bool writeBack(nQVOSALS100::tStatus* status);

private:
    class LockedFile;
    enum class Access { read, update };

    bool open(Access access, nQVOSALS100::tStatus* status);
    bool openFolders(const std::string& path, Access access, nQVOSALS100::tStatus* status);
    bool mayUpdate(nQVOSALS100::tStatus* status);
    void refuseOversizedFile() const;
    std::string readWholeFile(FILE* stream) const;
    bool recover(std::string& text, Access access, nQVOSALS100::tStatus* status);
    bool restore(const std::string& text, nQVOSALS100::tStatus* status);
    bool replaceContent(const std::string& text);
    cJSON* requireDevices() const;

    const AliasFileIo* io_;
    // Held from before the file is opened until after it is closed.
    aliases::HeldFolders folders_;
    std::string folderFault_;
    std::unique_ptr<LockedFile> file_;
    std::string path_;
    // The file's name is a symbolic link (of the file's owner) to the file open for update.
    bool throughLink_ = false;
    // The file's content as last read or written: what a failed write-back puts back.
    std::string text_;
    cJSONUtils::Tree root_;
    cJSON* devices_ = nullptr;
};

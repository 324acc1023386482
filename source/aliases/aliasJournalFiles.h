// The recovery journals beside the alias file: which of them speaks for the file, and writing and
// retiring a rewrite's own.
//
// They lie at aliases.json.recovery (the common journal, kept once made: it is how writers who may
// write the file but could not give a new file its protection are protected) or, when what holds
// that name cannot be removed or used, at aliases.json.recovery- and 16 random hexadecimal digits.
// A journal counts only when it is a plain file protected exactly as the alias file is, whole, its
// new text an alias document, and the file holds a state of its rewrite (see aliasJournal.h).
#pragma once

#include "platform/win32.h"
#include "support/unique_any.h"

#include <cstdint>
#include <optional>
#include <string>

namespace aliases {

// A journal file, open, and where it lies.
struct JournalFile {
    qv::unique_hfile handle;
    std::string path;
    bool common = false;
};

// A journal that speaks for the alias file: its file, the content it gives the alias file, and
// when it was written.
struct FoundJournal {
    JournalFile file;
    std::string content;
    std::uint64_t written = 0;
};

// The journal whose content stands for the file's text `current`, the file open as `aliasFile`
// at `aliasesFilePath`; when more than one would, the one written last, since only the latest
// rewrite can have been cut short. It is opened with `access` (an update writes it too, to retire
// it). A journal this user may not open is taken for none; a failure to look that could hide one
// throws E_UNEXPECTED.
std::optional<FoundJournal> findJournalSpeakingFor(const std::string& aliasesFilePath, HANDLE aliasFile,
                                                   const std::string& current, DWORD access);

// The journal from `base` to `next` beside the alias file, written whole and flushed to the disk
// before the file itself is touched, so that a writer that dies during the rewrite leaves a whole
// journal behind. Nothing, with `error` ERROR_SUCCESS, when this writer may not protect a journal
// as the file is (nobody would hear it); otherwise `error` is the error of the failed call, a
// planted link refused with ERROR_ACCESS_DENIED before anything is written.
std::optional<JournalFile> writeJournal(const std::string& aliasesFilePath, HANDLE aliasFile, const std::string& base,
                                        const std::string& next, DWORD& error);

// A journal whose rewrite is complete (or was never begun) never counts again: removed, or, where
// it is kept (the common one) or may not be removed (another user's in a folder where only owners
// remove files), emptied in place. A failure leaves a journal that covers the file's present text,
// which gives the file that same text.
void retireJournal(const JournalFile& journal);

} // namespace aliases

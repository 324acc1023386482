// The recovery journal's format: a header line, the file's text a rewrite replaces (the base) and
// the text that replaces it (the next):
//
//     QVKELP-ALIASES-JOURNAL 2 <base length> <new length> <checksum>\n<base text><new text>
//
// The checksum is the 64-bit FNV-1a of the two texts, in 16 lower-case hexadecimal digits, taken
// over 8-byte little-endian words and then the last bytes one at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace aliases {

// A journal holds the file's text twice, after its header line.
std::uint64_t maxJournalBytes();

struct Journal {
    std::string base;
    std::string next;

    // Whether `current` is a state a rewrite from `base` to `next` passes through: the rewrite puts
    // the first k bytes of `next` over `base` and then cuts the file to the length of `next`.
    bool covers(const std::string& current) const;
};

// The whole journal from `base` to `next`.
std::string journalText(const std::string& base, const std::string& next);
// Its header line alone, for a writer that writes the texts after it piece by piece.
std::string journalHeader(const std::string& base, const std::string& next);

// Null unless the text is one whole journal: header, base and next text of the lengths and the
// checksum its header names.
std::optional<Journal> parseJournal(const std::string& text);

} // namespace aliases

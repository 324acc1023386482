#include "source/aliases/aliasJournal.h"

#include "source/aliases/aliasDocument.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace aliases {
namespace {

constexpr char kJournalTag[] = "QVKELP-ALIASES-JOURNAL";
constexpr unsigned kJournalVersion = 2;

// FNV-1a of a journal's texts, fed in pieces: a torn or mixed journal fails it, whatever its
// length. Its steps cannot overlap, so it takes the text as 8-byte little-endian words (x64 is
// little-endian) and only its last bytes one at a time, which makes a journal of megabytes cost a
// millisecond instead of ten.
class JournalChecksum {
public:
    void add(const std::string& text) {
        std::size_t at = 0;
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

    std::uint64_t value() const {
        std::uint64_t hash = hash_;
        for (std::size_t i = 0; i < pendingLength_; ++i) {
            hash = (hash ^ static_cast<unsigned char>(pending_[i])) * kPrime;
        }
        return hash;
    }

private:
    static constexpr std::uint64_t kPrime = 1099511628211ull;

    void addWord(const char* bytes) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, sizeof word);
        hash_ = (hash_ ^ word) * kPrime;
    }

    std::uint64_t hash_ = 14695981039346656037ull;
    char pending_[8] = {};
    std::size_t pendingLength_ = 0;
};

} // namespace

std::uint64_t maxJournalBytes() {
    return 2 * kMaxAliasFileBytes + 128;
}

bool Journal::covers(const std::string& current) const {
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

std::string journalHeader(const std::string& base, const std::string& next) {
    JournalChecksum checksum;
    checksum.add(base);
    checksum.add(next);
    char header[96];
    std::snprintf(header, sizeof header, "%s %u %zu %zu %016" PRIx64 "\n", kJournalTag, kJournalVersion, base.size(),
                  next.size(), checksum.value());
    return header;
}

std::string journalText(const std::string& base, const std::string& next) {
    return journalHeader(base, next) + base + next;
}

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
        version != kJournalVersion || static_cast<std::size_t>(consumed) != header.size() ||
        baseLength > text.size() || nextLength > text.size() || headerEnd + 1 + baseLength + nextLength != text.size()) {
        return std::nullopt;
    }
    const std::string body = text.substr(headerEnd + 1);
    JournalChecksum bodyChecksum;
    bodyChecksum.add(body);
    if (bodyChecksum.value() != checksum) {
        return std::nullopt;
    }
    return Journal{body.substr(0, baseLength), body.substr(baseLength)};
}

} // namespace aliases

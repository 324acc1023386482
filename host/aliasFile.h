// hwconfig's reading of aliases.json: its records, read under the module's shared lock with the
// module's own store (host/aliaskeys), and what is wrong with the file when the module cannot use it, in words that
// say where the file should be and how to make a good one.
#pragma once

#include "host/expertModule.h"

#include <optional>
#include <string>
#include <vector>

namespace hwconfig {

struct AliasFileRecord {
    std::string key;
    std::string alias; // UTF-8, each byte of the file read in the machine's ANSI code page
    bool simulated = false;
};

// The records in file order; throws the HostError that aliasFileProblem describes.
std::vector<AliasFileRecord> readAliasFile(std::string& windowsPath);

// Whether the file begins with UTF-8's byte order mark, which the module reads past and does not
// write back.
bool aliasFileHasByteOrderMark();

// Where the module keeps the alias file, as a Windows path.
std::string aliasFilePath();
// ": the disk that holds it is full (...)" when the alias file's volume has no room for a rewrite;
// empty otherwise.
std::string aliasFileSpaceNote();

// The module waits for the alias file's lock without limit and without a word. Before a command
// asks it, hwconfig takes the same lock (shared to read, exclusive to write) and lets it go at once;
// when another program holds the file for more than about two seconds, it says on standard error
// what it waits for. A file that cannot be opened is left to the module, which says why.
enum class AliasFileUse { read, write };
void waitForAliasFile(AliasFileUse use);

// Why the module cannot use the alias file, or nothing when it can. Read once per run.
const std::optional<HostError>& aliasFileProblem();

} // namespace hwconfig

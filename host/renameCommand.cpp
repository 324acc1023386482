// hwconfig rename BOARD (NEW_ALIAS | --default) [--force]: stores the board's new alias through
// RenameResource. The module checks an alias only against stored records, so a board that shows its
// default alias (which is in no record) is checked here: an alias another present board shows is
// refused, as the module refuses one in use, unless --force.
#include "host/aliasFile.h"
#include "host/boardSelection.h"
#include "host/commands.h"
#include "host/errorNames.h"
#include "host/output.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace hwconfig {
namespace {

constexpr ULONG kRenameEvenIfAliasInUse = 0x1;

// The exit code of each refusal a script may want to tell apart.
int exitCodeOf(HRESULT result) {
    switch (result) {
    case HW_E_INVALID_ALIAS: return kExitInvalidAlias;
    case HW_E_ALIAS_IN_USE: return kExitAliasInUse;
    case HW_E_FILE_ACCESS_DENIED: return kExitAccessDenied;
    default: return kExitFailure;
    }
}

std::string refusalWords(HRESULT result, const std::string& alias) {
    switch (result) {
    case HW_E_INVALID_ALIAS:
        return "invalid alias " + quoted(alias) + ": use 1 to 254 of A-Z a-z 0-9 - _, not beginning with _";
    case HW_E_ALIAS_IN_USE:
        return "the alias " + quoted(alias) + " is stored for another board; --force shares it";
    case HW_E_FILE_ACCESS_DENIED:
        return "the alias file " + aliasFilePath() +
               " may not be written by this user; the operators' group qvkelp-setup gives it to may write it, and "
               "qvkelp-setup --check says whether its protection is the set-up's";
    case E_UNEXPECTED:
        return "the alias file " + aliasFilePath() + " could not be read or written" + aliasFileSpaceNote();
    case E_FAIL:
        return "the board could not be read (RenameResource)";
    default:
        return "RenameResource failed";
    }
}

// Another present board that shows `alias`, stored or default; 0 when none does.
std::size_t boardShowing(const std::vector<BoardNames>& boards, std::size_t self, const std::string& alias) {
    for (std::size_t i = 0; i < boards.size(); ++i) {
        if (i != self && boards[i].alias == alias) {
            return i + 1;
        }
    }
    return 0;
}

// Why another name form would take `alias` before the alias itself: it reads as a list number, or
// as another present board's serial number; empty when nothing would. (Locations and item names
// hold characters no alias may.)
std::string otherReading(const std::vector<BoardNames>& boards, std::size_t self, const std::string& alias) {
    if (!alias.empty() &&
        std::all_of(alias.begin(), alias.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return "reads as a board number";
    }
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const std::string& serial = boards[i].serialNumber;
        const bool same =
            std::equal(serial.begin(), serial.end(), alias.begin(), alias.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            });
        if (i != self && !serial.empty() && same) {
            return "is the serial number of board " + std::to_string(i + 1);
        }
    }
    return {};
}

// What keeps the alias from naming the board alone: another board showing it, or another name
// form reading it first. --force takes it all the same; --default returns the board to the
// module's own rule, which another board's showing the same default alias must not block.
void refuseUnlessForced(const std::vector<BoardNames>& boards, std::size_t index, const std::string& alias,
                        const RenameOptions& rename) {
    if (rename.force || rename.useDefault) {
        return;
    }
    if (const std::size_t other = boardShowing(boards, index, alias); other != 0) {
        throw HostError("board " + std::to_string(other) + " already shows the alias " + quoted(alias) +
                            "; --force shares it: " + describeHResult(HW_E_ALIAS_IN_USE),
                        kExitAliasInUse, HW_E_ALIAS_IN_USE);
    }
    if (const std::string reading = otherReading(boards, index, alias); !reading.empty()) {
        throw HostError("the alias " + quoted(alias) + " " + reading +
                            ", so hwconfig would name the board by it only as alias:" + alias +
                            "; --force stores it all the same",
                        kExitAliasInUse);
    }
}

void printResult(const CommandOptions& options, std::size_t number, const std::string& itemName,
                 const std::string& oldAlias, const std::string& newAlias) {
    if (!options.json && oldAlias.empty()) {
        // The board's report failed: what it showed before is not known.
        printOut("Board %zu (%s) now has the alias %s.\n", number, printable(itemName).c_str(),
                    printable(newAlias).c_str());
        return;
    }
    if (!options.json) {
        printOut("Board %zu (%s) renamed from %s to %s.\n", number, printable(itemName).c_str(),
                    printable(oldAlias).c_str(), printable(newAlias).c_str());
        return;
    }
    const qv::unique_cjson document = newJsonObject();
    addJsonNumber(document.get(), "number", static_cast<double>(number));
    addJsonString(document.get(), "itemName", itemName);
    addJsonOptionalString(document.get(), "oldAlias", oldAlias);
    addJsonString(document.get(), "newAlias", newAlias);
    printJson(document.get());
}

} // namespace

int runRename(ExpertModule& module, const CommandOptions& options, const RenameOptions& rename) {
    const NamedBoards named = readBoardNames(module.expert());
    const std::size_t index = selectBoard(named, options.board);
    const BoardReport board = readBoardReport(module.expert(), named.boards[index].itemName);
    // The default alias comes from the board's report; a new alias can be stored without it.
    if (FAILED(board.result) && rename.useDefault) {
        throw reportFailure(board);
    }
    const std::string alias = rename.useDefault ? defaultAlias(board) : rename.newAlias;
    refuseUnlessForced(named.boards, index, alias, rename);
    // The module reads past a byte order mark and writes the file without it: said, not done unseen.
    const bool byteOrderMark = aliasFileHasByteOrderMark();
    LONG aliasInUse = 0;
    void* reserved = nullptr;
    const HRESULT result =
        module.expert()->RenameResource(board.itemName.c_str(), toModuleText(alias, "the alias " + quoted(alias)).c_str(),
                                        rename.force ? kRenameEvenIfAliasInUse : 0, &aliasInUse, &reserved);
    if (FAILED(result)) {
        // The file's own problem, with its path and remedy, when reading it shows one.
        const std::optional<HostError>& problem = aliasFileProblem();
        if (problem && (result == E_UNEXPECTED || result == E_FAIL || result == HW_E_FILE_ACCESS_DENIED)) {
            throw HostError(std::string("renaming failed: ") + problem->what(), exitCodeOf(result), result);
        }
        throw failedCall(refusalWords(result, alias), result, exitCodeOf(result));
    }
    const std::string itemName = toUtf8(board.itemName.c_str());
    noteChangeMade("board " + std::to_string(index + 1) + " was renamed to " + alias);
    printResult(options, index + 1, itemName, propertyText(board, hwSysTagAlias), alias);
    if (byteOrderMark) {
        printError("hwconfig: note: %s began with a byte order mark, which the module dropped as it wrote "
                             "the file\n", aliasFilePath().c_str());
    }
    return kExitSuccess;
}

} // namespace hwconfig

#include "host/boardSelection.h"

#include "host/aliasFile.h"
#include "host/output.h"
#include "host/progress.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <algorithm>
#include <cctype>

namespace hwconfig {
namespace {

constexpr const char* kAliasPrefix = "alias:";

bool equalIgnoringCase(const std::string& left, const std::string& right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

bool isItemName(const ItemName& itemName, const std::string& name) {
    return equalIgnoringCase(toUtf8(itemName.c_str()), name);
}

// The list number `text` gives, or 0 when it is not a number of a board present.
std::size_t boardNumber(const std::string& text, std::size_t count) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        return 0;
    }
    const std::size_t number = std::stoul(text);
    return number <= count ? number : 0;
}

// A name holding a backslash is an item name and nothing else: no list number, alias or location can
// hold one.
bool namesItemOnly(const std::string& name) {
    return name.find('\\') != std::string::npos;
}

// How `name` fits the board; empty when it does not.
std::string matchOf(const BoardReport& board, std::size_t number, std::size_t count, const std::string& name) {
    if (namesItemOnly(name)) {
        return isItemName(board.itemName, name) ? "itemName" : "";
    }
    if (boardNumber(name, count) == number) {
        return "number";
    }
    if (isItemName(board.itemName, name)) {
        return "itemName";
    }
    if (propertyText(board, hwSysTagAlias) == name) {
        return "alias";
    }
    const std::optional<PxiLocation> location = pxiLocation(board);
    if (location && equalIgnoringCase(locationText(*location), name)) {
        return "location";
    }
    const std::string serial = propertyText(board, hwSysTagSerialNumber);
    if (!serial.empty() && equalIgnoringCase(serial, name)) {
        return "serialNumber";
    }
    return {};
}

// The first ten candidates and how many more there are: a message stays one readable line on a
// machine where a thousand boards show the same default alias.
std::string candidateList(const std::vector<BoardCandidate>& candidates) {
    constexpr std::size_t kShown = 10;
    std::string text;
    for (std::size_t i = 0; i < candidates.size() && i < kShown; ++i) {
        const BoardCandidate& candidate = candidates[i];
        text += (text.empty() ? "" : ", ") + std::to_string(candidate.number) + " (by " + candidate.matchedBy +
                (candidate.alias.empty() ? "" : ", alias " + candidate.alias) + ")";
    }
    if (candidates.size() > kShown) {
        text += " and " + std::to_string(candidates.size() - kShown) + " more";
    }
    return text;
}

// The boards whose report failed, as list numbers ("1,2,3"), and the cause of the first.
struct FailedReports {
    std::string numbers;
    std::string cause;
};

FailedReports failedReports(const std::vector<BoardReport>& boards) {
    FailedReports failed;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        if (FAILED(boards[i].result)) {
            if (failed.numbers.empty()) {
                failed.cause = reportFailure(boards[i]).what();
            }
            failed.numbers += (failed.numbers.empty() ? "" : ",") + std::to_string(i + 1);
        }
    }
    return failed;
}

// Whether a record of aliases.json holds `alias`; a file that cannot be read holds none.
bool storedAlias(const std::string& alias) {
    try {
        std::string path;
        const std::vector<AliasFileRecord> records = readAliasFile(path);
        return std::any_of(records.begin(), records.end(),
                           [&](const AliasFileRecord& record) { return record.alias == alias; });
    } catch (const HostError&) {
        return false;
    }
}

// A board whose report failed shows no alias, serial number or location, so a name that fits none
// of the others, or a number that a stored alias also spells, may be meant for it.
void refuseWhatFailedReportsHide(const std::vector<BoardReport>& boards, const std::string& name,
                                 const std::vector<BoardCandidate>& candidates) {
    const FailedReports failed = failedReports(boards);
    if (failed.numbers.empty()) {
        return;
    }
    const bool byNumber = candidates.size() == 1 && candidates.front().matchedBy == "number";
    if (candidates.empty()) {
        throw HostError("no board that reported answers to " + quoted(name) + ", and the report of board " +
                            failed.numbers + " failed, so it may be the one: " + failed.cause,
                        kExitReportsFailed);
    }
    if (byNumber && storedAlias(name)) {
        const std::string number = std::to_string(candidates.front().number);
        throw HostError(quoted(name) + " is board " + number + "'s number and an alias in aliases.json, and the " +
                            "report of board " + failed.numbers + " failed, so the alias may be that board's; " +
                            "name the board by its item name, or as alias:" + name + ": " + failed.cause,
                        kExitReportsFailed);
    }
}

} // namespace

std::size_t selectBoard(const std::vector<BoardReport>& boards, const std::string& name) {
    const bool aliasOnly = name.rfind(kAliasPrefix, 0) == 0;
    const std::string wanted = aliasOnly ? name.substr(std::string(kAliasPrefix).size()) : name;
    std::vector<BoardCandidate> candidates;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const std::string alias = propertyText(boards[i], hwSysTagAlias);
        const std::string match = aliasOnly ? (alias == wanted ? "alias" : "") : matchOf(boards[i], i + 1, boards.size(), wanted);
        if (!match.empty()) {
            candidates.push_back({i + 1, toUtf8(boards[i].itemName.c_str()), alias, match});
        }
    }
    if (candidates.size() <= 1 && !namesItemOnly(wanted)) {
        refuseWhatFailedReportsHide(boards, name, candidates);
    }
    if (candidates.size() == 1) {
        return candidates.front().number - 1;
    }
    if (candidates.empty()) {
        throw HostError("no board answers to " + quoted(name) +
                            ": name it by its number, item name, alias, location (PXI1/3) or serial number "
                            "as hwconfig list shows them",
                        kExitNoSuchBoard);
    }
    const std::string list = candidateList(candidates);
    throw HostError(quoted(name) + " fits " + std::to_string(candidates.size()) + " boards: " + list +
                        "; name one by its item name, or by its alias alone as alias:NAME",
                    kExitAmbiguousBoard)
        .withCandidates(std::move(candidates));
}

SelectedBoard selectBoard(IhwSysExpert2* expert, const std::string& name) {
    const std::vector<ItemName> names = readItemNames(expert);
    // A board named by its item name is found without asking for any other board's report.
    if (namesItemOnly(name)) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (isItemName(names[i], name)) {
                return {i + 1, readBoardReport(expert, names[i])};
            }
        }
    }
    std::vector<BoardReport> boards;
    Progress progress("reading the boards' reports", names.size());
    for (const ItemName& itemName : names) {
        boards.push_back(readBoardReport(expert, itemName));
        progress.update(boards.size());
    }
    const std::size_t index = selectBoard(boards, name);
    return {index + 1, std::move(boards[index])};
}

} // namespace hwconfig

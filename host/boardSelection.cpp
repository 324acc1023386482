#include "host/boardSelection.h"

#include "host/aliasFile.h"
#include "host/output.h"
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
std::string matchOf(const BoardNames& board, std::size_t number, std::size_t count, const std::string& name) {
    if (namesItemOnly(name)) {
        return isItemName(board.itemName, name) ? "itemName" : "";
    }
    if (boardNumber(name, count) == number) {
        return "number";
    }
    if (isItemName(board.itemName, name)) {
        return "itemName";
    }
    if (!board.alias.empty() && board.alias == name) {
        return "alias";
    }
    if (board.location && equalIgnoringCase(locationText(*board.location), name)) {
        return "location";
    }
    if (!board.serialNumber.empty() && equalIgnoringCase(board.serialNumber, name)) {
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

// The list numbers of the boards whose place cannot be read ("1,2,3").
std::string unknownBoards(const NamedBoards& named) {
    std::string numbers;
    for (std::size_t i = 0; i < named.boards.size(); ++i) {
        if (!named.boards[i].known) {
            numbers += (numbers.empty() ? "" : ",") + std::to_string(i + 1);
        }
    }
    return numbers;
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

// What is not known could change the answer: without the alias file no board's alias is known, and
// a board whose place cannot be read shows no alias, serial number or location either. So a name
// that fits no board, or a number that a stored alias also spells, may be meant for such a board.
void refuseWhatUnknownsHide(const NamedBoards& named, const std::string& name,
                            const std::vector<BoardCandidate>& candidates) {
    if (candidates.empty() && named.aliasProblem) {
        throw HostError("no board answers to " + quoted(name) + " by number, location or serial number, and the " +
                            "aliases cannot be read, so it may be an alias: " + named.aliasProblem->what(),
                        kExitReportsFailed, named.aliasProblem->result());
    }
    const std::string unknown = unknownBoards(named);
    if (unknown.empty()) {
        return;
    }
    const std::string shows = "board " + unknown + " shows no alias, serial number or location (its place or "
                              "serial number cannot be read)";
    if (candidates.empty()) {
        throw HostError("no board answers to " + quoted(name) + ", and " + shows + ", so it may be the one",
                        kExitReportsFailed);
    }
    const bool byNumber = candidates.size() == 1 && candidates.front().matchedBy == "number";
    if (byNumber && storedAlias(name)) {
        const std::string number = std::to_string(candidates.front().number);
        throw HostError(quoted(name) + " is board " + number + "'s number and an alias in aliases.json, and " + shows +
                            ", so the alias may be that board's; name the board by its item name, or as alias:" +
                            name,
                        kExitReportsFailed);
    }
}

// The board's alias as the module reports it: the first record whose key is the board's ignoring
// letter case, or else its default alias, its chassis text and geographic address.
std::string aliasOf(const aliaskeys::BoardPlace& place, const std::vector<AliasFileRecord>& records) {
    const auto record = std::find_if(records.begin(), records.end(), [&](const AliasFileRecord& each) {
        return equalIgnoringCase(each.key, place.identityToken);
    });
    return record != records.end() ? record->alias
                                   : "PXI" + std::to_string(place.chassis) + "Slot" + std::to_string(place.slot);
}

// The serial number as the report shows it: each byte one character.
std::string serialText(const std::string& bytes) {
    std::basic_string<WCHAR> wide;
    for (const char byte : bytes) {
        wide.push_back(static_cast<WCHAR>(static_cast<unsigned char>(byte)));
    }
    return toUtf8(wide.c_str());
}

} // namespace

NamedBoards readBoardNames(IhwSysExpert2* expert) {
    aliaskeys::BoardPlaces places;
    const std::vector<ItemName> names = readItemNames(expert, places);
    NamedBoards named;
    std::vector<AliasFileRecord> records;
    try {
        std::string path;
        records = readAliasFile(path);
    } catch (const HostError& problem) {
        named.aliasProblem = problem;
    }
    for (const ItemName& itemName : names) {
        BoardNames board;
        board.itemName = itemName;
        const auto place = places.find(itemName);
        if (place != places.end()) {
            board.known = true;
            if (place->second.chassis != 0) {
                board.location = PxiLocation{place->second.chassis, static_cast<long>(place->second.slot)};
            }
            board.serialNumber = serialText(place->second.serialNumber);
            board.alias = named.aliasProblem ? "" : aliasOf(place->second, records);
        }
        named.boards.push_back(std::move(board));
    }
    return named;
}

std::size_t selectBoard(const NamedBoards& named, const std::string& name) {
    const bool aliasOnly = name.rfind(kAliasPrefix, 0) == 0;
    const std::string wanted = aliasOnly ? name.substr(std::string(kAliasPrefix).size()) : name;
    const std::size_t count = named.boards.size();
    std::vector<BoardCandidate> candidates;
    for (std::size_t i = 0; i < count; ++i) {
        const BoardNames& board = named.boards[i];
        const std::string match =
            aliasOnly ? (!board.alias.empty() && board.alias == wanted ? "alias" : "") : matchOf(board, i + 1, count, wanted);
        if (!match.empty()) {
            candidates.push_back({i + 1, toUtf8(board.itemName.c_str()), board.alias, match});
        }
    }
    if (!namesItemOnly(wanted) && candidates.size() <= 1) {
        refuseWhatUnknownsHide(named, name, candidates);
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
    // A board named by its item name needs neither the alias file nor anything but the places.
    if (namesItemOnly(name)) {
        const std::vector<ItemName> names = readItemNames(expert);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (isItemName(names[i], name)) {
                return {i + 1, readBoardReport(expert, names[i])};
            }
        }
    }
    const NamedBoards named = readBoardNames(expert);
    const std::size_t index = selectBoard(named, name);
    return {index + 1, readBoardReport(expert, named.boards[index].itemName)};
}

} // namespace hwconfig
